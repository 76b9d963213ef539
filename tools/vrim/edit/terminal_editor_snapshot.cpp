#include "tools/vrim/edit/terminal_editor_snapshot.h"

#include "tools/vrim/error.h"

#include <memory>

namespace vrim::edit {

namespace {
constexpr std::size_t kChunk = std::size_t{1} << 16;
}

void SceneSnapshot::take(const std::string& path) {
    release();
    std::string error;
    // Opened before it is stamped: a version that replaces it in between
    // shows as a stamp that the held file does not match when it is copied.
    held_ = fs_.openRead(path, error);
    if (held_ == files::kNoFile || !files::stampFile(fs_, path, stamp_, error)) {
        release();
        throw ToolError("'" + path + "': " + (error.empty() ? "no such file" : error));
    }
    path_ = path;
}

std::string SceneSnapshot::changedSince() const {
    std::string why;
    return files::unchangedSince(fs_, path_, stamp_, why) ? std::string() : why;
}

// The held file when it is still unread, else the scene opened again (still
// the version taken when the session's stamp says so; copyTo checks).
files::FileHandle SceneSnapshot::versionTaken(std::string& error) {
    if (held_ != files::kNoFile) {
        const files::FileHandle file = held_;
        held_ = files::kNoFile;
        return file;
    }
    return fs_.openRead(path_, error);
}

void SceneSnapshot::copyTo(const std::string& target) {
    std::string error;
    files::FileWriter out(fs_, target);
    if (!out.open(error, false)) {
        throw ToolError("'" + target + "': cannot create it: " + error);
    }
    const files::FileHandle in = versionTaken(error);
    bool ok = in != files::kNoFile;
    files::ContentHash hash;
    const auto buffer = std::make_unique_for_overwrite<char[]>(kChunk);
    while (ok) {
        const int64_t got = fs_.read(in, buffer.get(), kChunk, error);
        if (got <= 0) {
            ok = got == 0;
            break;
        }
        hash.add(buffer.get(), static_cast<std::size_t>(got));
        ok = out.write(buffer.get(), static_cast<std::size_t>(got), error);
    }
    std::string ignored;
    if (in != files::kNoFile) {
        fs_.close(in, ignored);
    }
    if (ok && hash.value() != stamp_.hash) {
        // out's destructor removes the new file.
        throw ToolError("'" + path_ +
                        "' was changed where it lies since the session read it, "
                        "so the scene as read is gone; nothing was written to '" +
                        target + "'");
    }
    if (!ok || !out.finish(error)) {
        throw ToolError("'" + target + "': cannot write it: " + error);
    }
}

void SceneSnapshot::release() {
    if (held_ != files::kNoFile) {
        std::string ignored;
        fs_.close(held_, ignored);
        held_ = files::kNoFile;
    }
}

} // namespace vrim::edit
