// Arbitrary bytes as a user's session with the key editor. The first byte
// picks an allocation of the session to fail (0: none), the second how many
// keys the edited instance holds, and the rest is a panel script. A script
// that parses must format back to itself action by action; the session it
// describes runs through the module's descriptor and servers in the
// stand-in host. After every session the chain must be well linked with
// keyCount equal to its length, the list the host last drew must be the
// instance's list text, the module must have made no call a real host would
// refuse and shown no message but its own, the instance's saved block must
// read back to the same text, and nothing may be left allocated.
#include "abi/probe.h"
#include "plugin/core/inspect.h"
#include "plugin/core/messages.h"
#include "plugin/core/shake.h"
#include "plugin/vocabulary.h"
#include "standin/panel_host.h"
#include "standin/scene_io.h"
#include "standin/standin.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using vrim::messageService;

extern "C" MemoryProbe* vrimMemoryProbe(void);
extern "C" const ModuleDescriptor _mod_descrip;

using vrim::inspect::chainIsSound;

namespace {

void check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "fuzz_panel_script: %s\n", what);
        std::abort();
    }
}

ActivateFunc server(const char* serverClass) {
    for (const ServerRecord* row = _mod_descrip.servers; row->activate != nullptr; ++row) {
        if (std::strcmp(row->serverClass, serverClass) == 0) {
            return row->activate;
        }
    }
    check(false, "server missing");
    return nullptr;
}

bool sameNumber(double a, double b) {
    return std::memcmp(&a, &b, sizeof a) == 0 || (std::isnan(a) && std::isnan(b));
}

// A script line formats back to the action it was parsed from.
void checkFormatting(const std::vector<standin::PanelAction>& actions) {
    for (const standin::PanelAction& action : actions) {
        std::vector<standin::PanelAction> again;
        std::string error;
        check(standin::parsePanelScript(standin::formatPanelAction(action), again, error),
              "a formatted action does not parse");
        check(again.size() == 1 && again[0].kind == action.kind && again[0].label == action.label &&
                  again[0].row == action.row && again[0].numbers.size() == action.numbers.size(),
              "a formatted action parses to another");
        for (std::size_t i = 0; i < action.numbers.size(); ++i) {
            check(sameNumber(again[0].numbers[i], action.numbers[i]),
                  "a formatted number reads back changed");
        }
    }
}

// Problems that name a user action are the script's own (a control that does
// not exist, a row past the list); any other is the module's.
bool isScriptProblem(const std::string& problem) {
    return problem.rfind("type \"", 0) == 0 || problem.rfind("press \"", 0) == 0 ||
           problem.rfind("pick ", 0) == 0;
}

bool isModuleMessage(const standin::Message& message) {
    if (message.hasSecond) {
        return false;
    }
    if (message.error) {
        return message.first == "Couldn't allocate memory !!";
    }
    return message.first == "Create Key" || message.first == "Delete Key!";
}

// A block of count keys, each with values of its own.
std::vector<std::string> blockOf(int count) {
    std::vector<std::string> lines = {"VRIM_START"};
    char line[64];
    for (int i = 0; i < count; ++i) {
        lines.push_back("KEY_START");
        std::snprintf(line, sizeof line, "START_F %d", i * 7 - 20);
        lines.push_back(line);
        std::snprintf(line, sizeof line, "END_F %d", i * 11);
        lines.push_back(line);
        std::snprintf(line, sizeof line, "FREQ %d.25", i % 5);
        lines.push_back(line);
        std::snprintf(line, sizeof line, "FREQ_W_Y -%d.5", i);
        lines.push_back(line);
    }
    lines.push_back("VRIM_END");
    return lines;
}

std::vector<std::string> saved(const HandlerRecordV2& handler, void* instance) {
    standin::LineWriter writer;
    SaveState state = writer.state();
    check(handler.save(instance, &state) == nullptr, "save reported an error");
    return writer.lines;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) {
        return 0;
    }
    const std::string text(reinterpret_cast<const char*>(data) + 2, size - 2);
    std::vector<standin::PanelAction> actions;
    std::string error;
    if (!standin::parsePanelScript(text, actions, error)) {
        check(error.rfind("line ", 0) == 0, "a script error does not name its line");
        return 0;
    }
    checkFormatting(actions);

    MemoryProbe* probe = vrimMemoryProbe();
    *probe = MemoryProbe{};
    {
        standin::Host host;
        standin::PanelHost panels;
        host.panelServices = panels.services();
        HandlerRecordV2 handler{};
        check(server("ItemMotionHandler")(2, host.global(), &handler, nullptr) == 0,
              "handler activation failed");
        HostError createError = nullptr;
        auto* instance = static_cast<ShakeInstance*>(handler.create(&createError, nullptr));
        check(instance != nullptr, "create failed");
        standin::LineReader reader(blockOf(data[1]));
        LoadState load = reader.state();
        handler.load(instance, &load);

        panels.setScript(actions);
        probe->allocations = 0;
        probe->failAt = data[0];
        const int result = server("ItemMotionInterface")(1, host.global(), instance, nullptr);
        probe->failAt = 0;
        check(result == 0, "the key editor did not run");
        check(chainIsSound(instance), "chain unsound or keyCount wrong after the session");
        for (const std::string& problem : panels.problems) {
            if (!isScriptProblem(problem)) {
                std::fprintf(stderr, "panel host: %s\n", problem.c_str());
                check(false, "the module made a call a host would refuse");
            }
        }
        for (const standin::Message& message : host.messages) {
            check(isModuleMessage(message), "a message the module does not show");
        }
        check(panels.panels.size() == 1 && panels.lastPanel()->destroyed,
              "the panel outlived its activation");
        const KeyListText& list = instance->listText;
        check(list.lineCount >= 0 && list.lineCount <= kKeyListLines, "list line count");
        const standin::PanelControl* box = panels.lastPanel()->control(vrim::label::kKeyList);
        if (box != nullptr && panels.lastPanel()->opens == 1) {
            check(box->rows.size() == static_cast<std::size_t>(list.lineCount),
                  "the list drawn is not the list text");
            for (int i = 0; i < list.lineCount; ++i) {
                check(box->rows[static_cast<std::size_t>(i)] == list.lines[i],
                      "a list row drawn is not its line");
            }
        }

        const std::vector<std::string> block = saved(handler, instance);
        auto* reloaded = static_cast<ShakeInstance*>(handler.create(&createError, nullptr));
        check(reloaded != nullptr, "create failed");
        standin::LineReader again(block);
        LoadState reload = again.state();
        handler.load(reloaded, &reload);
        check(chainIsSound(reloaded), "chain unsound after reloading");
        check(saved(handler, reloaded) == block,
              "a saved block did not read back to the same text");
        handler.destroy(instance);
        handler.destroy(reloaded);
        check(probe->live == 0, "blocks left allocated");
    }
    // The reference points into the host just gone.
    messageService = nullptr;
    return 0;
}
