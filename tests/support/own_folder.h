// Folders of one test process's own under the working folder, NAME-PID: test
// programs that CTest runs side by side (ctest -j) never share one, so one
// cannot empty the folder another is working in. They are removed when the
// process ends with every test passed, and kept for a look otherwise.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <process.h>
#else
#include <unistd.h>
#endif

namespace testsupport {

namespace detail {

inline std::vector<std::string>& ownFolders() {
    static std::vector<std::string> folders;
    return folders;
}

inline void removeOwnFolders() {
    if (!::testing::UnitTest::GetInstance()->Passed()) {
        return;
    }
    for (const std::string& folder : ownFolders()) {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
}

} // namespace detail

// The name of this process's own folder for name, relative to the working
// folder; nothing is made.
inline std::string ownName(const std::string& name) {
#if defined(_WIN32)
    const std::string own = name + "-" + std::to_string(_getpid());
#else
    const std::string own = name + "-" + std::to_string(getpid());
#endif
    std::vector<std::string>& folders = detail::ownFolders();
    if (std::find(folders.begin(), folders.end(), own) == folders.end()) {
        if (folders.empty()) {
            // Made first, so that it is still there when the handler runs.
            ::testing::UnitTest::GetInstance();
            std::atexit(detail::removeOwnFolders);
        }
        folders.push_back(own);
    }
    return own;
}

// This process's own folder for name, empty, under the working folder.
inline std::filesystem::path ownFolder(const std::string& name) {
    const std::filesystem::path folder = std::filesystem::current_path() / ownName(name);
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    return folder;
}

} // namespace testsupport
