// The module's outward face: the file opened and closed again and again, its
// descriptor and server table, the activation matrix of both servers, what
// the file exports, and its scene numbers under a comma-decimal locale.
#include "tools/vrim/validate/validate.h"

#include "plugin/identity.h"
#include "tools/vrim/module/exports.h"

#include <clocale>
#include <cstring>

namespace vrim::validate {

namespace {

std::string hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", value);
    return text;
}

std::string descriptorFault(const standin::ModuleFile& module) {
    const ModuleDescriptor& descriptor = module.descriptor();
    if (descriptor.systemVersion != kModuleSystemVersion) {
        return "system version " + std::to_string(descriptor.systemVersion) + ", want " +
               std::to_string(kModuleSystemVersion);
    }
    if (descriptor.machineType != kModuleMachineType) {
        return "machine type " + hex(descriptor.machineType) + ", want " + hex(kModuleMachineType);
    }
    if (descriptor.startup == nullptr || descriptor.shutdown == nullptr) {
        return "the descriptor lacks its startup or shutdown callback";
    }
    const std::vector<ServerRecord> servers = module.servers();
    const char* const classes[] = {kHandlerClass, kInterfaceClass};
    if (servers.size() != 2) {
        return "the server table has " + std::to_string(servers.size()) +
               " servers before its all-zero record, want 2";
    }
    for (std::size_t i = 0; i < 2; ++i) {
        const ServerRecord& row = servers[i];
        if (row.serverClass == nullptr || row.serverName == nullptr || row.activate == nullptr ||
            std::strcmp(row.serverClass, classes[i]) != 0 ||
            std::strcmp(row.serverName, kServerName) != 0) {
            return "server " + std::to_string(i + 1) + " is not \"" + classes[i] + "\" \"" +
                   kServerName + "\" with an activation function";
        }
    }
    return "";
}

std::string joined(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names) {
        text += (text.empty() ? "\"" : ", \"") + name + "\"";
    }
    return text.empty() ? "none" : text;
}

std::string messagesText(const std::vector<standin::Message>& messages) {
    std::string text;
    for (const standin::Message& m : messages) {
        text += std::string(text.empty() ? "" : "; ") + (m.error ? "error \"" : "info \"") +
                m.first + "\"" + (m.hasSecond ? " \"" + m.second + "\"" : "");
    }
    return text.empty() ? "no message" : text;
}

// One activation and everything it must and must not have done.
struct Expected {
    int code = 0;
    std::vector<std::string> lookups;
    std::vector<standin::Message> messages;
};

bool sameMessages(const std::vector<standin::Message>& a, const std::vector<standin::Message>& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i].error != b[i].error || a[i].first != b[i].first ||
            a[i].hasSecond != b[i].hasSecond || a[i].second != b[i].second) {
            return false;
        }
    }
    return true;
}

std::string outcomeFault(const std::string& what, const standin::Host& host, int code,
                         const Expected& expected) {
    if (code != expected.code) {
        return what + ": result " + std::to_string(code) + ", want " +
               std::to_string(expected.code);
    }
    if (host.lookups != expected.lookups) {
        return what + ": asked for " + joined(host.lookups) + ", want " + joined(expected.lookups);
    }
    if (!sameMessages(host.messages, expected.messages)) {
        return what + ": showed " + messagesText(host.messages) + ", want " +
               messagesText(expected.messages);
    }
    return "";
}

standin::Message error(const char* first, const char* second) {
    standin::Message message;
    message.error = true;
    message.first = first;
    message.hasSecond = second != nullptr;
    message.second = second != nullptr ? second : "";
    return message;
}

