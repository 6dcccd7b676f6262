// A finished file or nothing: the writer works on a file whose name begins with "_", by default
// beside the destination (one file system: the move is a rename, and free space is checked
// where the file will live), and only a complete file is moved to its destination.
#pragma once

#include <string>

#include "writers/pst/write_status.h"

namespace brevik::pst {

// Creates `folder` and its parents when missing and checks that files can be made in it.
WriteStatus prepareFolder(const std::string& folder);

class AtomicOutput {
  public:
    // `tempFolder` empty: the destination's folder.
    AtomicOutput(std::string destination, std::string tempFolder);
    ~AtomicOutput();  // removes the working file unless committed
    AtomicOutput(const AtomicOutput&) = delete;
    AtomicOutput& operator=(const AtomicOutput&) = delete;

    // Creates the temporary folder; call before writing to workingPath().
    WriteStatus prepare();
    const std::string& workingPath() const { return working_; }
    // Moves the finished working file into place (a copy when the folders are on different
    // devices, itself finished under a "_" name before the final rename).
    WriteStatus commit();
    // Removes the working file now.
    void discard();

  private:
    std::string destination_;
    std::string tempFolder_;
    std::string working_;
    bool committed_ = false;
};

}  // namespace brevik::pst
