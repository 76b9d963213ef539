#include "tools/vrim/edit/replace_file.h"

#define XXH_INLINE_ALL
#include <xxhash.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <vector>

#ifdef _WIN32
#include <process.h>
#define VRIM_PROCESS_ID _getpid()
#else
#include <unistd.h>
#define VRIM_PROCESS_ID getpid()
#endif

namespace vrim::edit {

namespace {

constexpr std::size_t kReadChunk = 1 << 20;
// Names already taken by a crashed run's leftovers are skipped this often.
constexpr int kNameAttempts = 16;

// The file's name without its folder.
std::string baseName(const std::string& path) {
    return path.substr(folderOf(path).size());
}

} // namespace

struct ContentHash::State {
    XXH3_state_t xxh;
};

ContentHash::ContentHash() : state_(std::make_unique<State>()) {
    XXH3_64bits_reset(&state_->xxh);
}
ContentHash::~ContentHash() = default;

void ContentHash::add(const char* data, std::size_t size) {
    XXH3_64bits_update(&state_->xxh, data, size);
}

uint64_t ContentHash::value() const {
    return XXH3_64bits_digest(&state_->xxh);
}

bool stampFile(FileSystem& fs, const std::string& path, FileStamp& stamp, std::string& error) {
    if (!fs.stat(path, stamp.info, error)) {
        if (error.empty()) {
            error = "no such file";
        }
        return false;
    }
    const FileHandle file = fs.openRead(path, error);
    if (file == kNoFile) {
        return false;
    }
    ContentHash hash;
    std::vector<char> buffer(kReadChunk);
    uint64_t total = 0;
    for (;;) {
        const int64_t got = fs.read(file, buffer.data(), buffer.size(), error);
        if (got < 0) {
            std::string ignored;
            fs.close(file, ignored);
            return false;
        }
        if (got == 0) {
            break;
        }
        hash.add(buffer.data(), static_cast<std::size_t>(got));
        total += static_cast<uint64_t>(got);
    }
    if (!fs.close(file, error)) {
        return false;
    }
    stamp.hash = hash.value();
    if (total != stamp.info.size) {
        error = "it changed size while it was read";
        return false;
    }
    return true;
}

bool unchangedSince(FileSystem& fs, const std::string& path, const FileStamp& stamp,
                    std::string& error) {
    FileStamp now;
    if (!stampFile(fs, path, now, error)) {
        return false;
    }
    if (now.info.size != stamp.info.size) {
        error = "it changed on disk since it was read (" + std::to_string(stamp.info.size) +
                " bytes then, " + std::to_string(now.info.size) + " now)";
        return false;
    }
    if (now.info.modified != stamp.info.modified || now.hash != stamp.hash) {
        error = "it changed on disk since it was read";
        return false;
    }
    return true;
}

FileReplacement::FileReplacement(FileSystem& fs, std::string target)
    : fs_(fs), target_(std::move(target)) {}

FileReplacement::~FileReplacement() {
    discard();
}

bool FileReplacement::open(std::string& error) {
    static std::atomic<unsigned> counter{0};
    const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        // Hidden on POSIX, and named for the file it replaces, so a person
        // who finds one after a power cut knows what it was.
        char suffix[64];
        std::snprintf(suffix, sizeof suffix, ".%ld-%llx-%u.tmp", static_cast<long>(VRIM_PROCESS_ID),
                      static_cast<unsigned long long>(now) & 0xffffffULL, counter++);
        const std::string path = folderOf(target_) + "." + baseName(target_) + suffix;
        FileInfo existing;
        std::string statError;
        if (fs_.stat(path, existing, statError)) {
            continue;
        }
        if (!statError.empty()) {
            error = statError;
            return false;
        }
        file_ = fs_.createNew(path, error);
        if (file_ == kNoFile) {
            return false;
        }
        temporary_ = path;
        return true;
    }
    error = "no free name for a temporary file";
    return false;
}

bool FileReplacement::write(const char* data, std::size_t size, std::string& error) {
    return fs_.write(file_, data, size, error);
}

bool FileReplacement::finish(uint32_t mode, std::string& error) {
    if (!fs_.sync(file_, error)) {
        return false;
    }
    const FileHandle file = file_;
    file_ = kNoFile; // a failed close leaves nothing to close again
    if (!fs_.close(file, error)) {
        return false;
    }
    return fs_.setMode(temporary_, mode, error);
}

bool FileReplacement::commit(bool replace, std::string& error) {
    if (!fs_.rename(temporary_, target_, replace, error)) {
        return false;
    }
    temporary_.clear();
    return true;
}

void FileReplacement::discard() {
    std::string ignored;
    if (file_ != kNoFile) {
        fs_.close(file_, ignored);
        file_ = kNoFile;
    }
    if (!temporary_.empty()) {
        fs_.remove(temporary_, ignored);
        temporary_.clear();
    }
}

} // namespace vrim::edit
