// Every file-system call that editing a scene makes, behind one interface, so
// that a test can make any one of them fail and watch the user's file survive.
// The real one works on POSIX descriptors, or on Windows handles with UTF-8
// paths turned into wide ones.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vrim::edit {

// What a file looks like from outside, enough to notice that it changed.
struct FileInfo {
    uint64_t size = 0;
    int64_t modified = 0; // last write, in the system's own finest unit
    uint32_t mode = 0;    // permission bits (POSIX) or attributes (Windows)
    bool regular = false; // a plain file, not a folder or a device
};

// An open file: a descriptor or a handle, kNoFile when none.
using FileHandle = intptr_t;
constexpr FileHandle kNoFile = -1;

// Each call returns false (or kNoFile, or -1) on failure with error set to the
// system's reason, one line, without the path: the caller knows which file
// and what it was doing.
class FileSystem {
  public:
    virtual ~FileSystem() = default;
    // False with error empty when there is nothing at path.
    virtual bool stat(const std::string& path, FileInfo& info, std::string& error) = 0;
    virtual FileHandle openRead(const std::string& path, std::string& error) = 0;
    // Bytes read, 0 at the end, -1 on failure.
    virtual int64_t read(FileHandle file, char* buffer, std::size_t size, std::string& error) = 0;
    // Creates a file that did not exist, for writing; fails when it exists.
    virtual FileHandle createNew(const std::string& path, std::string& error) = 0;
    // Writes all of data or fails.
    virtual bool write(FileHandle file, const char* data, std::size_t size, std::string& error) = 0;
    // Flushes the file's data to the disk.
    virtual bool sync(FileHandle file, std::string& error) = 0;
    virtual bool close(FileHandle file, std::string& error) = 0;
    // Gives the file the mode that stat reported for another one.
    virtual bool setMode(const std::string& path, uint32_t mode, std::string& error) = 0;
    // Renames from to to in one step. With replace, an existing to is
    // replaced; without it the rename fails when to exists.
    virtual bool rename(const std::string& from, const std::string& to, bool replace,
                        std::string& error) = 0;
    virtual bool remove(const std::string& path, std::string& error) = 0;
};

// The machine's own file system.
FileSystem& systemFileSystem();

// The folder part of path, with its trailing separator; empty for a bare name.
std::string folderOf(const std::string& path);

} // namespace vrim::edit
