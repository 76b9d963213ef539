#include "tools/vrim/files/replace_file.h"

#include "tools/vrim/files/cleanup.h"

#define XXH_INLINE_ALL
#include <xxhash.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace vrim::files {

namespace {

constexpr std::size_t kReadChunk = 128 * 1024;
constexpr uint64_t kFlushEvery = 8 * 1024 * 1024;

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
    // Untouched, and so out of memory, when the file can be mapped.
    const auto buffer = std::make_unique_for_overwrite<char[]>(kReadChunk);
    uint64_t total = 0;
    for (;;) {
        const char* data = nullptr;
        const int64_t got = fs.readInPlace(file, data, buffer.get(), kReadChunk, error);
        if (got < 0) {
            std::string ignored;
            fs.close(file, ignored);
            return false;
        }
        if (got == 0) {
            break;
        }
        hash.add(data, static_cast<std::size_t>(got));
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

namespace {

// Empty when now looks as then did from outside; else what changed.
std::string changeBetween(const FileInfo& then, const FileInfo& now) {
    if (now.size != then.size) {
        return "it changed on disk since it was read (" + std::to_string(then.size) +
               " bytes then, " + std::to_string(now.size) + " now)";
    }
    if (now.modified != then.modified) {
        return "it changed on disk since it was read";
    }
    return {};
}

} // namespace

bool unchangedSince(FileSystem& fs, const std::string& path, const FileStamp& stamp,
                    std::string& error) {
    FileStamp now;
    if (!stampFile(fs, path, now, error)) {
        return false;
    }
    error = changeBetween(stamp.info, now.info);
    if (error.empty() && now.hash != stamp.hash) {
        error = "it changed on disk since it was read";
    }
    return error.empty();
}

bool unchangedOutside(FileSystem& fs, const std::string& path, const FileInfo& then,
                      std::string& error) {
    FileInfo now;
    if (!fs.stat(path, now, error)) {
        if (error.empty()) {
            error = "it went away";
        }
        return false;
    }
    error = changeBetween(then, now);
    if (error.empty() && !now.sameFile(then)) {
        error = "another file took its name since it was read";
    }
    // A write whose time was set back still leaves its change time.
    if (error.empty() && now.changed != then.changed) {
        error = "it changed on disk since it was read";
    }
    return error.empty();
}

std::string lockPath(const std::string& file) {
    return file + ".lock";
}

std::string lockedMessage(const std::string& file) {
    const std::string lock = lockPath(file);
    return "'" + lock + "' exists: another vrim is writing '" + file +
           "' (or one was stopped before it could clean up); if no vrim is running on it, "
           "remove '" +
           lock + "' and run again";
}

bool followLinks(FileSystem& fs, const std::string& path, std::string& target, std::string& error) {
    // As many as the system itself follows before it gives up.
    constexpr int kMostLinks = 40;
    target = path;
    for (int hop = 0; hop < kMostLinks; ++hop) {
        std::string next;
        if (!fs.readLink(target, next, error)) {
            return error.empty();
        }
        const bool absolute = !next.empty() && (next[0] == '/' || next[0] == '\\' ||
                                                (next.size() > 1 && next[1] == ':'));
        target = absolute ? next : folderOf(target) + next;
    }
    error = "too many symbolic links, one after another (a loop?)";
    return false;
}

FileWriter::FileWriter(FileSystem& fs, std::string path, WritePolicy policy,
                       std::vector<std::string> inputs)
    : fs_(fs), path_(std::move(path)), policy_(policy), inputs_(std::move(inputs)) {}

FileWriter::~FileWriter() {
    discard();
}

bool FileWriter::open(std::string& error, bool mayReplace) {
    mayReplace_ = mayReplace;
    if (path_ == "-") {
        kind_ = TargetKind::StandardOutput;
        target_ = path_;
        return true;
    }
    // "rep/" names a folder whether or not there is one: a file of that name
    // cannot be made, and the system's own refusal speaks of the lock.
    if (!path_.empty() && folderOf(path_) == path_) {
        error = std::string("it names a folder (it ends in '") + path_.back() +
                "'); give the name of a file";
        return false;
    }
    if (!followLinks(fs_, path_, target_, error)) {
        return false;
    }
    FileInfo info;
    existed_ = fs_.stat(target_, info, error);
    if (!existed_ && !error.empty()) {
        return false;
    }
    if (existed_) {
        if (info.kind == FileKind::Folder) {
            error = "it is a folder; give the name of a file";
            return false;
        }
        for (const std::string& input : inputs_) {
            FileInfo read;
            std::string ignored;
            if (input != "-" && fs_.stat(input, read, ignored) && read.sameFile(info)) {
                error = input == path_
                            ? "it is a file this run reads; give another file"
                            : "it is '" + input + "', which this run reads; give another file";
                return false;
            }
        }
        if (info.kind == FileKind::Other) {
            kind_ = TargetKind::InPlace;
            file_ = fs_.openExisting(target_, error);
            return file_ != kNoFile;
        }
        if (!mayReplace) {
            error = "it exists";
            return false;
        }
    }
    // The exclusive create is the lock: whoever made it owns the file until
    // the rename.
    const std::string lock = lockPath(target_);
    // A lock that is gone by the time it is looked at was another vrim's,
    // which has just finished: then the file is free again.
    for (int attempt = 0; attempt < 2 && file_ == kNoFile; ++attempt) {
        {
            const SignalsHeld held;
            error.clear();
            file_ = fs_.createNew(lock, error);
            if (file_ != kNoFile) {
                lock_ = lock;
                cleanupSlot_ = removeOnSignal(lock_);
            }
        }
        if (file_ != kNoFile) {
            break;
        }
        FileInfo held;
        std::string why;
        if (fs_.stat(lock, held, why)) {
            error = lockedMessage(target_);
            return false;
        }
    }
    if (file_ == kNoFile) {
        error = "cannot create its lock '" + lock + "': " + error;
        return false;
    }
    // Looked at again now that no other vrim can change it.
    existed_ = fs_.stat(target_, old_, error);
    if (!existed_ && !error.empty()) {
        discard();
        return false;
    }
    if (existed_ && refuseTarget(old_, error)) {
        discard();
        return false;
    }
    return true;
}

bool FileWriter::refuseTarget(const FileInfo& info, std::string& error) const {
    if (!info.regular()) {
        error = "it is no longer a plain file";
        return true;
    }
    if (!mayReplace_) {
        error = "it exists";
        return true;
    }
    if (info.links > 1 && !policy_.breakHardLinks) {
        error = "it has " + std::to_string(info.links) +
                " names (hard links), and a new version under this one would leave the others "
                "with the old text; give --break-hard-links to replace it anyway";
        return true;
    }
    if (policy_.force) {
        return false;
    }
#ifdef _WIN32
    const bool readOnly = !info.writable;
#else
    // No write bit at all is read-only even for root, as rm and vim see it.
    const bool readOnly = !info.writable || (info.mode & 0222) == 0;
#endif
    if (readOnly) {
        error = "it is read-only; give --force to replace it anyway";
        return true;
    }
    if (!mayKeepOwners(info.owner, info.group)) {
        error = "it belongs to another user or group, which a new version made by this user "
                "could not keep; give --force to replace it anyway";
        return true;
    }
    return false;
}

bool FileWriter::write(const char* data, std::size_t size, std::string& error) {
    if (kind_ == TargetKind::StandardOutput) {
        errno = 0;
        if (size > 0 && std::fwrite(data, 1, size, stdout) != size) {
            error = errno != 0 ? std::strerror(errno) : "a write to standard output failed";
            return false;
        }
        return true;
    }
    if (!fs_.write(file_, data, size, error)) {
        return false;
    }
    // A large file goes to the disk while the rest is written, not all of
    // it at the flush.
    unflushed_ += size;
    if (kind_ == TargetKind::Replaced && unflushed_ >= kFlushEvery) {
        fs_.startFlush(file_);
        unflushed_ = 0;
    }
    return true;
}

void FileWriter::beginPrepare() {
    if (kind_ == TargetKind::Replaced && file_ != kNoFile) {
        fs_.beginSync(file_);
    }
}

bool FileWriter::prepare(std::string& error) {
    if (kind_ == TargetKind::StandardOutput) {
        errno = 0;
        if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
            std::clearerr(stdout);
            error = errno != 0 ? std::strerror(errno) : "a write to standard output failed";
            return false;
        }
        return true;
    }
    // A device or a FIFO has no disk to flush to.
    if (kind_ == TargetKind::Replaced && !fs_.sync(file_, error)) {
        return false;
    }
    const FileHandle file = file_;
    file_ = kNoFile; // a failed close leaves nothing to close again
    if (!fs_.close(file, error)) {
        return false;
    }
    if (kind_ == TargetKind::InPlace) {
        prepared_ = true;
        return true;
    }
    uint32_t mode = old_.mode;
    if (existed_) {
        // Owners first: a change of owner clears set-id bits that the mode
        // then puts back. Owners that cannot be kept were allowed by --force.
        // The system may still refuse owners this process should be able
        // to give (a network file system that maps root to nobody): then
        // the file is not replaced, unless --force allowed new owners.
        std::string why;
        if (mayKeepOwners(old_.owner, old_.group) &&
            !fs_.setOwner(lock_, old_.owner, old_.group, why)) {
            if (!policy_.force) {
                error = "its owner and group could not be kept (" + why +
                        "); give --force to replace it anyway";
                return false;
            }
            addWarning("its owner and group could not be kept (" + why +
                       "); it now belongs to this user");
        }
    } else {
#ifdef _WIN32
        mode = 0; // no attribute set
#else
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666u & ~static_cast<uint32_t>(mask);
#endif
    }
    if (!fs_.setMode(lock_, mode, error)) {
        return false;
    }
    prepared_ = true;
    return true;
}

bool FileWriter::commit(std::string& error) {
    if (kind_ != TargetKind::Replaced) {
        return true;
    }
    if (!prepared_ || lock_.empty()) {
        error = "the new version is not complete";
        return false;
    }
    {
        const SignalsHeld held;
        if (!fs_.rename(lock_, target_, mayReplace_, error)) {
            return false;
        }
        forgetRemoval(cleanupSlot_);
        cleanupSlot_ = -1;
        lock_.clear();
    }
    // The rename lasts only once the folder's entries are on the disk. The
    // file is in place either way, so a failure here is only a warning.
    std::string why;
    if (!fs_.syncFolder(folderOf(target_), why)) {
        addWarning("its folder could not be flushed to the disk (" + why +
                   "); a power cut now could undo the write");
    }
    return true;
}

void FileWriter::addWarning(const std::string& text) {
    warning_ += (warning_.empty() ? "" : "; ") + text;
}

void FileWriter::releaseLock() {
    const SignalsHeld held;
    if (!lock_.empty()) {
        std::string ignored;
        fs_.remove(lock_, ignored);
        lock_.clear();
    }
    forgetRemoval(cleanupSlot_);
    cleanupSlot_ = -1;
}

void FileWriter::discard() {
    std::string ignored;
    if (file_ != kNoFile) {
        fs_.close(file_, ignored);
        file_ = kNoFile;
    }
    releaseLock();
}

} // namespace vrim::files
