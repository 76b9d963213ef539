// The names the writer puts beside a file (its lock, its backup, a kept old
// version) and what a lock says about its holder. A name always fits within
// the folder's name limit: the plain suffix where it fits, else a shortened
// form that still tells whose it is and cannot be another file's.
#pragma once

#include "tools/vrim/files/filesystem.h"

#include <string>

namespace vrim::files {

// file's name with suffix added, beside it: "shot.lws" + ".lock" gives
// "shot.lws.lock". Where that is longer than the folder allows, as much of
// the name as fits (whole characters), "~", 16 hex digits of a hash of the
// whole name, and the suffix.
std::string besideName(FileSystem& fs, const std::string& file, const std::string& suffix);

// The lock's name for a file.
std::string lockPath(FileSystem& fs, const std::string& file);
std::string lockPath(const std::string& file);

// What a lock holds: the process that holds it, its host, the time it took
// the lock and the process's start as the system counts it (which tells a
// process from a later one given the same number).
std::string lockText(FileSystem& fs);

// What a run refused by the lock at lock says: who holds it, or that the
// holder is gone from this host and the lock is stale, with how to take the
// file over.
std::string lockedMessage(FileSystem& fs, const std::string& file, const std::string& lock);
std::string lockedMessage(const std::string& file);

} // namespace vrim::files
