// The outcome of a write, with the reason it failed.
#pragma once

#include <string>

namespace brevik::pst {

enum class WriteError {
    None,
    CannotCreate,  // the working file or the destination could not be made
    Io,            // a write, flush or move failed
    DiskFull,      // the device or the process file-size limit ran out
    TooLarge,      // the output would pass the caller's size limit
    Stopped,       // the caller asked to stop
    BadInput,      // the model cannot be written (e.g. items before folders are declared)
};

struct WriteStatus {
    WriteError error = WriteError::None;
    std::string message;

    bool ok() const { return error == WriteError::None; }
    static WriteStatus failure(WriteError e, std::string text) { return {e, std::move(text)}; }
};

}  // namespace brevik::pst
