// A deliberately faulty module for the validator's own test: the real module
// in every respect but one, its copy callback, which hands the destination
// the source's own keys instead of duplicates. It releases the chain it
// replaces, so on its own it neither leaks nor frees a key twice; the fault
// shows only once two instances hold one chain. Linked with the real entry in
// place of plugin/entry/handlers.cpp.
#include "plugin/core/keyblock.h"
#include "plugin/core/shake.h"
#include "plugin/entry/handlers.h"

#include <cstring>

namespace {

HostError copySharingKeys(void* from, void* to) {
    auto* source = static_cast<const ShakeInstance*>(from);
    auto* destination = static_cast<ShakeInstance*>(to);
    if (destination->firstKey != source->firstKey) {
        vrim::releaseKeyChain(destination->firstKey);
    }
    destination->keyCount = source->keyCount;
    destination->firstKey = source->firstKey;
    std::memmove(&destination->listText, &source->listText, sizeof destination->listText);
    return nullptr;
}

HostError copySharingKeysV2(void* from, void* to, void* /*unused*/) {
    return copySharingKeys(from, to);
}

} // namespace

namespace vrim {

const HandlerRecordV1 kHandlerRecordV1 = {
    shakeCreateV1, shakeDestroy, copySharingKeys, shakeLoad, shakeSave, shakeEvaluate,
};

const HandlerRecordV2 kHandlerRecordV2 = {
    shakeCreate, shakeDestroy,  copySharingKeysV2, shakeLoad,
    shakeSave,   shakeEvaluate, shakeDescribe,
};

} // namespace vrim