std::string handlerMatrixFault(Bench& bench, ActivateFunc activate) {
    standin::Host& host = bench.host;
    const char* const missing[] = {nullptr, "LW Object Info", "LW Item Info"};
    static int sentinel;
    for (int32_t version : {-1, 0, 1, 2, 3}) {
        for (const char* service : missing) {
            const bool noObjectInfo = service != nullptr && std::strcmp(service, missing[1]) == 0;
            const bool supported = version == 1 || version == 2;
            Expected expected;
            expected.lookups = {"LW Object Info"};
            int slots = 0;
            if (noObjectInfo) {
                expected.code = 2;
            } else if (!supported) {
                expected.code = 1;
            } else {
                slots = version == 1 ? 6 : 7;
                expected.lookups.push_back("LW Item Info");
                expected.code = service != nullptr ? 2 : 0;
            }
            // One slot more than the longest record, all holding a marker.
            void* record[8];
            std::fill(std::begin(record), std::end(record), &sentinel);
            host.lookups.clear();
            host.messages.clear();
            if (service != nullptr) {
                host.offer(service, false);
            }
            const int code = activate(version, host.global(), record, nullptr);
            if (service != nullptr) {
                host.offer(service, true);
            }
            const std::string what =
                "handler version " + std::to_string(version) +
                (service != nullptr ? std::string(" without \"") + service + "\"" : std::string());
            if (std::string fault = outcomeFault(what, host, code, expected); !fault.empty()) {
                return fault;
            }
            for (int slot = 0; slot < 8; ++slot) {
                const bool written = record[slot] != &sentinel;
                if (written != (slot < slots) || (written && record[slot] == nullptr)) {
                    return what + ": slot " + std::to_string(slot + 1) +
                           (written ? " written" : " not written") + "; want slots 1 to " +
                           std::to_string(slots) + " written with callbacks and no other";
                }
            }
        }
    }
    return "";
}

// What an interface activation left of its panel, and of the instance.
std::string panelFault(const std::string& what, const standin::PanelHost& panels, bool built,
                       const ShakeInstance* instance, const std::vector<KeyValues>& keys) {
    const standin::Panel* panel = panels.lastPanel();
    if (panels.panels.size() != 1 || !panel->destroyed) {
        return what + ": the panel was not destroyed";
    }
    if (!panels.problems.empty()) {
        return what + ": " + panels.problems.front();
    }
    if (panel->opens != (built ? 1 : 0)) {
        return what + ": the panel was opened " + std::to_string(panel->opens) + " times";
    }
    if (built && (panel->controls.size() != 11 || panel->title.rfind("VRIM_S   ver1.0", 0) != 0)) {
        return what + ": the panel has " + std::to_string(panel->controls.size()) +
               " controls and the title \"" + panel->title + "\"";
    }
    if (std::string chain = chainFault(instance); !chain.empty()) {
        return what + ": " + chain;
    }
    if (!(chainValues(instance) == keys)) {
        return what + ": the keys changed";
    }
    return "";
}

// The interface activated on one instance with each service missing or
// failing in turn, each outcome compared with what the host must see.
class InterfaceMatrix {
  public:
    InterfaceMatrix(standin::Host& host, ActivateFunc activate, ShakeInstance* instance)
        : host_(host), activate_(activate), instance_(instance), keys_(chainValues(instance)) {}

    // Versions other than 1: refused, no panel built.
    std::string versionsFault() {
        for (int32_t version : {-1, 0, 2, 3}) {
            standin::PanelHost panels;
            const int code = activateWith(version, nullptr, true, false, 0, panels);
            std::string fault = outcomeFault("interface version " + std::to_string(version), host_,
                                             code, {1, {}, {}});
            if (fault.empty() && !panels.panels.empty()) {
                fault = "interface version " + std::to_string(version) + " built a panel";
            }
            if (!fault.empty()) {
                return fault;
            }
        }
        return "";
    }

    // A service missing, or the panel not created: refused, and said.
    std::string servicesFault() {
        standin::PanelHost noMessages;
        int code = activateWith(1, "Info Messages", true, false, 0, noMessages);
        std::string fault = outcomeFault("interface without \"Info Messages\"", host_, code,
                                         {2, {"Info Messages"}, {}});
        if (fault.empty()) {
            standin::PanelHost panels;
            code = activateWith(1, nullptr, false, false, 0, panels);
            fault = outcomeFault("interface without \"LWPanelServices\"", host_, code,
                                 {2, bothLookups(), {noPanelServices()}});
        }
        if (fault.empty()) {
            standin::PanelHost panels;
            code = activateWith(1, nullptr, true, true, 0, panels);
            fault = outcomeFault("interface whose panel cannot be created", host_, code,
                                 {2, bothLookups(), {noPanel()}});
        }
        return fault;
    }

