// The plug-in's identity in the host: the name both of its servers go by.
// The module's server table is built from it, and whoever drives the module
// through the stand-in host (tests, tools, benchmarks) passes it in.
#pragma once

namespace vrim {

constexpr const char* kServerName = "VRIM_S";

} // namespace vrim
