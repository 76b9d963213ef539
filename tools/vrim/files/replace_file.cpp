#include "tools/vrim/files/replace_file.h"

#include "tools/vrim/files/cleanup.h"

#define XXH_INLINE_ALL
#include <xxhash.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace vrim::files {

namespace {

constexpr std::size_t kReadChunk = 128 * 1024;
constexpr uint64_t kFlushEvery = 8 * 1024 * 1024;
// How long after the rename the old file is looked at again, once no other
// process is seen holding it open for writing (waited for up to kHeldAtMost).
constexpr std::chrono::milliseconds kSettle{50};
constexpr std::chrono::milliseconds kHeldAtMost{3000};

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

namespace {

std::vector<std::string>& inputRegistry() {
    static std::vector<std::string> inputs;
    return inputs;
}

std::string quoted(const std::string& text) {
    return "'" + text + "'";
}

bool isNotedInput(const std::vector<std::string>& inputs, const std::string& path) {
    return std::find(inputs.begin(), inputs.end(), path) != inputs.end();
}

} // namespace

void noteInput(const std::string& path) {
    if (!isNotedInput(inputRegistry(), path)) {
        inputRegistry().push_back(path);
    }
}

std::string plantedLink(FileSystem& fs, const std::string& path) {
#ifdef _WIN32
    (void)fs;
    (void)path;
    return {};
#else
    FileInfo link, folder;
    std::string error;
    const std::string where = folderOf(path).empty() ? "." : folderOf(path);
    if (!fs.statLink(path, link, error)) {
        return error.empty() ? std::string() : "cannot look at " + quoted(path) + ": " + error;
    }
    if (link.kind != FileKind::Link) {
        return {};
    }
    // Whether the link may be followed cannot be told without its folder.
    if (!fs.stat(where, folder, error)) {
        return "cannot look at the folder of the link " + quoted(path) + ": " +
               (error.empty() ? "it is gone" : error);
    }
    constexpr uint32_t kSticky = 01000, kOthersWrite = 0002;
    const uint32_t user = static_cast<uint32_t>(::geteuid());
    if ((folder.mode & (kSticky | kOthersWrite)) != (kSticky | kOthersWrite) ||
        link.owner == user || link.owner == folder.owner) {
        return {};
    }
    return "the symbolic link " + quoted(path) + " belongs to user " + std::to_string(link.owner) +
           " in a sticky folder that others may write (" + quoted(where) +
           "), so another user may have planted it; vrim does not follow it, as the system "
           "would not; remove it or give a path without it";
#endif
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
        if (error = plantedLink(fs, target); !error.empty()) {
            return false;
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
    if (oldFile_ != kNoFile) {
        std::string ignored;
        fs_.close(oldFile_, ignored);
    }
}

bool FileWriter::look(const std::string& path, FileInfo& info, std::string& error) {
    return keepLink_ ? fs_.statLink(path, info, error) : fs_.stat(path, info, error);
}

bool FileWriter::open(std::string& error, bool mayReplace) {
    mayReplace_ = mayReplace;
    if (path_ == "-") {
        kind_ = TargetKind::StandardOutput;
        stream_ = stdout;
        target_ = path_;
        return true;
    }
    // "rep/" names a folder whether or not there is one: a file of that name
    // cannot be made.
    if (!path_.empty() && folderOf(path_) == path_) {
        error = std::string("it names a folder (it ends in '") + path_.back() +
                "'); give the name of a file";
        return false;
    }
    if (!resolve(error)) {
        return false;
    }
    // What the name opens, as the system sees it: "/dev/stdout" is whatever
    // the run's standard output is.
    FileInfo seen;
    const bool there = look(path_, seen, error);
    if (!there && !error.empty()) {
        return false;
    }
    if (there && (refuseInput(seen, error) || !openInPlace(seen, error))) {
        return false;
    }
    if (kind_ == TargetKind::InPlace || kind_ == TargetKind::StandardOutput) {
        return true;
    }
    return openReplacing(error, mayReplace);
}

bool FileWriter::openReplacing(std::string& error, bool mayReplace) {
    existed_ = look(target_, old_, error);
    if (!existed_ && !error.empty()) {
        return false;
    }
    if (existed_ && !mayReplace) {
        error = "it exists";
        return false;
    }
    if (!checkFolder(error) || !takeLock(error)) {
        return false;
    }
    // Looked at again now that no other vrim can change it.
    existed_ = look(target_, old_, error);
    if ((!existed_ && !error.empty()) || (existed_ && refuseTarget(old_, error)) ||
        !createContent(error)) {
        discard();
        return false;
    }
    baseline_ = old_;
    return holdOldFile(error);
}

bool FileWriter::holdOldFile(std::string& error) {
#ifndef _WIN32
    // Held, so that after the rename a write another program made to the
    // old file meanwhile can still be seen (and its bytes kept).
    if (existed_ && old_.regular()) {
        oldFile_ = fs_.openRead(target_, error);
        if (oldFile_ == kNoFile) {
            error = "cannot read it: " + error;
            discard();
            return false;
        }
    }
#else
    (void)error;
#endif
    return true;
}

bool FileWriter::resolve(std::string& error) {
    if (!keepLink_) {
        return followLinks(fs_, path_, target_, error);
    }
    target_ = path_;
    error = plantedLink(fs_, path_);
    return error.empty();
}

bool FileWriter::refuseInput(const FileInfo& info, std::string& error) {
    std::vector<std::string> inputs = inputs_;
    for (const std::string& noted : inputRegistry()) {
        if (!isNotedInput(inputs, noted)) {
            inputs.push_back(noted);
        }
    }
    for (const std::string& input : inputs) {
        FileInfo read;
        std::string why;
        const bool known =
            input == "-" ? fs_.statOpen(standardHandle(0), read, why) : fs_.stat(input, read, why);
        if (!known && !why.empty()) {
            // Not told apart, so not written: it may be the input.
            error = "cannot tell it from " + (input == "-" ? "standard input" : quoted(input)) +
                    ", which this run reads: " + why;
            return true;
        }
        // A terminal or a pipe on standard input is no file to compare.
        if (!known || read.kind == FileKind::Other || !read.sameFile(info)) {
            continue;
        }
        error = input == path_ ? "it is a file this run reads; give another file"
                : input == "-"
                    ? "it is the file on standard input, which this run reads; give another file"
                    : "it is '" + input + "', which this run reads; give another file";
        return true;
    }
    return false;
}

// A device, a FIFO, a socket, or a file the run already holds open for
// writing, is written where it is: a new file in its place would not reach
// whoever reads it (and would cut a log a shell appends to).
bool FileWriter::openInPlace(const FileInfo& seen, std::string& error) {
    if (seen.kind == FileKind::Folder) {
        error = "it is a folder; give the name of a file";
        return false;
    }
    const FileHandle held = seen.kind == FileKind::Other ? kNoFile : fs_.openedAs(seen);
    if (held != kNoFile) {
        kind_ = TargetKind::InPlace;
        if (held == standardHandle(1) || held == standardHandle(2)) {
            // Through the stream, in order with what the run prints there.
            stream_ = held == standardHandle(1) ? stdout : stderr;
            kind_ = TargetKind::StandardOutput;
        }
        file_ = held;
        ownsFile_ = false;
        return true;
    }
    if (seen.kind != FileKind::Other) {
        return true;
    }
    kind_ = TargetKind::InPlace;
    file_ = fs_.openExisting(path_, error);
    return file_ != kNoFile;
}

// The new file and the lock go into the target's folder, which must be there
// and writable; said so plainly rather than as a failure of the lock.
bool FileWriter::checkFolder(std::string& error) {
    const std::string folder = folderOf(target_).empty() ? "." : folderOf(target_);
    FileInfo info;
    if (!fs_.stat(folder, info, error)) {
        error = error.empty() ? "its folder " + quoted(folder) + " does not exist"
                              : "cannot look at its folder " + quoted(folder) + ": " + error;
        return false;
    }
    if (info.kind != FileKind::Folder) {
        error = quoted(folder) + " is not a folder";
        return false;
    }
    if (!info.writable) {
        error = "its folder " + quoted(folder) +
                " is not writable by this user, and the new version is made there";
        return false;
    }
    return true;
}

// The exclusive create is the lock: whoever made it owns the file until the
// rename. A lock that is gone by the time it is looked at was another vrim's,
// which has just finished: then the file is free again.
bool FileWriter::takeLock(std::string& error) {
    const std::string lock = lockPath(fs_, target_);
    FileHandle file = kNoFile;
    for (int attempt = 0; attempt < 2 && file == kNoFile; ++attempt) {
        {
            const SignalsHeld held;
            error.clear();
            file = fs_.createNew(lock, error);
            if (file != kNoFile) {
                lock_ = lock;
                lockSlot_ = removeOnSignal(lock_);
            }
        }
        FileInfo existing;
        std::string why;
        if (file == kNoFile && fs_.statLink(lock, existing, why)) {
            error = lockedMessage(fs_, target_, lock);
            return false;
        }
    }
    if (file == kNoFile) {
        error = "cannot create its lock '" + lock + "': " + error;
        return false;
    }
    const std::string holder = lockText(fs_);
    const bool written = fs_.write(file, holder.data(), holder.size(), error);
    std::string closeError;
    if (!fs_.close(file, closeError) || !written) {
        error = "cannot write its lock '" + lock + "': " + (written ? closeError : error);
        releaseLock();
        return false;
    }
    return true;
}

bool FileWriter::createContent(std::string& error) {
    temp_ = besideName(fs_, target_, ".vrim-new");
    file_ = fs_.createUnnamed(folderOf(target_), error);
    if (file_ != kNoFile) {
        return true;
    }
    if (!error.empty()) {
        error = "cannot create the new version in its folder: " + error;
        return false;
    }
    // A system without unnamed files: a named one, which the lock keeps to
    // this run; one already there was left by a run that was killed.
    for (int attempt = 0; attempt < 2 && file_ == kNoFile; ++attempt) {
        const SignalsHeld held;
        error.clear();
        file_ = fs_.createNew(temp_, error);
        if (file_ != kNoFile) {
            named_ = true;
            tempSlot_ = removeOnSignal(temp_);
        } else if (attempt == 0) {
            std::string ignored;
            fs_.remove(temp_, ignored);
        }
    }
    if (file_ == kNoFile) {
        error = "cannot create the new version '" + temp_ + "': " + error;
        return false;
    }
    return true;
}
bool FileWriter::refuseTarget(const FileInfo& info, std::string& error) const {
    if (!info.regular() && !(keepLink_ && info.kind == FileKind::Link)) {
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
    if (stream_ != nullptr) {
        errno = 0;
        if (size > 0 && std::fwrite(data, 1, size, stream_) != size) {
            error = errno != 0 ? std::strerror(errno) : "a write to the run's own output failed";
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
    if (stream_ != nullptr) {
        errno = 0;
        if (std::fflush(stream_) != 0 || std::ferror(stream_)) {
            std::clearerr(stream_);
            error = errno != 0 ? std::strerror(errno) : "a write to the run's own output failed";
            return false;
        }
        prepared_ = true;
        return true;
    }
    if (kind_ == TargetKind::InPlace) {
        const FileHandle file = std::exchange(file_, kNoFile);
        prepared_ = !ownsFile_ || fs_.close(file, error);
        return prepared_;
    }
    if (!fs_.sync(file_, error) || !nameContent(error)) {
        return false;
    }
    const FileHandle file = file_;
    file_ = kNoFile; // a failed close leaves nothing to close again
    if (!fs_.close(file, error) || !giveMetadata(error)) {
        return false;
    }
    prepared_ = true;
    return true;
}

// The unnamed new file gets its name beside the target, as one step with
// its registration, so that a signal from here on removes it.
bool FileWriter::nameContent(std::string& error) {
    if (named_) {
        return true;
    }
    for (int attempt = 0; attempt < 2 && !named_; ++attempt) {
        const SignalsHeld held;
        error.clear();
        if (fs_.nameFile(file_, temp_, error)) {
            named_ = true;
            tempSlot_ = removeOnSignal(temp_);
        } else if (attempt == 0) {
            // Left by a run that was killed while it was named; the lock
            // keeps the name to this run.
            std::string ignored;
            fs_.remove(temp_, ignored);
        }
    }
    if (!named_) {
        error = "cannot name the new version '" + temp_ + "': " + error;
    }
    return named_;
}

// The old file's owners, mode and attributes, or the model's (a backup takes
// its scene's), or those a new file gets here.
bool FileWriter::giveMetadata(std::string& error) {
    FileInfo model = old_;
    std::string modelPath = target_;
    bool haveModel = existed_ && old_.regular();
    if (!model_.empty()) {
        std::string resolved;
        haveModel = followLinks(fs_, model_, resolved, error) && fs_.stat(resolved, model, error);
        if (!haveModel) {
            error = "cannot look at " + quoted(model_) + ": " + error;
            return false;
        }
        modelPath = resolved;
    }
    if (!haveModel) {
#ifdef _WIN32
        return fs_.setMode(temp_, 0, error); // no attribute set
#else
        const mode_t mask = ::umask(0);
        ::umask(mask);
        return fs_.setMode(temp_, 0666u & ~static_cast<uint32_t>(mask), error);
#endif
    }
    uint32_t mode = model.mode;
    // Owners first: a change of owner clears set-id bits that the mode then
    // puts back. Owners that cannot be kept were allowed by --force, or the
    // file is a backup, which is this user's own.
    // The system may still refuse owners this process should be able to give
    // (a network file system that maps root to nobody): then the file is not
    // replaced, unless --force allowed new owners.
    std::string why;
    if (!mayKeepOwners(model.owner, model.group)) {
        if (!model_.empty()) {
            // A backup of this user's own: another group than the scene's
            // must not read what the scene's group could.
            mode &= ~uint32_t{0070};
        }
    } else if (!fs_.setOwner(temp_, model.owner, model.group, why)) {
        if (!policy_.force) {
            error = "its owner and group could not be kept (" + why +
                    "); give --force to replace it anyway";
            return false;
        }
        mode &= ~uint32_t{0070};
        addWarning("its owner and group could not be kept (" + why +
                   "); it now belongs to this user");
    }
    if (!fs_.setMode(temp_, mode, error)) {
        return false;
    }
    if (!fs_.copyAttributes(modelPath, temp_, why)) {
        if (!policy_.force) {
            error = why + "; give --force to write it without them";
            return false;
        }
        addWarning(why);
    }
    return true;
}

bool FileWriter::commit(std::string& error) {
    if (kind_ != TargetKind::Replaced) {
        return true;
    }
    if (!prepared_ || !named_) {
        error = "the new version is not complete";
        return false;
    }
    {
        const SignalsHeld held;
        if (!fs_.rename(temp_, target_, mayReplace_, error)) {
            return false;
        }
        forgetRemoval(tempSlot_);
        tempSlot_ = -1;
        named_ = false;
    }
    lookAtOldFile();
    if (!releaseLock()) {
        addWarning("its lock " + quoted(lockPath(fs_, target_)) +
                   " could not be removed; remove it before the next run");
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

// A program that opened the old file before the rename may write to it for as
// long as it holds it open: the last look waits (a while) for such programs
// to let go, so that what they wrote is seen.
void FileWriter::waitForOtherWriters() {
    const auto until = std::chrono::steady_clock::now() + kHeldAtMost;
    while (fs_.othersWriting(baseline_) && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

// A program that wrote to the old file after the caller's last look wrote
// to a file that has just lost its name: its bytes are kept beside the new
// one, under a name the run states, rather than lost without a word.
void FileWriter::lookAtOldFile() {
    if (oldFile_ == kNoFile) {
        return;
    }
    // Once at once, and once more after a moment: a program that opened the
    // old file just before the rename writes to it just after.
    FileInfo now;
    std::string error;
    bool changed = false;
    for (int look = 0; look < 2 && !changed; ++look) {
        if (look > 0) {
            waitForOtherWriters();
            std::this_thread::sleep_for(kSettle);
        }
        if (!fs_.statOpen(oldFile_, now, error)) {
            addWarning("the old file could not be looked at after the rename (" + error +
                       "), so a write another program made to it meanwhile would not be seen");
            return;
        }
        changed = now.size != baseline_.size || now.modified != baseline_.modified;
    }
    if (!changed) {
        return;
    }
    for (int attempt = 1; attempt <= 9 && kept_.empty(); ++attempt) {
        // Built in steps: GCC 12 at -O3 misreads the one-line sum as an
        // overlapping copy (-Werror=restrict).
        std::string suffix = ".vrim-lost";
        if (attempt > 1) {
            suffix += '-';
            suffix += std::to_string(attempt);
        }
        const std::string name = besideName(fs_, target_, suffix);
        const FileHandle copy = fs_.createNew(name, error);
        if (copy == kNoFile) {
            continue;
        }
        const auto buffer = std::make_unique_for_overwrite<char[]>(kReadChunk);
        bool copied = true;
        for (int64_t got;
             copied && (got = fs_.read(oldFile_, buffer.get(), kReadChunk, error)) != 0;) {
            copied = got > 0 && fs_.write(copy, buffer.get(), static_cast<std::size_t>(got), error);
        }
        copied = fs_.sync(copy, error) && copied;
        copied = fs_.close(copy, error) && copied;
        kept_ = copied ? name : name + " (only in part: " + error + ")";
    }
    if (kept_.empty()) {
        kept_ = "nowhere: no file could be made beside it (" + error + ")";
    }
}

void FileWriter::addWarning(const std::string& text) {
    warning_ += (warning_.empty() ? "" : "; ") + text;
}

bool FileWriter::releaseLock() {
    const SignalsHeld held;
    bool removed = true;
    if (!lock_.empty()) {
        std::string ignored;
        removed = fs_.remove(lock_, ignored);
        lock_.clear();
    }
    forgetRemoval(lockSlot_);
    lockSlot_ = -1;
    return removed;
}

void FileWriter::discard() {
    std::string ignored;
    if (file_ != kNoFile && ownsFile_) {
        fs_.close(file_, ignored);
    }
    file_ = kNoFile;
    {
        const SignalsHeld held;
        if (named_) {
            fs_.remove(temp_, ignored);
            named_ = false;
        }
        forgetRemoval(tempSlot_);
        tempSlot_ = -1;
    }
    releaseLock();
}

} // namespace vrim::files
