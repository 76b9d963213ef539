#include "tools/vrim/scene/reader_paths.h"

#include "tools/vrim/module/session.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

namespace vrim::scene {

namespace {

namespace fs = std::filesystem;

bool isSceneFile(const fs::path& path) {
    std::string extension = path.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension == ".lws";
}

void addFolder(const std::string& folder, bool recursive, std::vector<std::string>& files) {
    std::vector<std::string> found;
    std::error_code error;
    auto take = [&](const fs::directory_entry& entry) {
        std::error_code ignored;
        if (entry.is_regular_file(ignored) && isSceneFile(entry.path())) {
            found.push_back(entry.path().generic_string());
        }
    };
    if (recursive) {
        for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end;
             it.increment(error)) {
            take(*it);
        }
    } else {
        for (fs::directory_iterator it(folder, error), end; !error && it != end;
             it.increment(error)) {
            take(*it);
        }
    }
    if (error) {
        throw ToolError("cannot read folder '" + folder + "': " + error.message());
    }
    std::sort(found.begin(), found.end());
    files.insert(files.end(), found.begin(), found.end());
}

} // namespace

std::vector<std::string> sceneFiles(const std::vector<std::string>& paths, bool recursive) {
    std::vector<std::string> files;
    for (const std::string& path : paths) {
        std::error_code ignored;
        if (path != "-" && fs::is_directory(path, ignored)) {
            addFolder(path, recursive, files);
        } else {
            files.push_back(path);
        }
    }
    return files;
}

} // namespace vrim::scene
