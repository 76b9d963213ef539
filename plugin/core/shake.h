// Shake keys, the handler's per-item instance, and the handler callbacks that
// create, copy, describe, destroy and evaluate it.
#pragma once

#include "abi/handler.h"

#include <cstdint>

// One shake over a span of frames; a node of the instance's doubly linked
// chain. [owned: the instance whose chain holds it; one allocation per key]
struct ShakeKey {
    int32_t startFrame; // first frame of the shake
    int32_t endFrame;   // last frame of the shake
    int32_t fallOff;    // non-zero: the shake fades out linearly over the span
    double widthX;      // amplitude on X, in the units of the item's position
    double widthY;
    double widthZ;
    double freqTime; // period in seconds; 0 gives a constant sin(1) offset
    ShakeKey* prev;  // null for the first key
    ShakeKey* next;  // null for the last key
};

constexpr int kKeyListLines = 256;
constexpr int kKeyListLineSize = 256; // characters per line, NUL included

// The key editor's list lines: line i is the text of the list box's row i.
struct KeyListText {
    char lines[kKeyListLines][kKeyListLineSize];
    int32_t lineCount; // rows in use, 0 to kKeyListLines
};

// The handler's record for one item. One allocation, list text included.
// [owned: module; created by shakeCreate, released by shakeDestroy]
struct ShakeInstance {
    int32_t keyCount;   // always the number of keys reachable from firstKey
    ShakeKey* firstKey; // null when the chain is empty
    KeyListText listText;
};

namespace vrim {

// The values of the key that create makes and ADD KEY appends.
void setDefaultKey(ShakeKey* key);

// Releases every key of a chain, starting at first.
void releaseKeyChain(ShakeKey* first);

// Handler callbacks. The host hands back the instance it got from create.
void* shakeCreate(HostError* errorOut, void* item);
void* shakeCreateV1(HostError* errorOut);
void shakeDestroy(void* instance);
HostError shakeCopy(void* from, void* to);
HostError shakeCopyV2(void* from, void* to, void* unused);
const char* shakeDescribe(void* instance);
void shakeEvaluate(void* instance, const MotionAccess* access);

} // namespace vrim
