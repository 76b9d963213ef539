// vrim: preview, plot, bake and check shake keys without the host, by driving
// the built module through the stand-in host.
#include "tools/vrim/commands.h"
#include "tools/vrim/session.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <vector>

int main(int argc, char** argv) {
    CLI::App tool("Preview, plot, bake and check the shake keys of VRIM_S without the host.",
                  "vrim");
    tool.set_version_flag("--version", "vrim " VRIM_VERSION);
    tool.require_subcommand(1);
    tool.footer("Run 'vrim COMMAND --help' for a command's options.");

    const std::vector<vrim::Command> commands = {
        vrim::addPreviewCommand(tool),
        vrim::addBakeCommand(tool),
        vrim::addCheckCommand(tool),
        vrim::addShowCommand(tool),
    };

    try {
        tool.parse(argc, argv);
    } catch (const CLI::Success& e) {
        return tool.exit(e); // --help and --version
    } catch (const CLI::ParseError& e) {
        std::fprintf(stderr, "vrim: %s\n", e.what());
        return vrim::kExitError;
    }

    try {
        for (const vrim::Command& command : commands) {
            if (command.app->parsed()) {
                return command.run();
            }
        }
    } catch (const vrim::ToolError& e) {
        std::fflush(stdout);
        std::fprintf(stderr, "vrim: %s\n", e.what());
        return vrim::kExitError;
    }
    return vrim::kExitError;
}
