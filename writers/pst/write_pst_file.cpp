#include "writers/pst/write_pst_file.h"

#include <filesystem>

#include "engine/native_files.h"
#include "writers/pst/atomic_output.h"

namespace brevik::pst {

WriteStatus writePstFile(const std::string& destination, const std::string& tempFolder,
                         const PstWriterOptions& options,
                         const std::function<bool(PstWriter&)>& fill, PstWriteStats* stats) {
    const std::string folder =
        native::utf8FromPath(native::pathFromUtf8(destination).parent_path());
    WriteStatus status = prepareFolder(folder.empty() ? std::string(".") : folder);
    if (!status.ok()) return status;
    AtomicOutput output(destination, tempFolder);
    status = output.prepare();
    if (!status.ok()) return status;
    {
        auto writer = PstWriter::create(output.workingPath(), options, status);
        if (!writer) return status;
        const bool filled = fill(*writer);
        if (!writer->status().ok()) return writer->status();
        if (!filled) return WriteStatus::failure(WriteError::Io, "the items could not be written");
        if (!writer->finish()) return writer->status();
        if (stats) *stats = writer->stats();
    }
    // A stop that came while the file was being finished still leaves nothing behind.
    if (options.stop && options.stop->load())
        return WriteStatus::failure(WriteError::Stopped, "stopped on request");
    return output.commit();
}

}  // namespace brevik::pst
