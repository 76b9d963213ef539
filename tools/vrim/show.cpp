// vrim show: each block's keys as the key editor lists them.
#include "tools/vrim/commands.h"

#include <CLI/CLI.hpp>

namespace vrim {

Command addShowCommand(CLI::App& tool) {
    CLI::App* command = tool.add_subcommand("show", "List the keys of each key block");
    return {command, [] { return kExitError; }};
}

} // namespace vrim
