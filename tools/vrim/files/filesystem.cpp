#include "tools/vrim/files/filesystem.h"
#include "tools/vrim/files/cleanup.h"
#include "tools/vrim/files/paths.h"

#include <cerrno>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/xattr.h>
#endif

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <memory>
#include <string>
#include <system_error>
#include <thread>
#include <vector>
#endif

namespace vrim::files {

std::string folderOf(const std::string& path) {
#ifdef _WIN32
    const std::size_t slash = path.find_last_of("/\\:");
#else
    const std::size_t slash = path.rfind('/');
#endif
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

namespace {

// A folder's entries through the standard library, which reads folders the
// same way on every system.
bool folderEntries(const std::string& folder, std::vector<FolderEntry>& entries,
                   std::string& error) {
    std::error_code failed;
    for (std::filesystem::directory_iterator it(pathOf(folder), failed), end; !failed && it != end;
         it.increment(failed)) {
        std::error_code ignored;
        entries.push_back({textOf(it->path().filename()),
                           it->is_directory(ignored) && !it->is_symlink(ignored),
                           it->is_regular_file(ignored)});
    }
    if (failed) {
        error = failed.message();
        return false;
    }
    return true;
}

bool resolvedPath(const std::string& path, std::string& place, std::string& error) {
    std::error_code failed;
    const std::filesystem::path whole = std::filesystem::weakly_canonical(pathOf(path), failed);
    if (failed) {
        error = failed.message();
        return false;
    }
    place = genericTextOf(whole);
    return true;
}

#ifdef _WIN32

std::string lastError() {
    const DWORD code = GetLastError();
    char text[512] = {};
    const DWORD length =
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                       MAKELANGID(LANG_ENGLISH, SUBLANG_DEFAULT), text, sizeof text, nullptr);
    std::string out(text, length);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == '.')) {
        out.pop_back();
    }
    return out.empty() ? "system error " + std::to_string(code) : out;
}

HANDLE handleOf(FileHandle file) {
    return reinterpret_cast<HANDLE>(file);
}

