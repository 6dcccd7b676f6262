#include "writers/files/staged_file.h"

#include <atomic>

namespace brevik::files {
namespace {

std::atomic<unsigned> counter{0};

pst::WriteStatus writeFailure(const std::string& path, const native::IoError& e) {
    return pst::WriteStatus::failure(
        e.kind == native::IoErrorKind::DiskFull ? pst::WriteError::DiskFull : pst::WriteError::Io,
        "cannot write " + path + ": " + e.text);
}

}  // namespace

StagedFile::~StagedFile() {
    discard();
}

void StagedFile::discard() {
    file_ = {};
    if (!working_.empty()) native::removeFile(working_);
    working_.clear();
}

pst::WriteStatus StagedFile::open(const std::string& folder) {
    discard();
    folder_ = folder;
    native::IoError e;
    for (int attempt = 0; attempt < 100; ++attempt) {
        working_ = folder + "/_brevik_" + std::to_string(native::processId()) + "_" +
                   std::to_string(counter.fetch_add(1)) + ".tmp";
        e = file_.open(working_, native::WritableFile::Mode::Exclusive);
        if (!e.failed()) return {};
        if (e.kind != native::IoErrorKind::Exists) break;
    }
    const std::string path = working_;
    working_.clear();
    return pst::WriteStatus::failure(pst::WriteError::CannotCreate,
                                     "cannot create " + path + ": " + e.text);
}

pst::WriteStatus StagedFile::write(std::string_view bytes) {
    if (const native::IoError e = file_.append(bytes.data(), bytes.size()); e.failed()) {
        const pst::WriteStatus status = writeFailure(working_, e);
        discard();
        return status;
    }
    return {};
}

pst::WriteStatus StagedFile::commit(const std::string& name) {
    const std::string destination = folder_ + "/" + name;
    if (const native::IoError e = file_.close(); e.failed()) {
        const pst::WriteStatus status = writeFailure(working_, e);
        discard();
        return status;
    }
    if (const native::IoError e = native::renameReplace(working_, destination); e.failed()) {
        discard();
        return pst::WriteStatus::failure(pst::WriteError::Io,
                                         "cannot move the file to " + destination + ": " + e.text);
    }
    working_.clear();
    return {};
}

pst::WriteStatus writeStaged(const std::string& folder, const std::string& name,
                             std::string_view bytes) {
    StagedFile file;
    pst::WriteStatus status = file.open(folder);
    if (status.ok()) status = file.write(bytes);
    if (status.ok()) status = file.commit(name);
    return status;
}

}  // namespace brevik::files
