// A deliberately faulty module for the validator's own test: the real module
// in every respect but one, its copy callback, which hands the destination
// the source's own keys instead of duplicates. It releases the chain it
// replaces, so on its own it neither leaks nor frees a key twice; the fault
// shows only once two instances hold one chain. The handler's tables in
// module.cpp pick the faulty callbacks up through the macros below.
#include "plugin/core/shake.h"

#include <cstring>

namespace {

HostError copySharingKeys(void* from, void* to) {
    auto* source = static_cast<const ShakeInstance*>(from);
    auto* destination = static_cast<ShakeInstance*>(to);
    if (destination->firstKey != source->firstKey) {
        releaseKeyChain(destination->firstKey);
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

#define shakeCopy copySharingKeys
#define shakeCopyV2 copySharingKeysV2
#include "plugin/entry/module.cpp"