bool infoOf(HANDLE file, FileInfo& info, std::string& error) {
    info = FileInfo{};
    if (GetFileType(file) != FILE_TYPE_DISK) {
        info.kind = FileKind::Other; // NUL, CON, a pipe
        return true;
    }
    BY_HANDLE_FILE_INFORMATION data{};
    if (!GetFileInformationByHandle(file, &data)) {
        error = lastError();
        return false;
    }
    FILE_BASIC_INFO basic{};
    if (GetFileInformationByHandleEx(file, FileBasicInfo, &basic, sizeof basic)) {
        info.changed = basic.ChangeTime.QuadPart;
    }
    info.size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    info.modified =
        static_cast<int64_t>((static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                             data.ftLastWriteTime.dwLowDateTime);
    info.mode = data.dwFileAttributes;
    info.kind = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? FileKind::Folder
                : (data.dwFileAttributes & FILE_ATTRIBUTE_DEVICE) != 0  ? FileKind::Other
                                                                        : FileKind::Regular;
    info.device = data.dwVolumeSerialNumber;
    info.inode = (static_cast<uint64_t>(data.nFileIndexHigh) << 32) | data.nFileIndexLow;
    info.links = data.nNumberOfLinks;
    info.writable = (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) == 0;
    return true;
}

class SystemFileSystem final : public FileSystem {
  public:
    bool stat(const std::string& path, FileInfo& info, std::string& error) override {
        // Opened for nothing but its attributes; a folder needs backup
        // semantics to be opened at all.
        HANDLE file = CreateFileW(wide(path).c_str(), FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            const DWORD code = GetLastError();
            error = code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND ? "" : lastError();
            return false;
        }
        const bool got = infoOf(file, info, error);
        CloseHandle(file);
        return got;
    }
    bool statLink(const std::string& path, FileInfo& info, std::string& error) override {
        return stat(path, info, error); // the tool follows no link here
    }
    bool statOpen(FileHandle file, FileInfo& info, std::string& error) override {
        return infoOf(handleOf(file), info, error);
    }
    bool readLink(const std::string&, std::string&, std::string& error) override {
        // Windows opens through a link by itself; the tool follows none.
        error.clear();
        return false;
    }
    FileHandle openRead(const std::string& path, std::string& error) override {
        HANDLE file = CreateFileW(wide(path).c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            error = lastError();
            return kNoFile;
        }
        return reinterpret_cast<FileHandle>(file);
    }
    bool seek(FileHandle file, uint64_t offset, std::string& error) override {
        LARGE_INTEGER to{};
        to.QuadPart = static_cast<LONGLONG>(offset);
        if (offset > static_cast<uint64_t>(INT64_MAX) ||
            !SetFilePointerEx(handleOf(file), to, nullptr, FILE_BEGIN)) {
            error = offset > static_cast<uint64_t>(INT64_MAX) ? "past any file's end" : lastError();
            return false;
        }
        return true;
    }
    int64_t read(FileHandle file, char* buffer, std::size_t size, std::string& error) override {
        DWORD got = 0;
        if (!ReadFile(handleOf(file), buffer, static_cast<DWORD>(size), &got, nullptr)) {
            error = lastError();
            return -1;
        }
        return got;
    }
    FileHandle createNew(const std::string& path, std::string& error) override {
        // Shared for deletion only, so that the console handler can remove
        // it while it is open; the exclusive create is the lock.
        HANDLE file = CreateFileW(wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_DELETE, nullptr,
                                  CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            error = lastError();
            return kNoFile;
        }
        return reinterpret_cast<FileHandle>(file);
    }
    FileHandle openExisting(const std::string& path, std::string& error) override {
        HANDLE file =
            CreateFileW(wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            error = lastError();
            return kNoFile;
        }
        return reinterpret_cast<FileHandle>(file);
    }
    bool write(FileHandle file, const char* data, std::size_t size, std::string& error) override {
        while (size > 0) {
            const DWORD chunk = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
            DWORD put = 0;
            if (!WriteFile(handleOf(file), data, chunk, &put, nullptr) || put == 0) {
                error = lastError();
                return false;
            }
            data += put;
            size -= put;
        }
        return true;
    }
    bool sync(FileHandle file, std::string& error) override {
        if (!FlushFileBuffers(handleOf(file))) {
            error = lastError();
            return false;
        }
        return true;
    }
    bool close(FileHandle file, std::string& error) override {
        if (!CloseHandle(handleOf(file))) {
            error = lastError();
            return false;
        }
        return true;
    }
    bool setMode(const std::string& path, uint32_t mode, std::string& error) override {
        // Only the attributes a user sets carry over; the new file already
        // has the folder's access rules, as the old one had.
        const DWORD kept = mode & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                   FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
        if (!SetFileAttributesW(wide(path).c_str(), kept == 0 ? FILE_ATTRIBUTE_NORMAL : kept)) {
            error = lastError();
            return false;
        }
        return true;
    }
    bool setOwner(const std::string&, uint32_t, uint32_t, std::string&) override { return true; }
    bool rename(const std::string& from, const std::string& to, bool replace,
                std::string& error) override {
        const DWORD flags = MOVEFILE_WRITE_THROUGH | (replace ? MOVEFILE_REPLACE_EXISTING : 0);
        if (!MoveFileExW(wide(from).c_str(), wide(to).c_str(), flags)) {
            error = lastError();
            return false;
        }
        return true;
    }
    bool remove(const std::string& path, std::string& error) override {
        if (!DeleteFileW(wide(path).c_str())) {
            error = lastError();
            return false;
        }
        return true;
    }
    bool resolve(const std::string& path, std::string& place, std::string& error) override {
        return resolvedPath(path, place, error);
    }
    bool listFolder(const std::string& folder, std::vector<FolderEntry>& entries,
                    std::string& error) override {
        return folderEntries(folder, entries, error);
    }
    bool syncFolder(const std::string&, std::string&) override { return true; }
};

#else

std::string lastError() {
    return std::strerror(errno);
}

int descriptorOf(FileHandle file) {
    return static_cast<int>(file);
}

void fill(const struct stat& data, FileInfo& info) {
    info.size = static_cast<uint64_t>(data.st_size);
    info.modified = static_cast<int64_t>(data.st_mtim.tv_sec) * 1000000000 +
                    static_cast<int64_t>(data.st_mtim.tv_nsec);
    info.changed = static_cast<int64_t>(data.st_ctim.tv_sec) * 1000000000 +
                   static_cast<int64_t>(data.st_ctim.tv_nsec);
    info.mode = static_cast<uint32_t>(data.st_mode & 07777);
    info.kind = S_ISREG(data.st_mode) ? FileKind::Regular
                : S_ISDIR(data.st_mode) ? FileKind::Folder
                : S_ISLNK(data.st_mode) ? FileKind::Link
                                        : FileKind::Other;
    info.device = static_cast<uint64_t>(data.st_dev);
    info.inode = static_cast<uint64_t>(data.st_ino);
    info.links = static_cast<uint64_t>(data.st_nlink);
    info.owner = static_cast<uint32_t>(data.st_uid);
    info.group = static_cast<uint32_t>(data.st_gid);
}

#ifdef __linux__
// An attribute list or value, read in two steps (its size, then it) and again
// should it grow in between.
template <typename Read> bool readGrowing(std::vector<char>& bytes, Read read) {
    for (int attempt = 0; attempt < 4; ++attempt) {
        const ssize_t size = read(nullptr, 0);
        if (size < 0) {
            return false;
        }
        bytes.resize(static_cast<std::size_t>(size));
        const ssize_t got = read(bytes.data(), bytes.size());
        if (got >= 0) {
            bytes.resize(static_cast<std::size_t>(got));
            return true;
        }
        if (errno != ERANGE) {
            return false;
        }
    }
    return false;
}

bool copyExtendedAttributes(const std::string& from, const std::string& to, std::string& error) {
    std::vector<char> names;
    if (!readGrowing(names, [&](char* data, std::size_t size) {
            return ::listxattr(from.c_str(), data, size);
        })) {
        // A file system without attributes has none to keep.
        if (errno == ENOTSUP) {
            return true;
        }
        error = "its extended attributes could not be read (" + lastError() + ")";
        return false;
    }
    std::string lost;
    for (std::size_t at = 0; at < names.size();) {
        const std::string name(names.data() + at);
        at += name.size() + 1;
        std::vector<char> value, there;
        const auto get = [](const std::string& path, const std::string& key,
                            std::vector<char>& out) {
            return readGrowing(out, [&](char* data, std::size_t size) {
                return ::getxattr(path.c_str(), key.c_str(), data, size);
            });
        };
        if (!get(from, name, value)) {
            lost += (lost.empty() ? "" : ", ") + name + " (" + lastError() + ")";
            continue;
        }
        // One the new file already has (a label the system gives) is kept.
        if (get(to, name, there) && there == value) {
            continue;
        }
        if (::setxattr(to.c_str(), name.c_str(), value.data(), value.size(), 0) != 0) {
            lost += (lost.empty() ? "" : ", ") + name + " (" + lastError() + ")";
        }
    }
    if (!lost.empty()) {
        error = "its extended attributes could not all be kept: " + lost;
        return false;
    }
    return true;
}
#else
bool copyExtendedAttributes(const std::string&, const std::string&, std::string&) {
    return true;
}
#endif

#ifdef __linux__
// Whether /proc/PID/fd/N is that process's descriptor on the file, open for
// writing (its fdinfo's flags say how it was opened).
bool writingOn(const std::string& link, const std::string& pid, const FileInfo& info) {
    struct stat data {};
    if (::stat(link.c_str(), &data) != 0 || static_cast<uint64_t>(data.st_dev) != info.device ||
        static_cast<uint64_t>(data.st_ino) != info.inode) {
        return false;
    }
    const std::string number = link.substr(link.rfind('/') + 1);
    std::FILE* fdinfo = std::fopen(("/proc/" + pid + "/fdinfo/" + number).c_str(), "r");
    if (fdinfo == nullptr) {
        return true; // gone, or not ours to read: assume the worst, briefly
    }
    unsigned flags = 0;
    char line[128];
    while (std::fgets(line, sizeof line, fdinfo) != nullptr) {
        if (std::sscanf(line, "flags: %o", &flags) == 1) {
            break;
        }
    }
    std::fclose(fdinfo);
    return (flags & O_ACCMODE) != O_RDONLY;
}
#endif

// Reading a file through a mapping skips the copy into the reader's buffer,
// which on a large scene costs more than the reading itself. One window at a
// time is mapped, so the file's pages in the process stay few whatever its
// size.
constexpr std::size_t kMapWindow = 512 * 1024;

class SystemFileSystem final : public FileSystem {
  public:
    bool stat(const std::string& path, FileInfo& info, std::string& error) override {
        struct stat data {};
        if (::stat(path.c_str(), &data) != 0) {
            error = errno == ENOENT ? "" : lastError();
            return false;
        }
        fill(data, info);
        info.writable = ::access(path.c_str(), W_OK) == 0;
        return true;
    }
    bool statLink(const std::string& path, FileInfo& info, std::string& error) override {
        struct stat data {};
        if (::lstat(path.c_str(), &data) != 0) {
            error = errno == ENOENT ? "" : lastError();
            return false;
        }
        fill(data, info);
        return true;
    }
    bool statOpen(FileHandle file, FileInfo& info, std::string& error) override {
        struct stat data {};
        if (::fstat(descriptorOf(file), &data) != 0) {
            error = lastError();
            return false;
        }
        fill(data, info);
        const int flags = ::fcntl(descriptorOf(file), F_GETFL);
        info.writable = flags >= 0 && (flags & O_ACCMODE) != O_RDONLY;
        return true;
    }
    FileHandle openedAs(const FileInfo& info) override {
        // Every descriptor the run may hold; those it does not are EBADF.
        const long most = std::min(::sysconf(_SC_OPEN_MAX), 65536L);
        for (int descriptor = 0; descriptor < most; ++descriptor) {
            struct stat data {};
            if (::fstat(descriptor, &data) != 0 ||
                static_cast<uint64_t>(data.st_dev) != info.device ||
                static_cast<uint64_t>(data.st_ino) != info.inode) {
                continue;
            }
            const int flags = ::fcntl(descriptor, F_GETFL);
            if (flags >= 0 && (flags & O_ACCMODE) != O_RDONLY) {
                return descriptor;
            }
        }
        return kNoFile;
    }
#ifdef __linux__
    bool othersWriting(const FileInfo& info) override {
        std::error_code error;
        const std::string self = std::to_string(::getpid());
        for (const auto& process : std::filesystem::directory_iterator("/proc", error)) {
            const std::string pid = process.path().filename().string();
            if (pid == self || pid.find_first_not_of("0123456789") != std::string::npos) {
                continue;
            }
            std::error_code ignored;
            for (const auto& fd :
                 std::filesystem::directory_iterator(process.path() / "fd", ignored)) {
                if (writingOn(fd.path().string(), pid, info)) {
                    return true;
                }
            }
        }
        return false;
    }
#endif
    bool readLink(const std::string& path, std::string& target, std::string& error) override {
        error.clear();
        struct stat data {};
        if (::lstat(path.c_str(), &data) != 0 || !S_ISLNK(data.st_mode)) {
            return false;
        }
        std::vector<char> text(static_cast<std::size_t>(data.st_size > 0 ? data.st_size : 255) + 1);
        const ssize_t length = ::readlink(path.c_str(), text.data(), text.size());
        if (length < 0) {
            error = lastError();
            return false;
        }
        if (static_cast<std::size_t>(length) >= text.size()) {
            error = "the link changed while it was read";
            return false;
        }
        target.assign(text.data(), static_cast<std::size_t>(length));
        return true;
    }
    FileHandle openRead(const std::string& path, std::string& error) override {
        const int file = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (file < 0) {
            error = lastError();
            return kNoFile;
        }
        return file;
    }
    bool seek(FileHandle file, uint64_t offset, std::string& error) override {
        if (offset > static_cast<uint64_t>(std::numeric_limits<off_t>::max())) {
            error = "past any file's end";
            return false;
        }
        if (::lseek(descriptorOf(file), static_cast<off_t>(offset), SEEK_SET) < 0) {
            error = lastError();
            return false;
        }
        return true;
    }
    int64_t read(FileHandle file, char* buffer, std::size_t size, std::string& error) override {
        for (;;) {
            const ssize_t got = ::read(descriptorOf(file), buffer, size);
            if (got >= 0) {
                return got;
            }
            if (errno != EINTR) {
                error = lastError();
                return -1;
            }
        }
    }
    int64_t readInPlace(FileHandle file, const char*& data, char* buffer, std::size_t size,
                        std::string& error) override {
        const int descriptor = descriptorOf(file);
        struct stat info {};
        const off_t at = ::lseek(descriptor, 0, SEEK_CUR);
        if (size == 0 || at < 0 || ::fstat(descriptor, &info) != 0 || !S_ISREG(info.st_mode)) {
            unmap(descriptor);
            data = buffer;
            return read(file, buffer, size, error);
        }
        if (at >= info.st_size) {
            unmap(descriptor);
            return 0;
        }
        auto window = std::find_if(windows_.begin(), windows_.end(),
                                   [&](const Window& w) { return w.descriptor == descriptor; });
        if (window == windows_.end() || at < window->offset ||
            at >= window->offset + static_cast<off_t>(window->length)) {
            unmap(descriptor);
            // A mapping starts on a page; bytes before the position are
            // mapped but not handed out.
            static const auto page = static_cast<off_t>(::sysconf(_SC_PAGESIZE));
            const off_t start = at - at % page;
            const auto length = static_cast<std::size_t>(
                std::min<off_t>(info.st_size - start, static_cast<off_t>(kMapWindow)));
            cutShortEndsRun();
            void* mapped = ::mmap(nullptr, length, PROT_READ, MAP_SHARED, descriptor, start);
            if (mapped == MAP_FAILED) {
                // Some file systems cannot map a file; they can still read it.
                data = buffer;
                return read(file, buffer, size, error);
            }
            ::madvise(mapped, length, MADV_SEQUENTIAL);
            windows_.push_back({descriptor, mapped, start, length});
            window = windows_.end() - 1;
        }
        // Never past the file's end as it is now: it may have shrunk since
        // the window was mapped.
        const off_t windowEnd = window->offset + static_cast<off_t>(window->length);
        const auto count = static_cast<std::size_t>(
            std::min<off_t>({static_cast<off_t>(size), windowEnd - at, info.st_size - at}));
        if (::lseek(descriptor, at + static_cast<off_t>(count), SEEK_SET) < 0) {
            error = lastError();
            unmap(descriptor);
            return -1;
        }
        data = static_cast<const char*>(window->start) + (at - window->offset);
        return static_cast<int64_t>(count);
    }
    FileHandle createNew(const std::string& path, std::string& error) override {
        // Private until it is complete; the old file's mode comes at the end.
        const int file = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (file < 0) {
            error = lastError();
            return kNoFile;
        }
        return file;
    }
    FileHandle createUnnamed(const std::string& folder, std::string& error) override {
        error.clear();
#ifdef O_TMPFILE
        const int file =
            ::open(folder.empty() ? "." : folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
        if (file >= 0) {
            return file;
        }
        // A file system without unnamed files says so in one of these ways.
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL && errno != ENOENT) {
            error = lastError();
        }
#else
        (void)folder;
#endif
        return kNoFile;
    }
    bool nameFile(FileHandle file, const std::string& path, std::string& error) override {
        // The descriptor's own entry stands for the file: linking it needs no
        // privilege, where linking the descriptor itself does.
        const std::string self = "/proc/self/fd/" + std::to_string(descriptorOf(file));
        if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) != 0) {
            error = lastError();
            return false;
        }
        return true;
    }
    FileHandle openExisting(const std::string& path, std::string& error) override {
        // No O_CREAT: should the file have gone meanwhile, nothing is made
        // in its place.
        const int file = ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
        if (file < 0) {
            error = lastError();
            return kNoFile;
        }
        return file;
    }
    bool write(FileHandle file, const char* data, std::size_t size, std::string& error) override {
        while (size > 0) {
            const ssize_t put = ::write(descriptorOf(file), data, size);
            if (put < 0 && errno == EINTR) {
                continue;
            }
            if (put <= 0) {
                error = put < 0 ? lastError() : "nothing written";
                return false;
            }
            data += put;
            size -= static_cast<std::size_t>(put);
        }
        return true;
    }
    void beginSync(FileHandle file) override {
        auto pending = std::make_unique<Flush>();
        pending->descriptor = descriptorOf(file);
        Flush* flush = pending.get();
        try {
            pending->worker = std::thread(
                [flush] { flush->failure = ::fsync(flush->descriptor) == 0 ? 0 : errno; });
        } catch (const std::system_error&) {
            return; // no thread to spare: sync flushes in turn
        }
        syncs_.push_back(std::move(pending));
    }
    bool sync(FileHandle file, std::string& error) override {
        // A flush begun earlier is this one, failure included: a second
        // flush after a failed one may report success with the data lost.
        const int begun = finishSync(descriptorOf(file));
        if (begun == 0) {
            return true;
        }
        if (begun > 0) {
            error = std::strerror(begun);
            return false;
        }
        if (::fsync(descriptorOf(file)) != 0) {
            error = lastError();
            return false;
        }
        return true;
    }
