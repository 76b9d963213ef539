// vrim validate: the command; the checks and their run are in validate/.
#include "tools/vrim/validate/validate.h"
#include "tools/vrim/commands/commands.h"
#include "tools/vrim/commands/machine.h"
#include "tools/vrim/commands/options.h"
#include "tools/vrim/module/session.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace vrim {

namespace {

// The run as one document at the end: each check with its outcome and
// message. The seed is a string, as readers that hold numbers as doubles
// would round a 64-bit seed and replay another run.
class JsonWriter : public validate::RunWriter {
  public:
    void checked(const validate::RunReport&) override {}
    void finished(const validate::RunReport& run) override {
        std::printf("%s\n", jsonText(document(run)).c_str());
    }
    std::string crashed(const validate::RunReport& run, std::size_t) override {
        return jsonText(document(run)) + "\n";
    }

  private:
    static nlohmann::json document(const validate::RunReport& run) {
        using nlohmann::json;
        json checks = json::array();
        for (const validate::CheckReport& check : run.checks) {
            checks.push_back({{"number", check.number},
                              {"name", check.name},
                              {"outcome", validate::outcomeName(check.outcome)},
                              {"message", check.message},
                              {"randomised", check.randomised}});
        }
        const int failed = run.count(validate::Outcome::Failed);
        json value = jsonDocument("validate");
        value["module"] = run.options.modulePath;
        value["level"] = run.options.level;
        value["seed"] = std::to_string(run.options.seed);
        value["checks"] = checks;
        value["passed"] = run.count(validate::Outcome::Passed);
        value["failed"] = failed;
        value["notRun"] = run.count(validate::Outcome::NotRun);
        value["status"] = failed == 0 ? kExitClean : validate::kExitFailed;
        return value;
    }
};

} // namespace

Command addValidateCommand(CLI::App& tool) {
    auto options = std::make_shared<validate::Options>();
    CLI::App* command = tool.add_subcommand(
        "validate", "Load a module file as a host does and judge it pass or fail, check by check");
    command
        ->add_option("MODULE", options->modulePath,
                     "The module file (default: the one 'vrim --version' names)")
        ->type_name("FILE");
    auto* seed = command
                     ->add_option("--seed", options->seed,
                                  "Replay the random checks of an earlier run with its seed")
                     ->type_name("N")
                     ->check(wholeNumber(0, UINT64_MAX));
    command->add_option("--level", options->level, "How hard to hammer, 1 to 5 (default 3)")
        ->type_name("N")
        ->check(wholeNumber(1, 5));
    auto json = std::make_shared<bool>(false);
    command->add_flag("--json", *json,
                      "Write the run as one JSON document: each check with its outcome (passed, "
                      "failed or not run) and message");
    command->footer("Prints one line per check and a summary; exits with 1 when a check fails, "
                    "and with 2 when the file is no module at all.\n"
                    "Example: vrim validate build/win32/bin/vrim_s.p --level 5");
    return {command, [options, seed, json] {
                if (options->modulePath.empty()) {
                    options->modulePath = defaultModulePath();
                }
                if (seed->count() == 0) {
                    options->seed = validate::freshSeed();
                }
                JsonWriter machine;
                const std::unique_ptr<validate::RunWriter> people = validate::textWriter(stdout);
                validate::RunWriter& writer = *json ? machine : *people;
                return validate::run(*options, writer) == 0 ? kExitClean : validate::kExitFailed;
            }};
}

} // namespace vrim
