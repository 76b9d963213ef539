// Writing a whole file without ever leaving a half-written one: a new file
// beside it, flushed to disk, then renamed over it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vrim::report {

// Writes the pieces one after another as the file's bytes. Throws ToolError
// naming the file when any step fails; the file at path is then as it was,
// and no temporary file is left behind.
void writeFile(const std::string& path, const std::vector<std::string_view>& pieces);

} // namespace vrim::report
