#include "tools/vrim/files/lock.h"

#define XXH_INLINE_ALL
#include <xxhash.h>

#include <cstdio>
#include <ctime>
#include <map>
#include <sstream>

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <csignal>
#include <unistd.h>
#endif

namespace vrim::files {

namespace {

std::string baseName(const std::string& path) {
    return path.substr(folderOf(path).size());
}

// Reads a small file through fs (a lock, a process's status); empty when it
// cannot.
std::string smallFile(FileSystem& fs, const std::string& path) {
    std::string error;
    const FileHandle file = fs.openRead(path, error);
    if (file == kNoFile) {
        return {};
    }
    std::string text;
    char buffer[4096];
    for (int64_t got;
         text.size() < 65536 && (got = fs.read(file, buffer, sizeof buffer, error)) > 0;) {
        text.append(buffer, static_cast<std::size_t>(got));
    }
    fs.close(file, error);
    return text;
}

std::string hostName() {
#ifdef _WIN32
    char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = sizeof name;
    return GetComputerNameA(name, &size) ? std::string(name, size) : std::string();
#else
    char name[256] = {};
    return ::gethostname(name, sizeof name - 1) == 0 ? std::string(name) : std::string();
#endif
}

long processId() {
#ifdef _WIN32
    return static_cast<long>(GetCurrentProcessId());
#else
    return static_cast<long>(::getpid());
#endif
}

// The process's start in clock ticks since boot (Linux); empty elsewhere or
// when the process is gone.
std::string processStart(FileSystem& fs, long pid) {
#ifdef __linux__
    const std::string stat = smallFile(fs, "/proc/" + std::to_string(pid) + "/stat");
    // The command name may hold spaces and brackets; the fields follow its
    // last ')'. The start is the 20th field after it.
    const std::size_t close = stat.rfind(')');
    if (close == std::string::npos) {
        return {};
    }
    std::istringstream fields(stat.substr(close + 1));
    std::string field;
    for (int i = 0; i < 20 && fields >> field; ++i) {
    }
    return fields ? field : std::string();
#else
    (void)fs;
    (void)pid;
    return {};
#endif
}

std::string utcNow() {
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
#ifdef _WIN32
    gmtime_s(&parts, &now);
#else
    gmtime_r(&now, &parts);
#endif
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &parts);
    return text;
}

std::map<std::string, std::string> lockFields(const std::string& text) {
    std::map<std::string, std::string> fields;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        const std::size_t space = line.find(' ');
        if (space != std::string::npos) {
            fields[line.substr(0, space)] = line.substr(space + 1);
        }
    }
    return fields;
}

// Whether the lock's holder is gone from this host for certain.
bool holderGone(FileSystem& fs, const std::map<std::string, std::string>& holder) {
#ifdef _WIN32
    (void)fs;
    (void)holder;
    return false;
#else
    const auto pid = holder.find("pid"), host = holder.find("host");
    if (pid == holder.end() || host == holder.end() || host->second != hostName()) {
        return false;
    }
    const long number = std::strtol(pid->second.c_str(), nullptr, 10);
    if (number <= 0) {
        return false;
    }
    if (::kill(static_cast<pid_t>(number), 0) != 0 && errno == ESRCH) {
        return true;
    }
    // A process that runs under the same number since a later start is
    // another one.
    const auto start = holder.find("start");
    const std::string now = processStart(fs, number);
    return start != holder.end() && !now.empty() && now != start->second;
#endif
}

} // namespace

std::string besideName(FileSystem& fs, const std::string& file, const std::string& suffix) {
    const std::string folder = folderOf(file);
    const std::string name = baseName(file);
    const std::size_t limit = fs.nameLimit(folder);
    if (name.size() + suffix.size() <= limit) {
        return file + suffix;
    }
    char hash[20];
    std::snprintf(hash, sizeof hash, "~%016llx",
                  static_cast<unsigned long long>(XXH3_64bits(name.data(), name.size())));
    const std::size_t tail = std::string(hash).size() + suffix.size();
    std::size_t keep = limit > tail ? limit - tail : 0;
    // Never half a UTF-8 character: the name stays text.
    while (keep > 0 && (static_cast<unsigned char>(name[keep]) & 0xC0) == 0x80) {
        --keep;
    }
    return folder + name.substr(0, keep) + hash + suffix;
}

std::string lockPath(FileSystem& fs, const std::string& file) {
    return besideName(fs, file, ".lock");
}

std::string lockPath(const std::string& file) {
    return lockPath(systemFileSystem(), file);
}

std::string lockText(FileSystem& fs) {
    static const std::string start = processStart(fs, processId());
    return "vrim lock\npid " + std::to_string(processId()) + "\nhost " + hostName() + "\nsince " +
           utcNow() + (start.empty() ? "" : "\nstart " + start) + "\n";
}

std::string lockedMessage(FileSystem& fs, const std::string& file, const std::string& lock) {
    const auto holder = lockFields(smallFile(fs, lock));
    const auto field = [&](const char* key) {
        const auto found = holder.find(key);
        return found == holder.end() ? std::string("?") : found->second;
    };
    if (holder.count("pid") == 0) {
        return "'" + lock + "' exists: another vrim is writing '" + file +
               "' (or one was stopped before it could clean up); if no vrim is running on it, "
               "remove '" +
               lock + "' and run again";
    }
    const std::string who =
        "vrim process " + field("pid") + " on " + field("host") + " (since " + field("since") + ")";
    if (holderGone(fs, holder)) {
        return "'" + lock + "' is stale: " + who +
               " held it and is gone without cleaning up; to take the file over, remove '" + lock +
               "' and run again";
    }
    return "'" + lock + "' exists: " + who + " is writing '" + file +
           "'; wait for it to finish (if that process is not a vrim writing this file, remove '" +
           lock + "' and run again)";
}

std::string lockedMessage(const std::string& file) {
    FileSystem& fs = systemFileSystem();
    return lockedMessage(fs, file, lockPath(fs, file));
}

} // namespace vrim::files
