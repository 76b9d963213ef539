// The machine's file system with the Nth call failing (0: none), the name of
// the call it failed, and a hook that runs before each call, named by the
// call: the tool's writer tested against every failure the system can report.
#pragma once

#include "tools/vrim/files/filesystem.h"

#include <functional>
#include <string>

namespace testsupport {

using vrim::files::FileHandle;
using vrim::files::FileInfo;

class FaultyFileSystem final : public vrim::files::FileSystem {
  public:
    int failAt = 0;
    int calls = 0;
    std::string failed; // the call that was failed; empty while none was
    std::function<void(const std::string& call)> before;

    bool stat(const std::string& path, FileInfo& info, std::string& error) override {
        return fails("stat", error) ? false : real_.stat(path, info, error);
    }
    bool readLink(const std::string& path, std::string& target, std::string& error) override {
        return fails("readLink", error) ? false : real_.readLink(path, target, error);
    }
    bool statLink(const std::string& path, FileInfo& info, std::string& error) override {
        return fails("statLink", error) ? false : real_.statLink(path, info, error);
    }
    bool statOpen(FileHandle file, FileInfo& info, std::string& error) override {
        return fails("statOpen", error) ? false : real_.statOpen(file, info, error);
    }
    FileHandle openedAs(const FileInfo& info) override {
        std::string ignored;
        return fails("openedAs", ignored) ? vrim::files::kNoFile : real_.openedAs(info);
    }
    bool othersWriting(const vrim::files::FileInfo& info) override {
        std::string ignored;
        return fails("othersWriting", ignored) ? false : real_.othersWriting(info);
    }
    FileHandle openRead(const std::string& path, std::string& error) override {
        return fails("openRead", error) ? vrim::files::kNoFile : real_.openRead(path, error);
    }
    bool seek(FileHandle file, uint64_t offset, std::string& error) override {
        return fails("seek", error) ? false : real_.seek(file, offset, error);
    }
    int64_t read(FileHandle file, char* buffer, std::size_t size, std::string& error) override {
        return fails("read", error) ? -1 : real_.read(file, buffer, size, error);
    }
    int64_t readInPlace(FileHandle file, const char*& data, char* buffer, std::size_t size,
                        std::string& error) override {
        return fails("readInPlace", error) ? -1
                                           : real_.readInPlace(file, data, buffer, size, error);
    }
    FileHandle createUnnamed(const std::string& folder, std::string& error) override {
        return fails("createUnnamed", error) ? vrim::files::kNoFile
                                             : real_.createUnnamed(folder, error);
    }
    bool nameFile(FileHandle file, const std::string& path, std::string& error) override {
        return fails("nameFile", error) ? false : real_.nameFile(file, path, error);
    }
    FileHandle createNew(const std::string& path, std::string& error) override {
        return fails("createNew", error) ? vrim::files::kNoFile : real_.createNew(path, error);
    }
    FileHandle openExisting(const std::string& path, std::string& error) override {
        return fails("openExisting", error) ? vrim::files::kNoFile
                                            : real_.openExisting(path, error);
    }
    bool write(FileHandle file, const char* data, std::size_t size, std::string& error) override {
        return fails("write", error) ? false : real_.write(file, data, size, error);
    }
    bool sync(FileHandle file, std::string& error) override {
        return fails("sync", error) ? false : real_.sync(file, error);
    }
    // Advice only: a failure is one the caller cannot see, so the call is
    // counted (and its hook run) and passed on.
    void startFlush(FileHandle file) override {
        std::string ignored;
        if (!fails("startFlush", ignored)) {
            real_.startFlush(file);
        }
    }
    void beginSync(FileHandle file) override {
        std::string ignored;
        if (!fails("beginSync", ignored)) {
            real_.beginSync(file);
        }
    }
    bool close(FileHandle file, std::string& error) override {
        // A failed close has still released the file, as on POSIX.
        if (fails("close", error)) {
            std::string ignored;
            real_.close(file, ignored);
            return false;
        }
        return real_.close(file, error);
    }
    bool setMode(const std::string& path, uint32_t mode, std::string& error) override {
        return fails("setMode", error) ? false : real_.setMode(path, mode, error);
    }
    bool setOwner(const std::string& path, uint32_t owner, uint32_t group,
                  std::string& error) override {
        return fails("setOwner", error) ? false : real_.setOwner(path, owner, group, error);
    }
    bool copyAttributes(const std::string& from, const std::string& to,
                        std::string& error) override {
        return fails("copyAttributes", error) ? false : real_.copyAttributes(from, to, error);
    }
    std::size_t nameLimit(const std::string& folder) override { return real_.nameLimit(folder); }
    bool rename(const std::string& from, const std::string& to, bool replace,
                std::string& error) override {
        return fails("rename", error) ? false : real_.rename(from, to, replace, error);
    }
    bool remove(const std::string& path, std::string& error) override {
        return fails("remove", error) ? false : real_.remove(path, error);
    }
    bool resolve(const std::string& path, std::string& place, std::string& error) override {
        return fails("resolve", error) ? false : real_.resolve(path, place, error);
    }
    bool listFolder(const std::string& folder, std::vector<vrim::files::FolderEntry>& entries,
                    std::string& error) override {
        return fails("listFolder", error) ? false : real_.listFolder(folder, entries, error);
    }
    bool syncFolder(const std::string& folder, std::string& error) override {
        return fails("syncFolder", error) ? false : real_.syncFolder(folder, error);
    }

  private:
    vrim::files::FileSystem& real_ = vrim::files::systemFileSystem();
    bool fails(const char* call, std::string& error) {
        if (before) {
            before(call);
        }
        if (++calls == failAt) {
            failed = call;
            error = std::string("injected failure of ") + call;
            return true;
        }
        return false;
    }
};

} // namespace testsupport
