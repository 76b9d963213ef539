// The parser's refusals in the tool's words. CLI11 says what went wrong in
// its own terms ("At Most 1 required but received 2"); the error's kind and
// the option it names are enough to say it as the rest of the tool does,
// with what the option takes from its value name and its help line.
#include "tools/vrim/commands/options.h"

#include <CLI/CLI.hpp>

#include <cctype>
#include <string>
#include <vector>

namespace vrim {

namespace {

const CLI::App* parsedCommand(const CLI::App* tool) {
    const std::vector<CLI::App*> parsed = tool->get_subcommands();
    return parsed.empty() ? nullptr : parsed.front();
}

std::string commandNames(const CLI::App* tool) {
    std::string names;
    for (const CLI::App* command : tool->get_subcommands({})) {
        names += (names.empty() ? "" : ", ") + command->get_name();
    }
    return names;
}

std::string commandWords(const CLI::App* command) {
    return command == nullptr ? "vrim" : "vrim " + command->get_name();
}

// The names an error may call an option by: its name, and for a switch given
// a value also the bare names CLI11 uses then ("json was given ...").
std::vector<std::string> namesOf(const CLI::Option* option) {
    std::vector<std::string> names = {option->get_name()};
    if (option->get_items_expected_max() == 0) {
        for (const std::string& name : option->get_lnames()) {
            names.push_back(name);
        }
        for (const std::string& name : option->get_snames()) {
            names.push_back(name);
        }
    }
    return names;
}

// The option of the command (or the tool's, which the commands take too) whose
// name the error starts with; the longest such name, so that --item is not
// taken for --items.
const CLI::Option* namedOption(const CLI::App* tool, const CLI::App* command,
                               const std::string& message) {
    const CLI::Option* found = nullptr;
    std::size_t longest = 0;
    for (const CLI::App* app : {command, tool}) {
        if (app == nullptr) {
            continue;
        }
        for (const CLI::Option* option : app->get_options()) {
            for (const std::string& name : namesOf(option)) {
                if (name.size() > longest && message.compare(0, name.size(), name) == 0 &&
                    (message.size() == name.size() || message[name.size()] == ':' ||
                     message[name.size()] == ' ')) {
                    found = option;
                    longest = name.size();
                }
            }
        }
    }
    return found;
}

// "F: the scene's frames per second": the value's name and the help line,
// as the help shows them.
std::string whatItTakes(const CLI::Option* option) {
    std::string help = option->get_description();
    if (!help.empty()) {
        help[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(help[0])));
    }
    const std::string value =
        option->get_positional() ? option->get_name() : option->get_type_name();
    return help.empty() ? value : value + ": " + help;
}

std::string helpHint(const CLI::App* command) {
    return "('" + commandWords(command) + " --help' lists them)";
}

// Arguments no option took: an option the command lacks, a command the tool
// lacks, or a scene more than a command takes.
std::string extrasProblem(const CLI::App* tool, const CLI::App* command) {
    const std::vector<std::string> extras = tool->remaining(true);
    if (extras.empty()) {
        return "the command line is not understood " + helpHint(command);
    }
    const std::string& first = extras.front();
    if (command == nullptr) {
        if (first.size() > 1 && first[0] == '-') {
            return "vrim has no option " + first.substr(0, first.find('=')) +
                   "; give a command: " + commandNames(tool) + " ('vrim --help' says more)";
        }
        return "'" + first + "' is no command: the commands are " + commandNames(tool);
    }
    if (first.size() > 1 && first[0] == '-') {
        // "--frob=3" names --frob; CLI11 leaves "-=3" of "-r=3".
        const std::string name = first.find('=') > 1 ? first.substr(0, first.find('=')) : first;
        return commandWords(command) + " has no option " + name + " " + helpHint(command);
    }
    for (const CLI::Option* option : command->get_options()) {
        if (option->get_positional()) {
            return "'" + first + "' is one argument too many: " + commandWords(command) +
                   " takes one " + whatItTakes(option);
        }
    }
    return "'" + first + "' is one argument too many: " + commandWords(command) +
           " takes options only " + helpHint(command);
}

// Two options given together that exclude each other, as the command line
// holds them.
std::string excludesProblem(const CLI::App* command) {
    if (command != nullptr) {
        for (const CLI::Option* option : command->get_options()) {
            if (option->count() == 0) {
                continue;
            }
            for (const CLI::Option* other : option->get_excludes()) {
                if (other->count() != 0) {
                    return option->get_name() + " and " + other->get_name() +
                           " cannot be given together; give one of them";
                }
            }
        }
    }
    return "two options that exclude each other are given; give one of them";
}

std::string requiredProblem(const CLI::App* tool, const CLI::App* command) {
    if (command == nullptr) {
        return "give a command: " + commandNames(tool) + " ('vrim --help' says more)";
    }
    for (const CLI::Option* option : command->get_options()) {
        if (option->get_required() && option->count() == 0) {
            return commandWords(command) + " needs " + whatItTakes(option);
        }
    }
    return commandWords(command) + " needs more " + helpHint(command);
}

} // namespace

