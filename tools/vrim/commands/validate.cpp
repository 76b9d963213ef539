// vrim validate: the command; the checks and their run are in validate/.
#include "tools/vrim/validate/validate.h"
#include "tools/vrim/commands/commands.h"
#include "tools/vrim/module/session.h"

#include <CLI/CLI.hpp>

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace vrim {

namespace {

// A whole number from low to high, in the words the tool's other options
// use: a seed of -1 is refused rather than read as the largest seed, and a
// bad one is named without CLI11's "Could not convert".
CLI::Validator wholeNumber(uint64_t low, uint64_t high) {
    const std::string range = "from " + std::to_string(low) + " to " + std::to_string(high);
    return CLI::Validator(
        [low, high, range](std::string& text) -> std::string {
            uint64_t value = 0;
            const char* end = text.data() + text.size();
            const auto [stop, error] = std::from_chars(text.data(), end, value);
            if (text.empty() || error != std::errc() || stop != end || value < low ||
                value > high) {
                return "must be a whole number " + range + ", not '" + text + "'";
            }
            return "";
        },
        "");
}

} // namespace

Command addValidateCommand(CLI::App& tool) {
    auto options = std::make_shared<validate::Options>();
    CLI::App* command = tool.add_subcommand(
        "validate", "Load a module file as a host does and judge it pass or fail, check by check");
    command->add_option("module", options->modulePath,
                        "The module file (default: the one 'vrim --version' names)");
    auto* seed = command
                     ->add_option("--seed", options->seed,
                                  "Replay the random checks of an earlier run with its seed")
                     ->type_name("N")
                     ->check(wholeNumber(0, UINT64_MAX));
    command->add_option("--level", options->level, "How hard to hammer, 1 to 5 (default 3)")
        ->type_name("N")
        ->check(wholeNumber(1, 5));
    command->footer("Prints one line per check and a summary; exits with 1 when a check fails.\n"
                    "Example: vrim validate build/win32/bin/vrim_s.p --level 5");
    return {command, [options, seed] {
                if (options->modulePath.empty()) {
                    options->modulePath = defaultModulePath();
                }
                if (seed->count() == 0) {
                    options->seed = validate::freshSeed();
                }
                return validate::run(*options, stdout) == 0 ? kExitClean : validate::kExitFailed;
            }};
}

} // namespace vrim
