// The tool's one error, told in one line for standard error. Every folder of
// the tool throws it; main prints it. Its kind says what went wrong, so code
// that must tell errors apart (the library's exception classes, exit codes)
// branches on the kind and never on the message's words.
#pragma once

#include <stdexcept>
#include <string>

namespace vrim {

enum class ErrorKind {
    BadInput,      // an argument, a file's contents or a number the tool cannot take
    NoSuchItem,    // no item (or block) of that name or number has a shake
    NoSuchFile,    // a scene, folder or module that is not there
    Refused,       // the tool will not do it as asked (read-only, hard links, a link, strict)
    ChangedOnDisk, // a file changed between its reading and its writing
    Module,        // the module file is missing or is not a shake module
    WriteFailed,   // a file could not be written, flushed or renamed
    Interrupted,   // a signal ended the run
};

struct ToolError : std::runtime_error {
    explicit ToolError(const std::string& message, ErrorKind errorKind = ErrorKind::BadInput)
        : std::runtime_error(message), kind(errorKind) {}
    explicit ToolError(const char* message, ErrorKind errorKind = ErrorKind::BadInput)
        : std::runtime_error(message), kind(errorKind) {}
    ErrorKind kind;
};

} // namespace vrim
