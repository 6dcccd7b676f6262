// brevik-cli batch: many files, each recovered on its own into a folder of its own, with one
// JSON line per file. Jobs share nothing, so the same command runs as one task of a cluster
// scheduler with a single file as well as over a whole directory on one machine.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace brevik::cli {

struct BatchOptions {
    std::vector<std::string> files;
    std::string outFolder;
    unsigned jobs = 0;     // files recovered at once; 0: as many as cores, at most one per file
    unsigned threads = 0;  // threads of each file's pass; 0: the cores shared among the jobs
    std::string format;    // export each file as pst, msg, eml or mbox too; empty: no export
};

// The folder of `file` inside the output folder: its name without extension and a hash of its
// absolute path, so that files of the same name from different places never meet and every
// host of a cluster picks the same folder for the same file.
std::string batchFolderName(const std::string& file);

// Exit status: 1 when a file could not be recovered or its results not written (or Ctrl-C),
// else 3 when some file lost data, else 0.
int runBatch(const BatchOptions& options, std::ostream& out, std::ostream& err);

}  // namespace brevik::cli
