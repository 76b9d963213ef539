// vrim: preview, bake, check, show, list, edit and report on shake keys
// without the host, and validate a module build, by driving the module
// through the stand-in host.
#include "text/names.h"
#include "tools/vrim/commands/commands.h"
#include "tools/vrim/commands/machine.h"
#include "tools/vrim/commands/options.h"
#include "tools/vrim/commands/output.h"
#include "tools/vrim/edit/key_actions.h"
#include "tools/vrim/files/paths.h"
#include "tools/vrim/module/session.h"
#include "tools/vrim/scene/motion.h"
#include "tools/vrim/scene/scene.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace {

// What the tool reads and writes at most, said below the tool's help.
std::string limitsText() {
    return "Limits. A scene file is read as a stream: a line of " +
           std::to_string(vrim::scene::kMaxLineBytes / (1024 * 1024)) + " MB, a key block of " +
           std::to_string(vrim::scene::kMaxBlockBytes / (1024 * 1024)) + " MB or " +
           std::to_string(vrim::scene::kMaxBlockLines) + " lines, an item name of " +
           std::to_string(vrim::scene::kMaxNameBytes) +
           " bytes at most; past one, the file is an error at that line that names the limit. A "
           "scene may hold any number of items; past its first " +
           std::to_string(vrim::scene::kMaxDistinctNames) +
           " names a new name's blocks are addressed NAME@N, as ls lists them. A panel script "
           "holds at most " +
           std::to_string(vrim::edit::kMaxScriptBytes / (1024 * 1024)) +
           " MB, and a preview or bake at most " + std::to_string(vrim::kMaxSamples) + " samples.";
}

// The tool's own flags and rules, before its commands are added.
void describeTool(CLI::App& tool) {
    // The version, and which module file the commands would drive.
    tool.set_version_flag(
        "--version", [] { return std::string("vrim " VRIM_VERSION "\n") + vrim::moduleLine(); },
        "Show the version and the module file the commands drive, then exit");
    tool.require_subcommand(1);
    // A switch takes no value: "--json=0" is refused, not read as "no JSON".
    // Set first: commands and options copy the defaults when they are added.
    tool.option_defaults()->disable_flag_override();
    // Windows-style "/option"s would take a Unix absolute path (a scene under
    // Wine, /tmp/shot.lws) for an option; the tool's options are all "--".
    // The commands inherit this from the tool.
    tool.allow_windows_style_options(false);
    tool.footer("Run 'vrim COMMAND --help' for a command's options.\n" + limitsText());
}

// How scene files spell names: one decoding for every command and every
// output, and for matching --item. Given before or after the command.
void addEncodingOption(CLI::App& tool, std::string& encoding) {
    tool.add_option("--encoding", encoding,
                    "How names in scene files are read: auto (UTF-8 when a name is valid "
                    "UTF-8, else Windows-1252), utf-8 or windows-1252")
        ->default_str("auto")
        ->type_name("ENCODING")
        ->check(CLI::Validator(
            [](std::string& text) -> std::string {
                return ::text::parseEncoding(text)
                           ? ""
                           : "must be auto, utf-8 or windows-1252, not '" + text + "'";
            },
            ""));
    tool.fallthrough();
}

// Reads the command line; the exit status when the run ends there (help,
// version or a refusal, said in the tool's words on one line).
std::optional<int> parseArguments(CLI::App& tool, std::vector<const char*>& argumentText) {
    tool.failure_message(vrim::parseProblem);
    if (const std::string empty = vrim::emptyValueProblem(argumentText); !empty.empty()) {
        std::fprintf(stderr, "vrim: %s\n", vrim::terminalText(empty).c_str());
        return vrim::kExitError;
    }
    try {
        tool.parse(static_cast<int>(argumentText.size()), argumentText.data());
    } catch (const CLI::CallForHelp& e) {
        // "vrim plot --help": the tool's help would answer as if plot were a
        // command.
        if (const std::string unknown = vrim::unknownCommand(tool); !unknown.empty()) {
            std::fprintf(stderr, "vrim: %s\n", vrim::terminalText(unknown).c_str());
            return vrim::kExitError;
        }
        return tool.exit(e);
    } catch (const CLI::Success& e) {
        return tool.exit(e); // --help-all and --version
    } catch (const CLI::ParseError& e) {
        std::ostringstream problem;
        tool.exit(e, std::cout, problem);
        std::fprintf(stderr, "vrim: %s\n", vrim::terminalText(problem.str()).c_str());
        return vrim::kExitError;
    }
    return std::nullopt;
}

// Runs the command the line named.
int runCommand(const std::vector<vrim::Command>& commands) {
    try {
        for (const vrim::Command& command : commands) {
            if (command.app->parsed()) {
                const int status = command.run();
                vrim::finishStandardOutput(); // a lost write is an error, whatever the command
                                              // found
                return status;
            }
        }
    } catch (const vrim::ToolError& e) {
        std::fflush(stdout);
        std::fprintf(stderr, "vrim: %s\n", vrim::terminalText(e.what()).c_str());
        return vrim::kExitError;
    }
    return vrim::kExitError;
}

} // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
    // One line end, LF, from every command, on the console, through pipes and
    // as in the files it writes: in text mode the C library would make each
    // LF a CR LF on some paths to standard output and not on others.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
#endif
    // The arguments in UTF-8, the tool's spelling of names and paths.
    const std::vector<std::string> arguments = vrim::files::commandArguments(argc, argv);
    std::vector<const char*> argumentText;
    for (const std::string& argument : arguments) {
        argumentText.push_back(argument.c_str());
    }

    CLI::App tool("Preview, plot, bake, check, show, list, edit and report the shake keys of "
                  "VRIM_S without the host, and validate a module build.",
                  "vrim");
    describeTool(tool);
    std::string encoding = "auto";
    addEncodingOption(tool, encoding);
    const std::vector<vrim::Command> commands = {
        vrim::addPreviewCommand(tool), vrim::addBakeCommand(tool),   vrim::addCheckCommand(tool),
        vrim::addShowCommand(tool),    vrim::addLsCommand(tool),     vrim::addValidateCommand(tool),
        vrim::addEditCommand(tool),    vrim::addReportCommand(tool), vrim::addDiffCommand(tool),
    };
    if (const std::optional<int> status = parseArguments(tool, argumentText)) {
        return *status;
    }
    vrim::scene::setNameEncoding(*::text::parseEncoding(encoding));
    return runCommand(commands);
}
