// The host's records of an item motion handler: the two versions of the
// handler record the module fills, and the load, save and motion states the
// host passes to its callbacks. Layout rules as in abi/module.h.
#pragma once

#include "abi/module.h"

#include <cstddef>
#include <cstdint>

extern "C" {

// ---------------------------------------------------------------------------
// Motion handler

// Error text handed back to the host: null means success. [owned: module; static]
typedef const char* HostError;

// Read side of a scene file, passed to the handler's load callback.
struct LoadState {
    int32_t ioMode; // not read by the module
    void* readData; // handed back unchanged to read
    // Places the next line of the scene, NUL-terminated and without its line
    // end, into buffer (bufferLength characters, NUL included) and returns a
    // count that the module does not examine. [host-thread]
    int32_t (*read)(void* readData, char* buffer, int32_t bufferLength);
};

// Write side of a scene file, passed to the handler's save callback.
struct SaveState {
    int32_t ioMode;  // not read by the module
    void* writeData; // handed back unchanged to write
    // Stores text as the next line of the scene. length counts the bytes of
    // text including its terminating NUL. The result is not used. [host-thread]
    int32_t (*write)(void* writeData, const char* text, int32_t length);
};

// Position (X, Y, Z) is the only parameter the module reads and writes.
constexpr int kParamPosition = 1;

// The item's motion at one time, passed to the handler's evaluate callback.
struct MotionAccess {
    void* item;    // the item being evaluated; not read by the module
    int32_t frame; // the frame the host evaluates
    double time;   // the time the host evaluates, in seconds
    // Fills value with the item's parameter at time. [host-thread]
    void (*getParam)(int param, double time, double value[3]);
    // Makes value the item's parameter for this evaluation. [host-thread]
    void (*setParam)(int param, const double value[3]);
};

// Handler record for handler version 1: six slots. The module writes nothing
// beyond the sixth. [owned: host]
struct HandlerRecordV1 {
    void* (*create)(HostError* errorOut);
    void (*destroy)(void* instance);
    HostError (*copy)(void* from, void* to);
    HostError (*load)(void* instance, const LoadState* state);
    HostError (*save)(void* instance, const SaveState* state);
    void (*evaluate)(void* instance, const MotionAccess* access);
};

// Handler record for handler version 2: seven slots. [owned: host]
struct HandlerRecordV2 {
    void* (*create)(HostError* errorOut, void* item);
    void (*destroy)(void* instance);
    HostError (*copy)(void* from, void* to, void* unused);
    HostError (*load)(void* instance, const LoadState* state);
    HostError (*save)(void* instance, const SaveState* state);
    void (*evaluate)(void* instance, const MotionAccess* access);
    // The returned text stays valid until the next describe call.
    const char* (*describe)(void* instance);
};

} // extern "C"

#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(HandlerRecordV1) == 24 && sizeof(HandlerRecordV2) == 28);
static_assert(offsetof(LoadState, read) == 8 && offsetof(SaveState, write) == 8);
#endif
