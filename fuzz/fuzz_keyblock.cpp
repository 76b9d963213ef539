// Arbitrary bytes as the scene lines of one key block: load them into an
// instance through shakeLoad, save it, load the saved block into a second
// instance and save that too. After every input both chains must be well
// linked with keyCount equal to their length, every saved line must fit its
// buffer with the byte count the host was told, a saved block must read back
// to the same text, and nothing may be left allocated.
//
// The first byte picks an allocation to fail (0: none), so the out-of-memory
// path is reached as well.
#include "abi/probe.h"
#include "plugin/core/inspect.h"
#include "plugin/core/keyblock.h"
#include "plugin/core/messages.h"
#include "plugin/core/shake.h"
#include "standin/scene_io.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using vrim::messageService;
using vrim::shakeCreate;
using vrim::shakeDestroy;
using vrim::shakeLoad;
using vrim::shakeSave;

extern "C" MemoryProbe* vrimMemoryProbe(void);

using vrim::inspect::chainIsSound;

namespace {

void check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "fuzz_keyblock: %s\n", what);
        std::abort();
    }
}

void onInfo(const char* first, const char* second) {
    check(std::strcmp(first, "No memmory ") == 0 && second == nullptr, "unexpected message");
}
void onError(const char*, const char*) {
    check(false, "error message during load");
}
const MessageFuncs messages = {onInfo, onError};

standin::LineWriter loadAndSave(ShakeInstance* instance, const std::vector<std::string>& lines) {
    standin::LineReader reader(lines);
    LoadState load = reader.state();
    check(shakeLoad(instance, &load) == nullptr, "load reported an error");
    // Past the end of the data a read yields the empty line, which opens a
    // block as the first line and ends it anywhere else: two reads at most.
    check(reader.reads() <= static_cast<int>(lines.size()) + 2, "load went on past the end");
    check(chainIsSound(instance), "chain unsound or keyCount wrong after load");

    standin::LineWriter writer;
    SaveState save = writer.state();
    check(shakeSave(instance, &save) == nullptr, "save reported an error");
    for (std::size_t i = 0; i < writer.lines.size(); ++i) {
        check(writer.lines[i].size() <= 255, "saved line too long");
        check(writer.byteCounts[i] == static_cast<int32_t>(writer.lines[i].size() + 1),
              "wrong byte count");
    }
    check(writer.lines.size() == 3 + 8 * static_cast<std::size_t>(instance->keyCount),
          "saved block has the wrong number of lines");
    return writer;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    MemoryProbe* probe = vrimMemoryProbe();
    *probe = MemoryProbe{};
    messageService = &messages;
    if (size == 0) {
        return 0;
    }
    const int64_t failAt = data[0];
    const std::vector<std::string> lines =
        standin::splitLines(std::string(reinterpret_cast<const char*>(data) + 1, size - 1));

    HostError error = nullptr;
    auto* first = static_cast<ShakeInstance*>(shakeCreate(&error, nullptr));
    auto* second = static_cast<ShakeInstance*>(shakeCreate(&error, nullptr));
    check(first != nullptr && second != nullptr, "create failed");

    probe->allocations = 0;
    probe->failAt = failAt;
    standin::LineWriter saved = loadAndSave(first, lines);
    probe->failAt = 0;
    standin::LineWriter again = loadAndSave(second, saved.lines);
    check(again.lines == saved.lines, "a saved block did not read back to the same text");

    shakeDestroy(first);
    shakeDestroy(second);
    check(probe->live == 0, "keys left allocated");
    messageService = nullptr;
    return 0;
}
