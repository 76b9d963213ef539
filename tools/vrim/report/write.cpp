#include "tools/vrim/report/write.h"

#include "tools/vrim/edit/replace_file.h"
#include "tools/vrim/error.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace vrim::report {

namespace {

// The mode the page keeps: the old file's, else what a new file gets here.
uint32_t pageMode(edit::FileSystem& fs, const std::string& path) {
    edit::FileInfo info;
    std::string ignored;
    if (fs.stat(path, info, ignored) && info.regular) {
        return info.mode;
    }
#ifdef _WIN32
    return 0; // no attribute set
#else
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666u & ~static_cast<uint32_t>(mask);
#endif
}

} // namespace

void writeFile(const std::string& path, const std::vector<std::string_view>& pieces) {
    edit::FileSystem& fs = edit::systemFileSystem();
    edit::FileReplacement page(fs, path);
    std::string error;
    // The replacement removes its temporary file when any step fails.
    bool written = page.open(error);
    for (auto piece = pieces.begin(); written && piece != pieces.end(); ++piece) {
        written = page.write(piece->data(), piece->size(), error);
    }
    if (!written || !page.finish(pageMode(fs, path), error) || !page.commit(true, error)) {
        throw ToolError("cannot write '" + path + "': " + error);
    }
}

} // namespace vrim::report
