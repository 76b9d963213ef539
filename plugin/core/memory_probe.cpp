#include "abi/module.h"
#include "abi/probe.h"
#include "plugin/core/memory.h"

#include <cstdlib>
#include <cstring>

namespace vrim {

namespace {

MemoryProbe probe; // constant-initialised: no global constructor

// Each block carries its size in front so that release can keep liveBytes.
constexpr std::size_t kHeader = 16;

void* take(std::size_t size, bool zeroed) {
    ++probe.allocations;
    if (probe.failAt != 0 && probe.allocations == probe.failAt) {
        ++probe.failures;
        return nullptr;
    }
    auto* raw = static_cast<unsigned char*>(zeroed ? std::calloc(1, size + kHeader)
                                                   : std::malloc(size + kHeader));
    if (raw == nullptr) {
        return nullptr;
    }
    std::memcpy(raw, &size, sizeof size);
    ++probe.live;
    probe.liveBytes += static_cast<int64_t>(size);
    probe.totalBytes += static_cast<int64_t>(size);
    return raw + kHeader;
}

} // namespace

void* moduleAllocZeroed(std::size_t size) {
    return take(size, true);
}
void* moduleAlloc(std::size_t size) {
    return take(size, false);
}

void moduleFree(void* block) {
    if (block == nullptr) {
        return;
    }
    auto* raw = static_cast<unsigned char*>(block) - kHeader;
    std::size_t size = 0;
    std::memcpy(&size, raw, sizeof size);
    --probe.live;
    probe.liveBytes -= static_cast<int64_t>(size);
    std::free(raw);
}

} // namespace vrim

extern "C" VRIM_EXPORT MemoryProbe* vrimMemoryProbe(void) {
    return &vrim::probe;
}
