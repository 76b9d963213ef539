// The scene as the terminal editor's session read it, without a copy: the
// session holds the file open, so the version it read stays at hand when
// someone replaces the scene meanwhile (every careful writer, vrim included,
// writes a new file and renames it over the old one), and a stamp of every
// byte tells whether the scene on disk is still that version. A scene of any
// size costs one open file, and a stopped run leaves nothing behind.
#pragma once

#include "tools/vrim/files/filesystem.h"
#include "tools/vrim/files/replace_file.h"

#include <string>

namespace vrim::edit {

class SceneSnapshot {
  public:
    explicit SceneSnapshot(files::FileSystem& fs) : fs_(fs) {}
    ~SceneSnapshot() { release(); }
    SceneSnapshot(const SceneSnapshot&) = delete;
    SceneSnapshot& operator=(const SceneSnapshot&) = delete;

    // Opens path and stamps what it holds; throws ToolError when it cannot.
    void take(const std::string& path);
    const files::FileStamp& stamp() const { return stamp_; }

    // Empty when the scene at path is still the version taken; else what changed.
    std::string changedSince() const;

    // Writes the version taken to target, a file that must not exist, through
    // the tool's one writer. Refused (ToolError, nothing left at target) when
    // that version is no longer to be had: changed in place by another program.
    void copyTo(const std::string& target);

  private:
    files::FileSystem& fs_;
    std::string path_;
    files::FileHandle held_ = files::kNoFile; // unread: the version taken, from its start
    files::FileStamp stamp_;
    void release();
    files::FileHandle versionTaken(std::string& error);
};

} // namespace vrim::edit
