// What --dry-run shows: the change to a scene file as a unified diff, block
// by block, with the file's own line numbers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vrim::edit {

// The "--- PATH" and "+++ PATH" lines that open one file's diff (patch -p0).
std::string diffHeader(const std::string& path);

// The hunks that turn oldLines into newLines, where oldLines begin at line
// oldFirst of the old file and newLines at newFirst of the new one; up to
// three unchanged lines of context, from the block itself. Empty when the
// lines are equal.
std::string diffHunks(const std::vector<std::string>& oldLines,
                      const std::vector<std::string>& newLines, uint64_t oldFirst,
                      uint64_t newFirst);

} // namespace vrim::edit
