// The built vrim binary run as a user runs it from the test folder, and the
// files it reads and writes, byte for byte.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#if !defined(_WIN32)
#include <sys/wait.h>
#endif

namespace testsupport {

#if defined(_WIN32)
inline const char* kVrim = "vrim.exe";
#else
inline const char* kVrim = "./vrim";
#endif

inline std::string readBytes(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

inline void writeBytes(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << bytes;
}

struct ToolRun {
    int status = -1; // the exit status; -1 when the process did not exit by itself
    std::string out, err;
};

// Runs "prefix vrim arguments" through the shell; its output goes through
// the files stem.out and stem.err.
inline ToolRun runVrim(const std::string& arguments, const std::string& stem,
                       const std::string& prefix = "") {
    const std::string command =
        prefix + kVrim + " " + arguments + " >" + stem + ".out 2>" + stem + ".err";
    ToolRun run;
#if defined(_WIN32)
    // The command as typed, names in UTF-8 included: the narrow call would
    // read its bytes in the ANSI code page. The path type's conversion from
    // UTF-8 is the standard library's.
    const std::filesystem::path wide(std::u8string(command.begin(), command.end()));
    const int raw = _wsystem(wide.c_str());
    run.status = raw;
#else
    const int raw = std::system(command.c_str());
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
#endif
    run.out = readBytes(stem + ".out");
    run.err = readBytes(stem + ".err");
    return run;
}

} // namespace testsupport
