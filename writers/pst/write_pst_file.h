// Writes a whole .pst file to its destination, or nothing at all.
#pragma once

#include <functional>
#include <string>

#include "writers/pst/store_writer.h"

namespace brevik::pst {

// Checks the destination's folder, runs `fill` on a writer over a working file in
// `tempFolder` (empty: beside the destination), finishes it and moves it into place. On any
// failure, including `fill` returning false or a stop, no file is left behind.
WriteStatus writePstFile(const std::string& destination, const std::string& tempFolder,
                         const PstWriterOptions& options,
                         const std::function<bool(PstWriter&)>& fill,
                         PstWriteStats* stats = nullptr);

}  // namespace brevik::pst