#ifdef __linux__
    void startFlush(FileHandle file) override {
        ::sync_file_range(descriptorOf(file), 0, 0, SYNC_FILE_RANGE_WRITE);
    }
#endif
    bool close(FileHandle file, std::string& error) override {
        finishSync(descriptorOf(file)); // never closed under a running flush
        unmap(descriptorOf(file));
        if (::close(descriptorOf(file)) != 0) {
            error = lastError();
            return false;
        }
        return true;
    }
    bool setMode(const std::string& path, uint32_t mode, std::string& error) override {
        if (::chmod(path.c_str(), static_cast<mode_t>(mode)) != 0) {
            error = lastError();
            return false;
        }
        return true;
    }
    bool setOwner(const std::string& path, uint32_t owner, uint32_t group,
                  std::string& error) override {
        if (::chown(path.c_str(), static_cast<uid_t>(owner), static_cast<gid_t>(group)) != 0) {
            error = lastError();
            return false;
        }
        return true;
    }
    bool copyAttributes(const std::string& from, const std::string& to,
                        std::string& error) override {
        return copyExtendedAttributes(from, to, error);
    }
    std::size_t nameLimit(const std::string& folder) override {
        const long limit = ::pathconf(folder.empty() ? "." : folder.c_str(), _PC_NAME_MAX);
        return limit > 0 ? static_cast<std::size_t>(limit) : 255;
    }
    bool rename(const std::string& from, const std::string& to, bool replace,
                std::string& error) override {
        if (replace) {
            if (::rename(from.c_str(), to.c_str()) != 0) {
                error = lastError();
                return false;
            }
            return true;
        }
        // A hard link fails when the name is taken, where rename would
        // replace it; the temporary name then goes.
        if (::link(from.c_str(), to.c_str()) != 0) {
            error = lastError();
            return false;
        }
        if (::unlink(from.c_str()) != 0) {
            error = lastError();
            ::unlink(to.c_str());
            return false;
        }
        return true;
    }
    bool remove(const std::string& path, std::string& error) override {
        if (::unlink(path.c_str()) != 0) {
            error = lastError();
            return false;
        }
        return true;
    }
    bool resolve(const std::string& path, std::string& place, std::string& error) override {
        return resolvedPath(path, place, error);
    }
    bool listFolder(const std::string& folder, std::vector<FolderEntry>& entries,
                    std::string& error) override {
        return folderEntries(folder, entries, error);
    }
    bool syncFolder(const std::string& folder, std::string& error) override {
        const int file =
            ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (file < 0) {
            error = lastError();
            return false;
        }
        // Some file systems cannot flush a folder and say so; their renames
        // are as lasting as they get.
        const bool synced = ::fsync(file) == 0 || errno == EINVAL || errno == EROFS;
        if (!synced) {
            error = lastError();
        }
        ::close(file);
        return synced;
    }

  private:
    // The window readInPlace hands out bytes from, one per open file.
    struct Window {
        int descriptor;
        void* start;
        off_t offset; // in the file, of start
        std::size_t length;
    };
    std::vector<Window> windows_;
    // A flush begun and not yet waited for: a thread of its own that does
    // nothing but wait on the disk, joined by whoever needs the file next.
    struct Flush {
        int descriptor = -1;
        int failure = 0; // the error the flush failed with; 0 when it went well
        std::thread worker;
    };
    std::vector<std::unique_ptr<Flush>> syncs_;

    // Waits for the flush begun on descriptor: -1 when none was, else 0 or
    // the error it failed with.
    int finishSync(int descriptor) {
        const auto found =
            std::find_if(syncs_.begin(), syncs_.end(), [&](const std::unique_ptr<Flush>& flush) {
                return flush->descriptor == descriptor;
            });
        if (found == syncs_.end()) {
            return -1;
        }
        (*found)->worker.join();
        const int failure = (*found)->failure;
        syncs_.erase(found);
        return failure;
    }

    void unmap(int descriptor) {
        const auto found = std::find_if(windows_.begin(), windows_.end(), [&](const Window& w) {
            return w.descriptor == descriptor;
        });
        if (found != windows_.end()) {
            ::munmap(found->start, found->length);
            windows_.erase(found);
        }
    }
};

