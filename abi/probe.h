// Counting, failure-injecting allocator of the module's test build
// (vrim_s_test.p). Not the host's: shared by the module's allocator and
// whoever loads the test build, through the one symbol a test build exports
// beside _mod_descrip, vrimMemoryProbe, which returns the probe below. The
// shipped plug-in has neither the probe nor the export.
#pragma once

#include <cstddef>
#include <cstdint>

struct MemoryProbe {
    int64_t failAt;      // fail the allocation with this 1-based number; 0: never
    int64_t allocations; // allocations attempted since the last reset
    int64_t failures;    // allocations refused
    int64_t live;        // blocks allocated and not yet released
    int64_t liveBytes;   // bytes in those blocks
    int64_t totalBytes;  // bytes handed out since the last reset
};

extern "C" typedef MemoryProbe* (*MemoryProbeFunc)(void);

// The name the test build exports its probe function under.
constexpr const char* kMemoryProbeSymbol = "vrimMemoryProbe";
