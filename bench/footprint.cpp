// Prints what the module allocates for an instance and for each key, and
// that evaluation allocates nothing, as counted by the test build's probe
// (vrim_s_test.p, the same code as vrim_s.p with a counting allocator).
#include "plugin/identity.h"
#include "standin/scene_io.h"
#include "support/chains.h"

#include <cstdio>
#include <string>

namespace {

struct Cost {
    int64_t allocations = 0;
    int64_t bytes = 0;
};

Cost since(const MemoryProbe& probe, const Cost& before) {
    return {probe.allocations - before.allocations, probe.totalBytes - before.bytes};
}

Cost now(const MemoryProbe& probe) {
    return {probe.allocations, probe.totalBytes};
}

} // namespace

int main() {
    const std::string path = standin::executableDirectory() + "vrim_s_test.p";
    std::string error;
    auto module = standin::ModuleFile::open(path, error);
    if (module == nullptr || module->memoryProbe() == nullptr) {
        std::fprintf(stderr, "%s\n", module == nullptr ? error.c_str() : "no memory probe");
        return 1;
    }
    MemoryProbe& probe = *module->memoryProbe();
    standin::Host host;
    host.logMotion = false;
    standin::Handler handler;
    if (handler.activate(*module, host, vrim::kServerName) != 0) {
        std::fprintf(stderr, "%s: the motion handler does not activate\n", path.c_str());
        return 1;
    }

    Cost before = now(probe);
    void* fresh = handler.create();
    const Cost created = since(probe, before);

    // Keys as a scene load makes them: the block a 256-key chain saves,
    // loaded into the new instance.
    constexpr int kKeys = 256;
    ShakeInstance* source = testsupport::makeInstance(
        handler,
        std::vector<ShakeKey>(kKeys, testsupport::keyValues(0, 30, 1, 0.0, 0.1, 0.0, 0.1)));
    standin::LineWriter writer;
    const SaveState saveState = writer.state();
    before = now(probe);
    handler.save(source, saveState);
    const Cost save = since(probe, before);
    standin::LineReader reader(writer.lines);
    const LoadState loadState = reader.state();
    before = now(probe);
    handler.load(fresh, loadState);
    const Cost chain = since(probe, before);
    if (static_cast<ShakeInstance*>(fresh)->keyCount != kKeys) {
        std::fprintf(stderr, "the saved block did not load back\n");
        return 1;
    }

    constexpr int kCalls = 1000;
    before = now(probe);
    for (int frame = 0; frame < kCalls; ++frame) {
        handler.evaluate(host, fresh, frame % 40 - 5, (frame % 40 - 5) / 30.0);
    }
    const Cost evaluation = since(probe, before);

    handler.destroy(source);
    handler.destroy(fresh);

    const int64_t keyBytes = chain.bytes / kKeys;
    std::printf("allocations of the module (%d-bit build):\n", static_cast<int>(8 * sizeof(void*)));
    std::printf(
        "  new instance: %lld allocations, %lld bytes (the instance %lld, its first key %lld)\n",
        static_cast<long long>(created.allocations), static_cast<long long>(created.bytes),
        static_cast<long long>(created.bytes - keyBytes), static_cast<long long>(keyBytes));
    std::printf("  per key: %.2f allocations, %.2f bytes (a %d-key block loaded)\n",
                static_cast<double>(chain.allocations) / kKeys,
                static_cast<double>(chain.bytes) / kKeys, kKeys);
    std::printf("  save of %d keys: %lld allocations\n", kKeys,
                static_cast<long long>(save.allocations));
    std::printf("  evaluation: %lld allocations in %d calls\n",
                static_cast<long long>(evaluation.allocations), kCalls);
    std::printf("  left allocated after destroy: %lld blocks\n",
                static_cast<long long>(probe.live));
    return probe.live == 0 && evaluation.allocations == 0 && save.allocations == 0 ? 0 : 1;
}
