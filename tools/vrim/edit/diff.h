// What --dry-run shows: the change to a scene file as a unified diff, block
// by block, with the file's own line numbers, that `patch -p0` and
// `git apply` both apply to the file as it is.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vrim::edit {

// The "--- PATH" and "+++ PATH" lines that open one file's diff. A relative
// path is led by "./", which `patch -p0` reads as the path itself and
// `git apply` strips as its one leading component; a name with blanks,
// quotes, backslashes or control characters is written in C quotes, as
// both read it.
std::string diffHeader(const std::string& path);

// The hunks that turn oldBytes into newBytes, where oldBytes begin at line
// oldFirst of the old file and newBytes at newFirst of the new one; up to
// three unchanged lines of context, from the block itself. Each line keeps
// its line end byte for byte (a CR before the LF included), since both
// tools compare lines with their ends; a last line without an end is
// followed by "\ No newline at end of file". Empty when the bytes are equal.
std::string diffHunks(std::string_view oldBytes, std::string_view newBytes, uint64_t oldFirst,
                      uint64_t newFirst);

} // namespace vrim::edit
