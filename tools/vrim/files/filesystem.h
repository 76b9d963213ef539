// Every file-system call that the tool makes, to read a file, list a folder
// or write a file, behind one interface, so that a test can make any one of
// them fail and watch the tool say so and the user's file survive. The real
// one works on POSIX descriptors, or on Windows handles with UTF-8 paths
// turned into wide ones. (Loading a module is the system loader's work, and
// standard input is a stream the run was given: neither goes through here.)
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vrim::files {

enum class FileKind {
    Regular, // a plain file
    Folder,
    Link,  // a symbolic link itself, as statLink sees it
    Other, // a device, a FIFO, a socket: written where it is, never replaced
};

// What a file looks like from outside: enough to notice that it changed, to
// tell one file from another whatever its spelling, and to give a new
// version the old one's mode and owners.
struct FileInfo {
    uint64_t size = 0;
    int64_t modified = 0; // last write, in the system's own finest unit
    // Last change of content or attributes, which no program can set back
    // (POSIX ctime, Windows ChangeTime); 0 where the system keeps none.
    int64_t changed = 0;
    uint32_t mode = 0; // permission bits (POSIX) or attributes (Windows)
    FileKind kind = FileKind::Regular;
    uint64_t device = 0, inode = 0; // together, the file itself (volume and index on Windows)
    uint64_t links = 1;             // names the file has (hard links)
    uint32_t owner = 0, group = 0;  // POSIX only
    bool writable = true;           // this process may open it for writing

    bool regular() const { return kind == FileKind::Regular; }
    bool sameFile(const FileInfo& other) const {
        return device == other.device && inode == other.inode;
    }
};

// One entry of a folder, as listFolder gives it.
struct FolderEntry {
    std::string name;     // the entry's own name, without the folder's
    bool folder = false;  // a folder itself, not a link to one
    bool regular = false; // a plain file, or a link that leads to one
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
    // The file a path leads to, through symbolic links. False with error
    // empty when there is nothing there.
    virtual bool stat(const std::string& path, FileInfo& info, std::string& error) = 0;
    // What the symbolic link at path holds. False with error empty when path
    // is not a link (or nothing is there).
    virtual bool readLink(const std::string& path, std::string& target, std::string& error) = 0;
    // The entry at path itself, a symbolic link not followed (its owner
    // decides whether the tool follows it). False with error empty when
    // nothing is there.
    virtual bool statLink(const std::string& path, FileInfo& info, std::string& error) = 0;
    // The file an open handle is on, whatever name it has now, if any.
    virtual bool statOpen(FileHandle file, FileInfo& info, std::string& error) = 0;
    // The run's own open handle, writable, on the same file as info (one a
    // shell redirect gave the run, "/dev/stdout" or "/dev/fd/5" stand for
    // it); kNoFile when the run holds none.
    virtual FileHandle openedAs(const FileInfo& info) {
        (void)info;
        return kNoFile;
    }
    // Whether another process, as far as this one may see, holds the file
    // open for writing; false where the system tells no such thing.
    virtual bool othersWriting(const FileInfo& info) {
        (void)info;
        return false;
    }
    virtual FileHandle openRead(const std::string& path, std::string& error) = 0;
    // Bytes read, 0 at the end, -1 on failure.
    virtual int64_t read(FileHandle file, char* buffer, std::size_t size, std::string& error) = 0;
    // Like read, but where the system can it hands out the file's bytes
    // where they lie (a window of a mapping of the file) instead of copying
    // them into buffer: data points at them, valid until the next call on
    // the file or its close. A file another program cuts short meanwhile
    // ends the run (see cleanup.h).
    virtual int64_t readInPlace(FileHandle file, const char*& data, char* buffer, std::size_t size,
                                std::string& error) {
        data = buffer;
        return read(file, buffer, size, error);
    }
    // Moves the place the next read starts at to offset bytes from the
    // file's start.
    virtual bool seek(FileHandle file, uint64_t offset, std::string& error) = 0;
    // Creates a file that did not exist, for writing; fails when it exists.
    virtual FileHandle createNew(const std::string& path, std::string& error) = 0;
    // A new file in folder that has no name yet, so that nothing of it
    // outlives a run that is killed; nameFile gives it one once complete.
    // kNoFile with error empty where the system makes no such files (the
    // caller then makes a named one).
    virtual FileHandle createUnnamed(const std::string& folder, std::string& error) {
        (void)folder;
        error.clear();
        return kNoFile;
    }
    // Gives a file made by createUnnamed a name; fails when the name is taken.
    virtual bool nameFile(FileHandle file, const std::string& path, std::string& error) {
        (void)file;
        (void)path;
        error = "this system cannot name an unnamed file";
        return false;
    }
    // Opens an existing file for writing as it is: nothing created, nothing
    // cut (a device or a FIFO).
    virtual FileHandle openExisting(const std::string& path, std::string& error) = 0;
    // Writes all of data or fails.
    virtual bool write(FileHandle file, const char* data, std::size_t size, std::string& error) = 0;
    // Flushes the file's data to the disk.
    virtual bool sync(FileHandle file, std::string& error) = 0;
    // Starts writing what the file holds so far to the disk and returns at
    // once, so that the disk works while the writer goes on and sync has
    // less to wait for. Only advice: sync still decides what is on the disk.
    virtual void startFlush(FileHandle file) { (void)file; }
    // Starts the flush that sync waits for and returns at once, so that the
    // caller can do other work while the disk finishes; sync (or close)
    // then waits for it. Only advice: without it, sync flushes as ever.
    virtual void beginSync(FileHandle file) { (void)file; }
    virtual bool close(FileHandle file, std::string& error) = 0;
    // Gives the file the mode that stat reported for another one.
    virtual bool setMode(const std::string& path, uint32_t mode, std::string& error) = 0;
    // Gives the file the owner and group that stat reported for another one
    // (nothing to do on Windows).
    virtual bool setOwner(const std::string& path, uint32_t owner, uint32_t group,
                          std::string& error) = 0;
    // Renames from to to in one step. With replace, an existing to is
    // replaced; without it the rename fails when to exists.
    // Gives to the extended attributes of from (POSIX ACLs included, which
    // are attributes too). False with error naming each one that could not
    // be kept, and why.
    virtual bool copyAttributes(const std::string& from, const std::string& to,
                                std::string& error) {
        (void)from;
        (void)to;
        (void)error;
        return true;
    }
    // The longest name, in bytes, that a file in folder may have.
    virtual std::size_t nameLimit(const std::string& folder) {
        (void)folder;
        return 255;
    }
    virtual bool rename(const std::string& from, const std::string& to, bool replace,
                        std::string& error) = 0;
    virtual bool remove(const std::string& path, std::string& error) = 0;
    // Where path leads once every symbolic link in it is followed, as an
    // absolute path with "/" between its parts: two spellings of one name,
    // or a link and its target, lead to one place. The part of path that
    // does not exist yet (a file about to be written) is added as given,
    // "." and ".." taken out. False with error set when it cannot be told.
    virtual bool resolve(const std::string& path, std::string& place, std::string& error) = 0;
    // The entries of folder, in no order; false with error set when the
    // folder cannot be read.
    virtual bool listFolder(const std::string& folder, std::vector<FolderEntry>& entries,
                            std::string& error) = 0;
    // Flushes a folder's entries to the disk, so that a rename in it lasts
    // (nothing to do on Windows, whose rename writes through).
    virtual bool syncFolder(const std::string& folder, std::string& error) = 0;
};

// The machine's own file system.
FileSystem& systemFileSystem();

// A file opened for reading through a file system, closed when it goes
// whatever ends the reading (nothing of a file only read is lost then).
class ReadingFile {
  public:
    // isOpen() tells whether it opened; error says why not.
    ReadingFile(FileSystem& fs, const std::string& path, std::string& error)
        : fs_(fs), file_(fs.openRead(path, error)) {}
    ~ReadingFile() {
        std::string ignored;
        if (file_ != kNoFile) {
            fs_.close(file_, ignored);
        }
    }
    ReadingFile(const ReadingFile&) = delete;
    ReadingFile& operator=(const ReadingFile&) = delete;

    bool isOpen() const { return file_ != kNoFile; }
    FileSystem& fs() const { return fs_; }
    FileHandle handle() const { return file_; }
    // Reads size bytes, fewer only at the file's end; -1 on failure.
    int64_t readFull(char* buffer, std::size_t size, std::string& error);

  private:
    FileSystem& fs_;
    FileHandle file_;
};

// The run's standard input (0), output (1) or error (2) as a handle.
FileHandle standardHandle(int which);

// The folder part of path, with its trailing separator; empty for a bare name.
std::string folderOf(const std::string& path);

// Whether this process may give a new file this owner and group (root may
// give any; others only their own user and one of their groups). Always true
// on Windows.
bool mayKeepOwners(uint32_t owner, uint32_t group);

} // namespace vrim::files
