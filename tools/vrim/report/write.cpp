#include "tools/vrim/report/write.h"

#include "tools/vrim/module/session.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace vrim::report {

namespace {

bool flushToDisk(std::FILE* file) {
    if (std::fflush(file) != 0) {
        return false;
    }
#ifdef _WIN32
    return _commit(_fileno(file)) == 0;
#else
    return fsync(fileno(file)) == 0;
#endif
}

bool replace(const std::string& from, const std::string& to) {
#ifdef _WIN32
    if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return true;
    }
    errno = EACCES; // the system's own code is not an errno
    return false;
#else
    return std::rename(from.c_str(), to.c_str()) == 0;
#endif
}

} // namespace

void writeFile(const std::string& path, const std::string& bytes) {
    const std::string temporary = path + ".vrim-tmp";
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    if (file == nullptr) {
        throw ToolError("cannot write '" + path + "': " + std::strerror(errno));
    }
    bool good = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    int error = errno;
    if (good) {
        good = flushToDisk(file);
        error = errno;
    }
    if (std::fclose(file) != 0 && good) {
        good = false;
        error = errno;
    }
    if (good && !replace(temporary, path)) {
        good = false;
        error = errno;
    }
    if (!good) {
        std::remove(temporary.c_str());
        throw ToolError("cannot write '" + path + "': " + std::strerror(error));
    }
}

} // namespace vrim::report