std::string parseProblem(const CLI::App* tool, const CLI::Error& error) {
    const CLI::App* command = parsedCommand(tool);
    // An argument nobody took is the likelier cause of a requirement unmet
    // ("vrim --frob ls" leaves ls without its scene), so it goes first.
    if (dynamic_cast<const CLI::ExtrasError*>(&error) != nullptr ||
        (dynamic_cast<const CLI::RequiredError*>(&error) != nullptr &&
         !tool->remaining(true).empty())) {
        return extrasProblem(tool, command);
    }
    if (dynamic_cast<const CLI::RequiredError*>(&error) != nullptr) {
        return requiredProblem(tool, command);
    }
    if (dynamic_cast<const CLI::ExcludesError*>(&error) != nullptr) {
        return excludesProblem(command);
    }
    const std::string message = error.what();
    const CLI::Option* option = namedOption(tool, command, message);
    if (option == nullptr) {
        return "the command line is not understood " + helpHint(command);
    }
    if (dynamic_cast<const CLI::ValidationError*>(&error) != nullptr) {
        // The tool's own validators said it: "--fps: must be a number above 0 ...".
        return message;
    }
    const std::string name = option->get_name();
    if (option->get_items_expected_max() == 0) {
        return name + " takes no value: it is a switch";
    }
    if (dynamic_cast<const CLI::ArgumentMismatch*>(&error) != nullptr) {
        if (static_cast<int>(option->count()) > option->get_items_expected_max()) {
            return name + " is given " + std::to_string(option->count()) + " times but takes one " +
                   whatItTakes(option);
        }
        return name + " needs a value, " + whatItTakes(option);
    }
    return name + " is not understood: it takes " + whatItTakes(option);
}

std::string unknownCommand(const CLI::App& tool) {
    if (parsedCommand(&tool) != nullptr) {
        return "";
    }
    for (const std::string& word : tool.remaining(true)) {
        if (!word.empty() && word[0] != '-') {
            return "'" + word + "' is no command: the commands are " + commandNames(&tool);
        }
    }
    return "";
}

} // namespace vrim

namespace vrim {

std::string emptyValueProblem(const std::vector<const char*>& arguments) {
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string_view word = arguments[i];
        if (word == "--") {
            break;
        }
        // The parser would take the next word as the value: "--item= a.lws"
        // would name an item "a.lws" and leave the command without a scene.
        if (word.size() > 3 && word.substr(0, 2) == "--" && word.back() == '=' &&
            word.find('=') == word.size() - 1) {
            return std::string(word) + " has an empty value: give the value after the '=' or " +
                   "as the next word";
        }
    }
    return "";
}

} // namespace vrim
