// Access to the shared sample files for tests.
#pragma once

#include <string>
#include <vector>

#include "test_paths.h"

namespace brevik::test {

// Full path of a file below the corpus folder.
std::string corpusPath(const std::string& relative);
// True when the corpus folder exists.
bool haveCorpus();
// Every .pst file of the corpus, sorted by name.
std::vector<std::string> corpusPstFiles();

}  // namespace brevik::test

// Skips the current test when the corpus folder is absent.
#define BREVIK_REQUIRE_CORPUS()                                             \
    do {                                                                    \
        if (!::brevik::test::haveCorpus())                                  \
            GTEST_SKIP() << "sample files not found at " BREVIK_CORPUS_DIR; \
    } while (0)
