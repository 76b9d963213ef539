// Random sessions with the key editor: a user pressing the four buttons,
// typing values and picking list lines, then closing the panel one way or
// another; afterwards the instance must save and load again to the same
// block.
#include "plugin/identity.h"
#include "plugin/vocabulary.h"
#include "tools/vrim/validate/validate.h"

#include <algorithm>
#include <climits>

namespace vrim::validate {

namespace {

using standin::PanelAction;

PanelAction randomAction(Random& random, const standin::PanelHost& panels) {
    PanelAction action;
    const standin::Panel* panel = panels.lastPanel();
    const standin::PanelControl* list =
        panel != nullptr ? panel->control(label::kKeyList) : nullptr;
    const int rows = list != nullptr ? static_cast<int>(list->rows.size()) : 0;
    const int roll = random.below(20);
    if (roll < 9) {
        static const char* const buttons[] = {label::kAddKey, label::kDeleteKey, label::kNextKey,
                                              label::kPrevKey};
        static const int weights[] = {2, 2, 3, 3};
        int pick = random.below(10);
        int button = 0;
        while (pick >= weights[button]) {
            pick -= weights[button++];
        }
        action.kind = PanelAction::Kind::Press;
        action.label = buttons[button];
    } else if (roll < 18 || rows == 0) {
        static const char* const fields[] = {label::kFreqTime, label::kWidth, label::kStartFrame,
                                             label::kEndFrame, label::kFallOff};
        action.kind = PanelAction::Kind::Type;
        action.label = fields[random.below(5)];
        const auto anyNumber = [&] {
            return random.oneIn(4) ? random.between(-1e9, 1e9) : random.between(-10, 10) / 4.0;
        };
        if (action.label == label::kWidth) {
            action.numbers = {anyNumber(), anyNumber(), anyNumber()};
        } else if (action.label == label::kFallOff) {
            action.numbers = {static_cast<double>(random.below(2))};
        } else if (action.label == label::kFreqTime) {
            action.numbers = {anyNumber()};
        } else {
            action.numbers = {random.oneIn(6) ? (random.oneIn(2) ? INT32_MIN : INT32_MAX)
                                              : static_cast<double>(random.between(-500, 3000))};
        }
    } else {
        action.kind = PanelAction::Kind::Pick;
        action.row = random.below(rows);
    }
    return action;
}

bool isModuleMessage(const standin::Message& message) {
    return !message.hasSecond && !message.error &&
           (message.first == "Create Key" || message.first == "Delete Key!");
}

// What is wrong once a session's panel has closed, or "": the panel built,
// opened once and gone, the chain whole, every key the editor said it
// added or deleted counted, the list drawn from the instance's list text.
std::string closedSessionFault(const standin::Host& host, const standin::PanelHost& panels,
                               ShakeInstance* instance, int32_t keysBefore) {
    const standin::Panel* panel = panels.lastPanel();
    if (panels.panels.size() != 1 || panel->opens != 1 || !panel->destroyed) {
        return "the panel was not built, opened once and destroyed";
    }
    if (std::string chain = chainFault(instance); !chain.empty()) {
        return "after closing: " + chain;
    }
    int added = 0, deleted = 0;
    for (const standin::Message& message : host.messages) {
        if (!isModuleMessage(message)) {
            return "the key editor showed \"" + message.first + "\"";
        }
        (message.first == "Create Key" ? added : deleted) += 1;
    }
    if (instance->keyCount != keysBefore + added - deleted) {
        return keysText(keysBefore) + ", " + std::to_string(added) + " added and " +
               std::to_string(deleted) + " deleted, but " + keysText(instance->keyCount) + " left";
    }
    const KeyListText& text = instance->listText;
    const standin::PanelControl* list = panel->control(label::kKeyList);
    if (text.lineCount != std::min(instance->keyCount, 256)) {
        return "the list text has " + std::to_string(text.lineCount) + " lines for " +
               keysText(instance->keyCount);
    }
    if (list == nullptr || list->rows.size() != static_cast<std::size_t>(text.lineCount) ||
        !std::equal(list->rows.begin(), list->rows.end(), text.lines)) {
        return "the list last drawn is not the instance's list text";
    }
    return "";
}

// One session on instance: what went wrong, or "".
std::string session(Bench& bench, ShakeInstance* instance, int length, Random& random,
                    long& played) {
    standin::Host& host = bench.host;
    standin::PanelHost panels;
    host.panelServices = panels.services();
    host.messages.clear();
    const int32_t keysBefore = instance->keyCount;
    int actions = 0;
    std::string fault;
    panels.afterAction = [&](const PanelAction& action) {
        ++actions;
        ++played;
        if (fault.empty()) {
            if (std::string chain = chainFault(instance); !chain.empty()) {
                fault = "after action " + std::to_string(actions) + " (" +
                        standin::formatPanelAction(action) + "): " + chain;
            }
        }
        if (actions < length && fault.empty()) {
            panels.script.push_back(randomAction(random, panels));
        } else if (!random.oneIn(3)) {
            panels.script.push_back(PanelAction{
                random.oneIn(2) ? PanelAction::Kind::Close : PanelAction::Kind::Cancel, "", {}, 0});
        } // else the user closes the window: the script runs out
    };
    panels.setScript({randomAction(random, panels)});
    const ActivateFunc activate = bench.module.findServer(kInterfaceClass, vrim::kServerName);
    const int code = activate(1, host.global(), instance, nullptr);
    host.panelServices = nullptr;

    if (!fault.empty()) {
        return fault;
    }
    if (code != 0) {
        return "the key editor returned " + std::to_string(code);
    }
    if (!panels.problems.empty()) {
        return "the module " + panels.problems.front();
    }
    return closedSessionFault(host, panels, instance, keysBefore);
}

} // namespace

Verdict checkPanelSessions(Bench& bench) {
    Random random = bench.random(7);
    const int sessions = bench.scaled(8);
    Verdict verdict;
    long actions = 0;
    for (int i = 1; i <= sessions && verdict.fault.empty(); ++i) {
        std::string fault;
        std::vector<ShakeInstance*> made = {create(bench.handler, fault)};
        if (fault.empty() && !random.oneIn(4)) {
            std::vector<KeyValues> keys;
            for (int n = randomKeyCount(random, 2); n > 0; --n) {
                keys.push_back(randomKey(random, Values::Tame));
            }
            fault = load(bench.handler, made[0], blockFor(keys, random, Values::Tame, false));
        }
        if (fault.empty()) {
            fault = chainFault(made[0]);
        }
        const int length = random.between(1, 120);
        if (fault.empty()) {
            fault = session(bench, made[0], length, random, actions);
        }
        if (fault.empty()) {
            // Closed and saved; the block must reload to itself.
            const Saved first = save(bench.handler, made[0]);
            fault = first.fault;
            if (fault.empty()) {
                made.push_back(create(bench.handler, fault));
            }
            if (fault.empty()) {
                fault = load(bench.handler, made[1], first.lines);
            }
            if (fault.empty()) {
                fault = chainFault(made[1]);
            }
            if (fault.empty() && save(bench.handler, made[1]).lines != first.lines) {
                fault = "saved, loaded and saved again, the block differs";
            }
        }
        destroyAll(bench.handler, made);
        if (!fault.empty()) {
            verdict.fault = "session " + std::to_string(i) + ", " + fault;
        }
    }
    verdict.detail = std::to_string(sessions) + " sessions, " + std::to_string(actions) +
                     " user actions, each followed by a save and reload";
    return verdict;
}

} // namespace vrim::validate
