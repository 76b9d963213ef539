// The tool's one error: bad input or an unusable module, told in one line
// for standard error. Every folder of the tool throws it; main prints it.
#pragma once

#include <stdexcept>

namespace vrim {

struct ToolError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

} // namespace vrim
