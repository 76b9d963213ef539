// Where a review page came from: when it was made, by which vrim, from which
// module file and scene files (each with its SHA-256, so that a reviewer can
// tell whether the files on disk are still the ones reviewed), and the
// command line that made it.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace vrim::report {

// SHA-256 of bytes handed over in pieces, with the system's own hashing.
class Sha256 {
  public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;
    void update(std::string_view bytes);
    // 64 lower-case hex digits; empty when the system could not hash.
    std::string finish();

  private:
    class State;
    std::unique_ptr<State> state_;
    bool ok_ = true;
};

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
