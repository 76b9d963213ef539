#include "tools/vrim/commands/output.h"
#include "text/words.h"

#include "tools/vrim/commands/machine.h"
#include "tools/vrim/commands/options.h"
#include "tools/vrim/error.h"
#include "tools/vrim/module/session.h"

#include <CLI/CLI.hpp>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace vrim {

namespace {

// Bytes gathered before they go to the file in one write.
constexpr std::size_t kChunk = 64 * 1024;

files::WritePolicy& policy() {
    static files::WritePolicy allowed;
    return allowed;
}

std::string shown(const std::string& path) {
    return path.empty() || path == "-" ? "the output" : "'" + path + "'";
}

} // namespace

std::vector<std::string> motionInputs(const MotionOptions& options) {
    return {options.scene, options.module.empty() ? defaultModulePath() : options.module};
}

std::vector<std::string> batchInputs(const std::vector<std::string>& scenes,
                                     const std::string& module) {
    std::vector<std::string> inputs = scenes;
    inputs.push_back(module.empty() ? defaultModulePath() : module);
    return inputs;
}

void addWriteOptions(CLI::App& command) {
    command.add_flag("--force", policy().force,
                     "Replace a read-only file, or one whose owner or group this user "
                     "cannot keep");
    command.add_flag("--break-hard-links", policy().breakHardLinks,
                     "Replace a file that has other names (hard links); they keep the old text");
}

const files::WritePolicy& writePolicy() {
    return policy();
}

bool Output::terminal() const {
    return (path_.empty() || path_ == "-") && isTerminal(stdout);
}

Output::Output(const std::string& path, const std::vector<std::string>& inputs)
    : path_(path), writer_(files::systemFileSystem(), path.empty() ? "-" : path, policy(), inputs) {
    // Every writer of the run keeps off these, not only this one.
    for (const std::string& input : inputs) {
        files::noteInput(input);
    }
    std::string error;
    if (!writer_.open(error)) {
        throw ToolError("cannot write " + shown(path_) + ": " + error);
    }
    buffer_.reserve(kChunk);
}

Output::~Output() = default; // the writer removes an unfinished file

void Output::print(const char* format, ...) {
    char text[1024];
    std::va_list arguments;
    va_start(arguments, format);
    std::va_list again;
    va_copy(again, arguments);
    const int length = std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    if (length >= 0 && static_cast<std::size_t>(length) < sizeof text) {
        put(std::string_view(text, static_cast<std::size_t>(length)));
    } else if (length >= 0) {
        std::string longer(static_cast<std::size_t>(length) + 1, '\0');
        std::vsnprintf(longer.data(), longer.size(), format, again);
        longer.pop_back();
        put(longer);
    }
    va_end(again);
}

void Output::put(std::string_view text) {
    buffer_.append(text);
    if (buffer_.size() >= kChunk) {
        std::string error;
        if (!writer_.write(buffer_.data(), buffer_.size(), error)) {
            throw ToolError("cannot write " + shown(path_) + ": " + error);
        }
        buffer_.clear();
    }
}

void Output::flush() {
    std::string error;
    if (!writer_.write(buffer_.data(), buffer_.size(), error)) {
        throw ToolError("cannot write " + shown(path_) + ": " + error);
    }
    buffer_.clear();
    if (writer_.kind() == files::TargetKind::StandardOutput) {
        std::fflush(stdout);
    }
}

void Output::finish() {
    std::string error;
    if (!writer_.write(buffer_.data(), buffer_.size(), error) || !writer_.finish(error)) {
        throw ToolError("cannot write " + shown(path_) + ": " + error);
    }
    buffer_.clear();
    if (!writer_.kept().empty()) {
        throw ToolError("wrote " + shown(path_) +
                            ", but another program wrote to the file it replaced meanwhile; "
                            "what that file held then is kept in '" +
                            writer_.kept() + "'",
                        ErrorKind::ChangedOnDisk);
    }
    if (!writer_.warning().empty()) {
        std::fflush(stdout);
        std::fprintf(stderr, "vrim: %s: %s\n", shown(path_).c_str(), writer_.warning().c_str());
    }
}

void finishStandardOutput() {
    errno = 0;
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        const int error = errno;
        std::clearerr(stdout);
        throw ToolError(std::string("cannot write the output: ") +
                        (error != 0 ? std::strerror(error) : "a write failed"));
    }
}

std::string plural(std::size_t count, const char* one, const char* many) {
    return text::counted(count, one, many);
}

} // namespace vrim
