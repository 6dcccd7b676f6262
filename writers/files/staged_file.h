// A file that appears under its final name only when complete: it is written under a
// temporary "_" name in the same folder and renamed at the end; dropped unfinished, it leaves
// nothing behind.
#pragma once

#include <string>
#include <string_view>

#include "engine/native_files.h"
#include "writers/pst/write_status.h"

namespace brevik::files {

class StagedFile {
  public:
    StagedFile() = default;
    ~StagedFile();  // removes an uncommitted working file
    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;

    // Creates a new working file in `folder`.
    pst::WriteStatus open(const std::string& folder);
    pst::WriteStatus write(std::string_view bytes);
    // Closes the working file and renames it to `folder`/`name`.
    pst::WriteStatus commit(const std::string& name);
    bool isOpen() const { return file_.isOpen(); }

  private:
    void discard();

    native::WritableFile file_;
    std::string folder_;
    std::string working_;
};

// Writes `bytes` as `folder`/`name` through a StagedFile.
pst::WriteStatus writeStaged(const std::string& folder, const std::string& name,
                             std::string_view bytes);

}  // namespace brevik::files
