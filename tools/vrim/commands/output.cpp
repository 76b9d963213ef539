#include "tools/vrim/commands/output.h"

#include "tools/vrim/module/session.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <random>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace vrim {

namespace {

std::string reason(int error) {
    return error != 0 ? std::strerror(error) : "a write failed";
}

// Pushes what the system holds of the file to the disk.
bool syncFile(std::FILE* file) {
#ifdef _WIN32
    return _commit(_fileno(file)) == 0;
#else
    return fsync(fileno(file)) == 0;
#endif
}

bool replaceFile(const std::string& from, const std::string& to) {
#ifdef _WIN32
    return MoveFileExA(from.c_str(), to.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
#else
    return std::rename(from.c_str(), to.c_str()) == 0;
#endif
}

// A new file that did not exist before, never one that happens to have the
// name.
std::FILE* createNew(const std::string& path) {
#ifdef _WIN32
    const int fd = _open(path.c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY, 0666);
    return fd < 0 ? nullptr : _fdopen(fd, "wb");
#else
    const int fd = open(path.c_str(), O_CREAT | O_EXCL | O_WRONLY, 0666);
    return fd < 0 ? nullptr : fdopen(fd, "wb");
#endif
}

} // namespace

Output::Output(const std::string& path) {
    if (path.empty() || path == "-") {
        file_ = stdout;
        return;
    }
    path_ = path;
    std::random_device random;
    int error = 0;
    for (int attempt = 0; attempt < 16 && file_ == nullptr; ++attempt) {
        temporary_ = path + ".vrim-" + std::to_string(random() % 1000000);
        file_ = createNew(temporary_);
        error = errno;
        if (file_ == nullptr && error != EEXIST) {
            break;
        }
    }
    if (file_ == nullptr) {
        throw ToolError("cannot write '" + path + "': " + reason(error));
    }
}

Output::~Output() {
    if (!path_.empty() && file_ != nullptr) {
        std::fclose(file_);
        std::remove(temporary_.c_str());
    }
}

void Output::finish() {
    if (path_.empty()) {
        finishStandardOutput();
        return;
    }
    errno = 0;
    const bool written = std::fflush(file_) == 0 && !std::ferror(file_) && syncFile(file_);
    int error = errno;
    const bool closed = std::fclose(file_) == 0;
    error = error != 0 ? error : errno;
    file_ = nullptr;
    if (!written || !closed) {
        std::remove(temporary_.c_str());
        throw ToolError("cannot write '" + path_ + "': " + reason(error));
    }
    if (!replaceFile(temporary_, path_)) {
        error = errno;
        std::remove(temporary_.c_str());
        throw ToolError("cannot write '" + path_ + "': " + reason(error));
    }
}

void finishStandardOutput() {
    errno = 0;
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        const int error = errno;
        std::clearerr(stdout);
        throw ToolError("cannot write the output: " + reason(error));
    }
}

std::string plural(std::size_t count, const char* one, const char* many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

} // namespace vrim
