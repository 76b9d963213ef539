// Replacing a user's file without ever leaving it half written: the new
// content goes to a temporary file in the same folder, is flushed to the disk,
// takes the old file's mode and is renamed over the old file in one step.
// Whatever fails on the way, the old file stays as it was and the temporary
// file is removed.
#pragma once

#include "tools/vrim/edit/filesystem.h"

#include <cstdint>
#include <memory>
#include <string>

namespace vrim::edit {

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

// One new version of one file.
class FileReplacement {
  public:
    FileReplacement(FileSystem& fs, std::string target);
    // Discards the temporary file unless it was committed.
    ~FileReplacement();
    FileReplacement(const FileReplacement&) = delete;
    FileReplacement& operator=(const FileReplacement&) = delete;

    // Creates the temporary file beside the target.
    bool open(std::string& error);
    bool write(const char* data, std::size_t size, std::string& error);
    // Flushes the temporary file to the disk, closes it and gives it mode.
    bool finish(uint32_t mode, std::string& error);
    // Renames the finished file to the target; without replace, fails when
    // the target exists.
    bool commit(bool replace, std::string& error);
    // Closes and removes the temporary file, if there is one; quiet, since it
    // only runs once something else has already failed.
    void discard();

    const std::string& target() const { return target_; }
    const std::string& temporaryPath() const { return temporary_; }

  private:
    FileSystem& fs_;
    std::string target_;
    std::string temporary_; // empty: none exists
    FileHandle file_ = kNoFile;
};

} // namespace vrim::edit
