// The library's diff: the document `vrim diff --json` prints, built whole
// for a caller that takes it as one value (the Python module's vrim.diff).
#pragma once

#include "tools/vrim/module/session.h"

#include <string>

namespace vrim::library {

// Two scenes or two folders compared in the caller's session (the host's
// lock held). A scene that cannot be compared is the "error" of its entry,
// as in the command's document; two paths that are not two scenes or two
// folders throw ToolError.
std::string diffDocument(Session& session, const std::string& oldPath, const std::string& newPath,
                         double tolerance, bool recursive);

} // namespace vrim::library
