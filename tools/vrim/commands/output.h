// Where a command's output goes: standard output, or a file given with -o,
// written beside its place under another name and renamed over it only once
// it is complete, so that a failed run never leaves a cut file behind. Every
// failed write is an error.
#pragma once

#include <cstdio>
#include <string>

namespace vrim {

class Output {
  public:
    // path empty or "-": standard output. Throws ToolError when the file
    // beside path cannot be made.
    explicit Output(const std::string& path);
    ~Output(); // an unfinished file is removed; path keeps what it held
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;

    std::FILE* file() const { return file_; }
    // Flushes everything written and, for a file, puts it in place. Throws
    // ToolError when a write, the flush or the rename failed.
    void finish();

  private:
    std::string path_; // empty: standard output
    std::string temporary_;
    std::FILE* file_ = nullptr;
};

// "1 key", "3 keys".
std::string plural(std::size_t count, const char* one, const char* many);

// Flushes standard output; throws ToolError when anything written to it was
// lost (a full disk; a closed pipe where SIGPIPE does not end the process).
void finishStandardOutput();

} // namespace vrim