#endif

} // namespace

bool mayKeepOwners(uint32_t owner, uint32_t group) {
#ifdef _WIN32
    (void)owner;
    (void)group;
    return true;
#else
    if (::geteuid() == 0) {
        return true;
    }
    if (owner != ::geteuid()) {
        return false;
    }
    if (group == ::getegid()) {
        return true;
    }
    const int count = ::getgroups(0, nullptr);
    std::vector<gid_t> groups(static_cast<std::size_t>(count > 0 ? count : 0));
    const int got = count > 0 ? ::getgroups(count, groups.data()) : 0;
    for (int i = 0; i < got; ++i) {
        if (groups[static_cast<std::size_t>(i)] == group) {
            return true;
        }
    }
    return false;
#endif
}

FileHandle standardHandle(int which) {
#ifdef _WIN32
    const DWORD kinds[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
    const HANDLE handle = GetStdHandle(kinds[which < 0 || which > 2 ? 0 : which]);
    return handle == nullptr || handle == INVALID_HANDLE_VALUE
               ? kNoFile
               : reinterpret_cast<FileHandle>(handle);
#else
    return which;
#endif
}

int64_t ReadingFile::readFull(char* buffer, std::size_t size, std::string& error) {
    std::size_t done = 0;
    while (done < size) {
        const int64_t got = fs_.read(file_, buffer + done, size - done, error);
        if (got < 0) {
            return -1;
        }
        if (got == 0) {
            break;
        }
        done += static_cast<std::size_t>(got);
    }
    return static_cast<int64_t>(done);
}

FileSystem& systemFileSystem() {
    static SystemFileSystem system;
    return system;
}

} // namespace vrim::files
