// The module's whole outward face: the descriptor the host reads, the server
// table, and the two activation functions.
//
// The host opens the file, checks _mod_descrip, calls startup once, then
// activates servers by class and name, any number of times and in any order,
// always on its one thread. Activations report failures by result code only.
#include "host/lwhost.h"
#include "module/messages.h"
#include "panel/keyeditor.h"
#include "shake/shake.h"

#include "scene/keyblock.h"

#if defined(_WIN32)
#define VRIM_EXPORT __declspec(dllexport)
#else
#define VRIM_EXPORT __attribute__((visibility("default")))
#endif

namespace {

constexpr int kActivated = 0;
constexpr int kVersionNotSupported = 1;
constexpr int kServiceMissing = 2;

void* moduleStartup() {
    // Any non-zero token will do: the host only checks that startup succeeded.
    return reinterpret_cast<void*>(static_cast<intptr_t>(4));
}

void moduleShutdown(void* /*token*/) {}

// Both records are filled in full before any test that can fail afterwards,
// so a missing "LW Item Info" still leaves the slots written.
int handlerActivate(int32_t version, GlobalFunc global, void* local, void* /*serverData*/) {
    if (global("LW Object Info", 0) == nullptr) {
        return kServiceMissing;
    }
    if (version == 1) {
        static const HandlerRecordV1 v1 = {
            shakeCreateV1, shakeDestroy, shakeCopy, shakeLoad, shakeSave, shakeEvaluate,
        };
        *static_cast<HandlerRecordV1*>(local) = v1;
    } else if (version == 2) {
        static const HandlerRecordV2 v2 = {
            shakeCreate, shakeDestroy,  shakeCopyV2,   shakeLoad,
            shakeSave,   shakeEvaluate, shakeDescribe,
        };
        *static_cast<HandlerRecordV2*>(local) = v2;
    } else {
        return kVersionNotSupported;
    }
    if (global("LW Item Info", 0) == nullptr) {
        return kServiceMissing;
    }
    return kActivated;
}

// local is the ShakeInstance of the item whose keys the panel edits.
int interfaceActivate(int32_t version, GlobalFunc global, void* local, void* /*serverData*/) {
    if (version != 1) {
        return kVersionNotSupported;
    }
    messageService = static_cast<const MessageFuncs*>(global("Info Messages", 0));
    if (messageService == nullptr) {
        return kServiceMissing;
    }
    auto* services = static_cast<PanelServices*>(global("LWPanelServices", 0));
    if (services == nullptr) {
        showError("Unable to active global LWPanelServices", " please add plugin lwpanels.p");
        return kServiceMissing;
    }
    return runKeyEditor(services, static_cast<ShakeInstance*>(local));
}

const ServerRecord serverTable[] = {
    {"ItemMotionHandler", "VRIM_S", handlerActivate},
    {"ItemMotionInterface", "VRIM_S", interfaceActivate},
    {nullptr, nullptr, nullptr},
};

} // namespace

extern "C" VRIM_EXPORT const ModuleDescriptor _mod_descrip = {
    kModuleMagic,  kModuleSystemVersion, kModuleMachineType,
    moduleStartup, moduleShutdown,       serverTable,
};
