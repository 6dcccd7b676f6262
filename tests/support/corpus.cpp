#include "support/corpus.h"

#include <algorithm>
#include <filesystem>

namespace brevik::test {

std::string corpusPath(const std::string& relative) {
    return std::string(BREVIK_CORPUS_DIR) + "/" + relative;
}

bool haveCorpus() {
    return std::filesystem::is_directory(BREVIK_CORPUS_DIR "/pst");
}

std::vector<std::string> corpusPstFiles() {
    std::vector<std::string> out;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(BREVIK_CORPUS_DIR "/pst", ec))
        // Joined with "/" as the tests split them, also where the system's separator is "\\".
        if (e.path().extension() == ".pst")
            out.push_back(BREVIK_CORPUS_DIR "/pst/" + e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}

}  // namespace brevik::test
