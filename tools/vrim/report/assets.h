// The review page's own style sheet and player script, written into every
// page so that it needs no other file.
#pragma once

namespace vrim::report {

extern const char* const kPageStyle;
extern const char* const kPlayerScript;

} // namespace vrim::report
