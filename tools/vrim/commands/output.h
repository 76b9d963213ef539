// Where a command's output goes: standard output ("-" or no -o), or a file
// written through the tool's one writer (files/): a new version under
// FILE.lock that replaces the file only once it is complete, a device or a
// FIFO written where it is. A failed write is an error, and the file is
// then as it was.
#pragma once

#include "tools/vrim/files/replace_file.h"

#include <string>
#include <string_view>
#include <vector>

namespace CLI {
class App;
}

namespace vrim {

struct MotionOptions;

#if defined(__MINGW32__)
#define VRIM_PRINTF_LIKE __attribute__((format(gnu_printf, 2, 3)))
#else
#define VRIM_PRINTF_LIKE __attribute__((format(printf, 2, 3)))
#endif

class Output {
  public:
    // path empty or "-": standard output. inputs: the files the run reads,
    // which the output may not be. Throws ToolError when the file is
    // refused or cannot be opened; nothing is written then.
    explicit Output(const std::string& path, const std::vector<std::string>& inputs = {});
    ~Output(); // an unfinished file is removed; path keeps what it held
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;

    void print(const char* format, ...) VRIM_PRINTF_LIKE;
    void put(std::string_view text);
    // Hands everything so far to the file (and standard output to the
    // terminal), so that a message on standard error comes after it.
    void flush();
    // Flushes everything written and, for a file, puts it in place. Throws
    // ToolError when a write, the flush or the rename failed.
    void finish();
    // Whether the output is standard output on a terminal (names are then
    // shown with their control characters escaped).
    bool terminal() const;

  private:
    std::string path_; // as the user gave it
    files::FileWriter writer_;
    std::string buffer_;
};

// The files a command reads, which its outputs may not be: the scene (or
// the scenes) and the module file.
std::vector<std::string> motionInputs(const MotionOptions& options);
std::vector<std::string> batchInputs(const std::vector<std::string>& scenes,
                                     const std::string& module);

// --force and --break-hard-links, for a command that writes files; what
// they allow holds for every file the run writes.
void addWriteOptions(CLI::App& command);
const files::WritePolicy& writePolicy();

// "1 key", "3 keys".
std::string plural(std::size_t count, const char* one, const char* many);

// Flushes standard output; throws ToolError when anything written to it was
// lost (a full disk; a closed pipe where SIGPIPE does not end the process).
void finishStandardOutput();

} // namespace vrim
