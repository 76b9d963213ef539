// Where a review page came from: when it was made, by which vrim, from which
// module file and scene files (each with its SHA-256, so that a reviewer can
// tell whether the files on disk are still the ones reviewed), and the
// command line that made it.
#pragma once

#include <string>

namespace vrim::report {

// The file's SHA-256 as 64 lower-case hex digits, read in blocks (a scene of
// hundreds of megabytes is never held). Empty when the file cannot be read;
// why is in `problem`.
std::string sha256File(const std::string& path, std::string* problem = nullptr);

// The path made absolute against the current folder, as the system names it.
// "-" (standard input) stays as it is.
std::string absolutePath(const std::string& path);

// The process's command line as the shell would take it back; empty when the
// system does not say.
std::string commandLine();

// This vrim's version, as `vrim --version` says it.
std::string vrimVersion();

// Now, as "2026-12-08 11:50:02 UTC".
std::string utcNow();

} // namespace vrim::report
