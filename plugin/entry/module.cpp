// The module's whole outward face: the descriptor the host reads, the server
// table, and the two activation functions. The handler records it hands out
// are in handlers.cpp.
//
// The host opens the file, checks _mod_descrip, calls startup once, then
// activates servers by class and name, any number of times and in any order,
// always on its one thread. Activations report failures by result code only.
#include "abi/module.h"
#include "abi/handler.h"
#include "abi/panel.h"
#include "plugin/core/messages.h"
#include "plugin/entry/handlers.h"
#include "plugin/identity.h"
#include "plugin/panel/keyeditor.h"

namespace vrim {

namespace {

void* moduleStartup() {
    // Any non-zero token will do: the host only checks that startup succeeded.
    return reinterpret_cast<void*>(static_cast<intptr_t>(4));
}

void moduleShutdown(void* /*token*/) {}

// A missing "LW Object Info" fails before the record is touched. The record
// of the version asked for is written in full before "LW Item Info" is looked
// up, so a missing "LW Item Info" fails with the slots already written.
int handlerActivate(int32_t version, GlobalFunc global, void* local, void* /*serverData*/) {
    if (global(kServiceObjectInfo, 0) == nullptr) {
        return kActivationFailed;
    }
    if (version == 1) {
        *static_cast<HandlerRecordV1*>(local) = kHandlerRecordV1;
    } else if (version == 2) {
        *static_cast<HandlerRecordV2*>(local) = kHandlerRecordV2;
    } else {
        return kVersionNotSupported;
    }
    if (global(kServiceItemInfo, 0) == nullptr) {
        return kActivationFailed;
    }
    return kActivated;
}

// local is the ShakeInstance of the item whose keys the panel edits.
int interfaceActivate(int32_t version, GlobalFunc global, void* local, void* /*serverData*/) {
    if (version != 1) {
        return kVersionNotSupported;
    }
    messageService = static_cast<const MessageFuncs*>(global(kServiceInfoMessages, 0));
    if (messageService == nullptr) {
        return kActivationFailed;
    }
    auto* services = static_cast<PanelServices*>(global(kServicePanels, 0));
    if (services == nullptr) {
        showError("Unable to active global LWPanelServices", " please add plugin lwpanels.p");
        return kActivationFailed;
    }
    return runKeyEditor(services, static_cast<ShakeInstance*>(local));
}

const ServerRecord serverTable[] = {
    {kHandlerClass, vrim::kServerName, handlerActivate},
    {kInterfaceClass, vrim::kServerName, interfaceActivate},
    {nullptr, nullptr, nullptr},
};

} // namespace

} // namespace vrim

extern "C" VRIM_EXPORT const ModuleDescriptor _mod_descrip = {
    kModuleMagic,        kModuleSystemVersion, kModuleMachineType,
    vrim::moduleStartup, vrim::moduleShutdown, vrim::serverTable,
};
