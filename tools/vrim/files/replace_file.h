// The tool's one writer of files. A file is never left half written: the new
// content goes to a file of its own in the file's folder (unnamed until it
// is complete where the system allows, so that not even a killed run leaves
// it behind), is flushed to the disk, takes the old file's mode, owner,
// group and extended attributes (ACLs included) and is renamed over the old
// file in one step; then the folder is flushed. A small lock beside the file,
// NAME.lock, created exclusively, keeps a second vrim off it and says who
// holds it. Whatever fails on the way, or stops the run by a signal, the old
// file stays as it was and the lock and the new file are removed.
//
// What a path names is decided from the file it opens, not from its
// spelling: "-" is standard output; a device, a FIFO, a socket or a file the
// run already holds open for writing ("/dev/stdout", "/dev/fd/5", a shell's
// append redirect) is written where it is, through the run's own handle,
// never replaced; a folder is refused; a symbolic link (or a chain of them)
// has the file it leads to replaced, and stays a link, but a link that
// another user planted in a sticky world-writable folder is refused, as the
// system itself would not follow it; a file with other names (hard links),
// a read-only file and one whose owners or attributes a new file could not
// keep are refused unless the caller allows it; a file the run reads is
// never written.
//
// After the rename the writer looks at the old file once more, through the
// handle it kept: if another program wrote to it meanwhile, its bytes are
// kept beside the file (kept()) rather than lost without a word.
#pragma once

#include "tools/vrim/files/filesystem.h"
#include "tools/vrim/files/lock.h"

#include <cstdint>
#include <cstdio>
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

// The files the run reads, noted by whoever opens them, which no writer of
// the run may replace. "-" stands for standard input.
void noteInput(const std::string& path);

// Where path leads through symbolic links: itself when it is none, the final
// target (which may not exist yet) otherwise. False with error on a loop, a
// link that cannot be read, or a link the system would refuse to follow: one
// in a sticky folder that others may write, belonging neither to this user
// nor to the folder's owner (another user may have planted it there).
bool followLinks(FileSystem& fs, const std::string& path, std::string& target, std::string& error);
// Empty when the link at path may be followed; else why not.
std::string plantedLink(FileSystem& fs, const std::string& path);

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
    // Before open: the new file takes the mode, owners and attributes of
    // file (a backup takes its scene's), never wider than file's.
    void takeMetadataOf(const std::string& file) { model_ = file; }
    // Before open: a symbolic link at the name is replaced itself, not
    // followed (a backup, whose name another user could have planted).
    void keepLinkAtName() { keepLink_ = true; }
    // The old file as the caller last saw it, for the look after the
    // rename (by default as open found it).
    void expectOld(const FileInfo& info) { baseline_ = info; }
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
    // Set after commit when another program wrote to the old file between
    // the last look and the rename: where its bytes were kept.
    const std::string& kept() const { return kept_; }
    // Set when the file went in place with something amiss: its folder
    // could not be flushed, or (allowed by --force) its owners not kept.
    const std::string& warning() const { return warning_; }

  private:
    FileSystem& fs_;
    std::string path_, target_;
    std::string lock_;   // empty: none held
    std::string temp_;   // the new file's name before the rename
    bool named_ = false; // temp_ is on the disk
    std::string model_;  // whose mode, owners and attributes the new file takes
    std::string warning_, kept_;
    WritePolicy policy_;
    std::vector<std::string> inputs_;
    TargetKind kind_ = TargetKind::Replaced;
    bool existed_ = false, mayReplace_ = true, prepared_ = false, keepLink_ = false;
    FileInfo old_, baseline_;
    FileHandle file_ = kNoFile;
    bool ownsFile_ = true;         // false: a handle of the run's, never closed here
    std::FILE* stream_ = nullptr;  // standard output or error, written as a stream
    FileHandle oldFile_ = kNoFile; // the old file, held for the look after the rename
    uint64_t unflushed_ = 0;       // bytes written since the disk was last set to work
    int lockSlot_ = -1, tempSlot_ = -1;

    bool look(const std::string& path, FileInfo& info, std::string& error);
    bool resolve(std::string& error);
    // The rest of open for a file replaced by a new one: the lock, the
    // checks made under it, the new content's file, the old file held.
    bool openReplacing(std::string& error, bool mayReplace);
    bool holdOldFile(std::string& error);
    bool refuseInput(const FileInfo& info, std::string& error);
    bool openInPlace(const FileInfo& seen, std::string& error);
    bool checkFolder(std::string& error);
    bool takeLock(std::string& error);
    bool createContent(std::string& error);
    bool nameContent(std::string& error);
    bool giveMetadata(std::string& error);
    bool refuseTarget(const FileInfo& info, std::string& error) const;
    void lookAtOldFile();
    void waitForOtherWriters();
    bool releaseLock(); // false: the lock could not be removed
    void addWarning(const std::string& text);
};

} // namespace vrim::files