    // Each of the eleven controls failing in turn, then none (12 is past them).
    std::string controlsFault() {
        std::string fault;
        for (int control = 1; control <= 12 && fault.empty(); ++control) {
            standin::PanelHost panels;
            const int code = activateWith(1, nullptr, true, false, control, panels);
            const bool built = control == 12;
            const std::string what =
                built ? "interface opening and closing its panel"
                      : "interface whose control " + std::to_string(control) + " cannot be added";
            fault = outcomeFault(what, host_, code,
                                 built ? Expected{0, bothLookups(), {}}
                                       : Expected{2, bothLookups(), {noPanel()}});
            if (fault.empty()) {
                fault = panelFault(what, panels, built, instance_, keys_);
            }
        }
        return fault;
    }

  private:
    static std::vector<std::string> bothLookups() { return {"Info Messages", "LWPanelServices"}; }
    static standin::Message noPanelServices() {
        return error("Unable to active global LWPanelServices", " please add plugin lwpanels.p");
    }
    static standin::Message noPanel() { return error("Duoooh!:", "Unable to create panel"); }

    // One interface activation with a service missing or failing as told.
    // The script is empty: the user closes the panel as soon as it opens.
    int activateWith(int32_t version, const char* missing, bool panelServices, bool failCreate,
                     int failControl, standin::PanelHost& panels) {
        host_.lookups.clear();
        host_.messages.clear();
        host_.panelServices = panelServices ? panels.services() : nullptr;
        panels.failCreate = failCreate;
        panels.failControl = failControl;
        if (missing != nullptr) {
            host_.offer(missing, false);
        }
        const int code = activate_(version, host_.global(), instance_, nullptr);
        if (missing != nullptr) {
            host_.offer(missing, true);
        }
        host_.panelServices = nullptr;
        return code;
    }

    standin::Host& host_;
    ActivateFunc activate_;
    ShakeInstance* instance_;
    const std::vector<KeyValues> keys_;
};

std::string interfaceMatrixFault(Bench& bench, ActivateFunc activate) {
    std::string fault;
    ShakeInstance* instance = create(bench.handler, fault);
    if (instance == nullptr) {
        return fault;
    }
    std::vector<ShakeInstance*> made = {instance};
    InterfaceMatrix matrix(bench.host, activate, instance);
    fault = matrix.versionsFault();
    if (fault.empty()) {
        fault = matrix.servicesFault();
    }
    if (fault.empty()) {
        fault = matrix.controlsFault();
    }
    destroyAll(bench.handler, made);
    return fault;
}

// ---------------------------------------------------------------------------
// Locale

// A German host may have switched the process locale before it loads a
// scene; the module shares the process's C library, so its numbers see the
// switch too.
const char* switchToCommaDecimals() {
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "German", "de-DE", "fr_FR.UTF-8"}) {
        if (std::setlocale(LC_ALL, name) != nullptr) {
            char text[16];
            std::snprintf(text, sizeof text, "%.1f", 1.5);
            if (std::strcmp(text, "1,5") == 0) {
                return name;
            }
        }
    }
    return nullptr;
}

