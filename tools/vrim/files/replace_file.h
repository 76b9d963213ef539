// The tool's one writer of files. A file is never left half written: the new
// content goes to NAME.lock beside the file, created exclusively (so it is
// also the lock that keeps a second vrim off the file), is flushed to the
// disk, takes the old file's mode, owner and group and is renamed over the
// old file in one step; then the folder is flushed. Whatever fails on the
// way, or stops the run by a signal, the old file stays as it was and the
// lock is removed.
//
// At the edges: "-" is standard output; a device or a FIFO is written where
// it is, never replaced; a folder is refused; a symbolic link (or a chain of
// them) has the file it leads to replaced, in that file's folder, and stays a
// link; a file with other names (hard links), a read-only file and one whose
// owners a new file could not keep are refused unless the caller allows it;
// a file the run reads is never written.
#pragma once

#include "tools/vrim/files/filesystem.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vrim::files {

// A 64-bit hash of a byte stream fed in pieces (XXH3).
class ContentHash {
  public:
    ContentHash();
    ~ContentHash();
    ContentHash(const ContentHash&) = delete;
    ContentHash& operator=(const ContentHash&) = delete;
    void add(const char* data, std::size_t size);
    uint64_t value() const;

  private:
    struct State;
    std::unique_ptr<State> state_;
};

// A file as it was read: how it looked from outside and the hash of every
// byte that was read.
struct FileStamp {
    FileInfo info;
    uint64_t hash = 0;
};

// Reads the whole file through fs and stamps it.
bool stampFile(FileSystem& fs, const std::string& path, FileStamp& stamp, std::string& error);

// True when the file at path still has the stamp's size, time and content.
// Otherwise false, error saying what changed.
bool unchangedSince(FileSystem& fs, const std::string& path, const FileStamp& stamp,
                    std::string& error);
// The same from outside alone (size, times, and still the same file), for
// a last look that costs no reading: the change time, which no program can
// set back, tells a write whose time was.
bool unchangedOutside(FileSystem& fs, const std::string& path, const FileInfo& then,
                      std::string& error);

// What the user allows beyond the safe path.
struct WritePolicy {
    bool force = false;          // replace a read-only file, or one whose owners cannot be kept
    bool breakHardLinks = false; // replace a file that has other names; they keep the old text
};

enum class TargetKind {
    StandardOutput,
    InPlace,  // a device or a FIFO
    Replaced, // a regular file, or a new one
};

// The lock's name for a file, and what a refused run says about it.
std::string lockPath(const std::string& file);
std::string lockedMessage(const std::string& file);

// Where path leads through symbolic links: itself when it is none, the final
// target (which may not exist yet) otherwise. False with error on a loop or a
// link that cannot be read.
bool followLinks(FileSystem& fs, const std::string& path, std::string& target, std::string& error);

// One new version of one file. Errors are one line without the path; the
// caller names the file.
class FileWriter {
  public:
    // inputs: the files the run reads; none of them may be the target.
    FileWriter(FileSystem& fs, std::string path, WritePolicy policy = {},
               std::vector<std::string> inputs = {});
    // Discards the new file unless it was committed.
    ~FileWriter();
    FileWriter(const FileWriter&) = delete;
    FileWriter& operator=(const FileWriter&) = delete;

    // Looks at the target and refuses what it must; for a file it takes the
    // lock. With mayReplace false an existing target is refused, here and
    // again at the rename.
    bool open(std::string& error, bool mayReplace = true);
    bool write(const char* data, std::size_t size, std::string& error);
    // Starts flushing the new file to the disk, once everything is written,
    // for a caller with other work to do meanwhile; prepare waits for it.
    void beginPrepare();
    // Flushes the new file to the disk and closes it; it takes the old
    // file's mode, owner and group (or those a new file gets here).
    bool prepare(std::string& error);
    // Puts the prepared file in place and flushes its folder.
    bool commit(std::string& error);
    bool finish(std::string& error) { return prepare(error) && commit(error); }
    // Closes and removes the new file, if there is one; quiet, since it only
    // runs once something else has already failed.
    void discard();

    TargetKind kind() const { return kind_; }
    // The file that is written: path, or where its links lead.
    const std::string& target() const { return target_; }
    const std::string& lock() const { return lock_; }
    // Set when the file went in place with something amiss: its folder
    // could not be flushed, or (allowed by --force) its owners not kept.
    const std::string& warning() const { return warning_; }

  private:
    FileSystem& fs_;
    std::string path_, target_, lock_; // lock_ empty: none held
    std::string warning_;
    WritePolicy policy_;
    std::vector<std::string> inputs_;
    TargetKind kind_ = TargetKind::Replaced;
    bool existed_ = false, mayReplace_ = true, prepared_ = false;
    FileInfo old_;
    FileHandle file_ = kNoFile;
    uint64_t unflushed_ = 0; // bytes written since the disk was last set to work
    int cleanupSlot_ = -1;

    bool refuseTarget(const FileInfo& info, std::string& error) const;
    void releaseLock();
    void addWarning(const std::string& text);
};

} // namespace vrim::files
