// Create, destroy, copy and describe: the life of one ShakeInstance.
//
// Every instance owns its own chain. Copy gives the destination duplicates of
// the source's keys, so an edit through one item's panel never reaches
// another item, and each key has exactly one owner to release it.
#include "plugin/core/memory.h"
#include "plugin/core/shake.h"

#include <cstdio>
#include <cstring>

namespace vrim {

namespace {

constexpr const char* kNoMemoryForInstance = "No memory for new VRIM_S.";

// Shared by all instances; overwritten by the next describe call.
char descriptionBuffer[80];

// Duplicates the chain that starts at first; null with nothing allocated when
// memory runs out. An empty chain duplicates to an empty chain (ok stays true).
ShakeKey* duplicateChain(const ShakeKey* first, bool* ok) {
    ShakeKey* head = nullptr;
    ShakeKey* tail = nullptr;
    for (const ShakeKey* key = first; key != nullptr; key = key->next) {
        auto* copy = static_cast<ShakeKey*>(moduleAllocZeroed(sizeof(ShakeKey)));
        if (copy == nullptr) {
            releaseKeyChain(head);
            *ok = false;
            return nullptr;
        }
        *copy = *key;
        copy->prev = tail;
        copy->next = nullptr;
        if (tail == nullptr) {
            head = copy;
        } else {
            tail->next = copy;
        }
        tail = copy;
    }
    *ok = true;
    return head;
}

} // namespace

void setDefaultKey(ShakeKey* key) {
    key->startFrame = 0;
    key->endFrame = 30;
    key->fallOff = 1;
    key->widthX = 0.0;
    key->widthY = 0.1;
    key->widthZ = 0.0;
    key->freqTime = 0.1;
    key->prev = nullptr;
    key->next = nullptr;
}

void releaseKeyChain(ShakeKey* first) {
    while (first != nullptr) {
        ShakeKey* next = first->next;
        moduleFree(first);
        first = next;
    }
}

void* shakeCreate(HostError* errorOut, void* /*item*/) {
    auto* instance = static_cast<ShakeInstance*>(moduleAllocZeroed(sizeof(ShakeInstance)));
    if (instance == nullptr) {
        *errorOut = kNoMemoryForInstance;
        return nullptr;
    }
    auto* key = static_cast<ShakeKey*>(moduleAllocZeroed(sizeof(ShakeKey)));
    if (key == nullptr) {
        moduleFree(instance);
        *errorOut = kNoMemoryForInstance;
        return nullptr;
    }
    setDefaultKey(key);
    std::strcpy(instance->listText.lines[0], "none");
    instance->listText.lineCount = 1;
    instance->firstKey = key;
    instance->keyCount = 1;
    return instance;
}

void* shakeCreateV1(HostError* errorOut) {
    return shakeCreate(errorOut, nullptr);
}

void shakeDestroy(void* instance) {
    if (instance == nullptr) {
        return;
    }
    auto* shake = static_cast<ShakeInstance*>(instance);
    releaseKeyChain(shake->firstKey);
    moduleFree(shake);
}

// The host expects copy to succeed; with duplicated keys it can run out of
// memory. Then the destination is left exactly as it was and the host is told
// why, rather than being handed a half-built chain.
HostError shakeCopy(void* from, void* to) {
    auto* source = static_cast<const ShakeInstance*>(from);
    auto* destination = static_cast<ShakeInstance*>(to);
    if (source == destination) {
        return nullptr;
    }
    bool ok = false;
    ShakeKey* chain = duplicateChain(source->firstKey, &ok);
    if (!ok) {
        return kNoMemoryForInstance;
    }
    releaseKeyChain(destination->firstKey);
    destination->firstKey = chain;
    destination->keyCount = source->keyCount;
    std::memcpy(&destination->listText, &source->listText, sizeof destination->listText);
    return nullptr;
}

HostError shakeCopyV2(void* from, void* to, void* /*unused*/) {
    return shakeCopy(from, to);
}

const char* shakeDescribe(void* instance) {
    std::snprintf(descriptionBuffer, sizeof descriptionBuffer, "VRIM_S %d ",
                  static_cast<const ShakeInstance*>(instance)->keyCount);
    return descriptionBuffer;
}

} // namespace vrim