std::string localeFault(Bench& bench) {
    Random random = bench.random(8);
    std::vector<KeyValues> keys;
    for (int i = 0; i < 6; ++i) {
        keys.push_back(randomKey(random, Values::Tame));
    }
    keys[0].widthX = 0.5; // at least one fraction to write
    // Everything is written and read under the C locale first.
    const std::vector<std::string> block = blockFor(keys, random, Values::Tame, false);
    std::string fault;
    ShakeInstance* original = create(bench.handler, fault);
    std::vector<ShakeInstance*> made = {original};
    Saved plain;
    if (fault.empty()) {
        fault = load(bench.handler, original, block);
    }
    if (fault.empty()) {
        plain = save(bench.handler, original);
        fault = plain.fault;
    }
    if (!fault.empty()) {
        destroyAll(bench.handler, made);
        return fault;
    }

    const std::string previous = std::setlocale(LC_ALL, nullptr);
    const char* name = switchToCommaDecimals();
    if (name == nullptr) {
        std::setlocale(LC_ALL, previous.c_str());
        destroyAll(bench.handler, made);
        return "no comma-decimal locale (de_DE.UTF-8 or German) to test with";
    }
    const Saved commaSaved = save(bench.handler, original);
    ShakeInstance* reloaded = create(bench.handler, fault);
    made.push_back(reloaded);
    const std::string loadFault = reloaded != nullptr ? load(bench.handler, reloaded, block) : "";
    const Saved commaReloaded = reloaded != nullptr ? save(bench.handler, reloaded) : Saved{};
    std::setlocale(LC_ALL, previous.c_str());

    const std::string under = std::string(" under ") + name;
    if (fault.empty() && !commaSaved.fault.empty()) {
        fault = commaSaved.fault + under;
    } else if (fault.empty() && commaSaved.lines != plain.lines) {
        fault = "the block saved" + under + " differs from the one saved under C";
    } else if (fault.empty() && !loadFault.empty()) {
        fault = loadFault + under;
    } else if (fault.empty() && !(chainValues(reloaded) == chainValues(original))) {
        fault = "a block loaded" + under + " gives other keys than under C";
    } else if (fault.empty() && commaReloaded.lines != plain.lines) {
        fault = "a block loaded and saved again" + under + " differs from the one saved under C";
    }
    destroyAll(bench.handler, made);
    return fault;
}

} // namespace

Verdict checkModuleFile(const std::string& path, int level) {
    Verdict verdict;
    const int opens = 2 * level;
    for (int i = 0; i < opens && verdict.fault.empty(); ++i) {
        std::string error;
        // Opening checks the magic and runs startup; closing runs shutdown.
        std::unique_ptr<standin::ModuleFile> module = standin::ModuleFile::open(path, error);
        if (module == nullptr) {
            verdict.fault = error;
        } else {
            verdict.fault = descriptorFault(*module);
        }
        if (!verdict.fault.empty() && i > 0) {
            verdict.fault = "after " + std::to_string(i) + " opens: " + verdict.fault;
        }
    }
    verdict.detail = "magic, version, machine type, two servers; opened and closed " +
                     std::to_string(opens) + " times";
    return verdict;
}

Verdict checkActivation(Bench& bench) {
    Verdict verdict;
    verdict.detail = "handler versions -1 to 3 and interface versions -1 to 3, each service "
                     "missing in turn, every panel control failing in turn";
    ActivateFunc handler = bench.module.findServer(kHandlerClass, kServerName);
    ActivateFunc interface = bench.module.findServer(kInterfaceClass, kServerName);
    if (handler == nullptr || interface == nullptr) {
        verdict.fault = "the module lacks a server";
        return verdict;
    }
    verdict.fault = handlerMatrixFault(bench, handler);
    if (verdict.fault.empty()) {
        verdict.fault = interfaceMatrixFault(bench, interface);
    }
    bench.host.lookups.clear();
    bench.host.messages.clear();
    return verdict;
}

Verdict checkExportsAndLocale(Bench& bench) {
    Verdict verdict;
    std::string fault;
    const std::vector<std::string> exported = fileExports(bench.module.path(), fault);
    if (!fault.empty()) {
        verdict.fault = fault;
    } else if (exported != std::vector<std::string>{"_mod_descrip"}) {
        verdict.fault = "exports " + joined(exported) + ", want only \"_mod_descrip\"";
    } else {
        verdict.fault = localeFault(bench);
    }
    verdict.detail = "exports only _mod_descrip; the same block written and read under a "
                     "comma-decimal locale";
    return verdict;
}

} // namespace vrim::validate
