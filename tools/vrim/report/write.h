// Writing a whole file without ever leaving a half-written one: a new file
// beside it, flushed to disk, then renamed over it.
#pragma once

#include <string>

namespace vrim::report {

// Throws ToolError naming the file when any step fails; the file at path is
// then as it was, and no temporary file is left behind.
void writeFile(const std::string& path, const std::string& bytes);

} // namespace vrim::report
