// The handler's load and save callbacks: one instance's keys as the lines
// from "VRIM_START" to "VRIM_END" among the host's own scene lines.
#include "plugin/core/keyblock.h"

#include "plugin/core/memory.h"
#include "plugin/core/messages.h"
#include "plugin/core/sceneline.h"
#include "plugin/core/shake.h"
#include "plugin/vocabulary.h"

namespace vrim {

namespace {

// Appends a zero-filled key after current (or as the first key); null when
// no memory is available.
ShakeKey* appendKey(ShakeInstance* instance, ShakeKey* current) {
    auto* key = static_cast<ShakeKey*>(moduleAllocZeroed(sizeof(ShakeKey)));
    if (key == nullptr) {
        return nullptr;
    }
    key->prev = current;
    key->next = nullptr;
    if (current == nullptr) {
        instance->firstKey = key;
    } else {
        current->next = key;
    }
    return key;
}

// A field line of the key being read, tested against the keywords of its
// first character alone, in shakeLoad's order.
void applyKeyField(ShakeKey& key, const SceneLine& line) {
    switch (line.token[0]) {
    case 'S':
        if (compareSceneToken("START_F", &line) == 0) {
            key.startFrame = sceneInteger(line.value);
        }
        break;
    case 'E':
        if (compareSceneToken("END_F", &line) == 0) {
            key.endFrame = sceneInteger(line.value);
        }
        break;
    case 'F':
        if (compareSceneToken("FALL_OFF", &line) == 0) {
            key.fallOff = sceneInteger(line.value);
        } else if (compareSceneToken("FREQ", &line) == 0) {
            key.freqTime = line.value;
        } else if (compareSceneToken("FREQ_W_X", &line) == 0) {
            key.widthX = line.value;
        } else if (compareSceneToken("FREQ_W_Y", &line) == 0) {
            key.widthY = line.value;
        } else if (compareSceneToken("FREQ_W_Z", &line) == 0) {
            key.widthZ = line.value;
        }
        break;
    default:
        break;
    }
}

} // namespace

HostError shakeLoad(void* instance, const LoadState* state) {
    auto* shake = static_cast<ShakeInstance*>(instance);
    // A fresh record per load: a field line without a number before any line
    // with one applies 0.0, never a number left over from another load.
    SceneLine line{};
    readSceneLine(state, &line);
    if (compareSceneToken(vrim::kBlockStart, &line) != 0) {
        return nullptr;
    }

    // The instance owns its chain alone (copy duplicates keys), so the chain
    // this block replaces is released here.
    releaseKeyChain(shake->firstKey);
    shake->firstKey = nullptr;
    ShakeKey* current = nullptr;
    int32_t built = 0;

    // The order of the tests decides where a short token goes: "KEY" is
    // "KEY_NUM", "F" is "FALL_OFF", "FREQ_" is "FREQ_W_X". A token can only
    // match keywords that begin with its own first character (the empty
    // token matches "VRIM_END", the first tested), so each line is tested
    // against the keywords of its first character alone, in the same order:
    // a load spends a good part of its time in these tests.
    for (;;) {
        readSceneLine(state, &line);
        const char first = line.token[0];
        if (first == '\0' || first == 'V') {
            if (compareSceneToken(vrim::kBlockEnd, &line) == 0) {
                break;
            }
        } else if (first == 'K') {
            // "KEY_NUM": the count is taken from the chain once the block is
            // read: save follows next keyCount times, so the two must agree
            // whatever this line says.
            if (compareSceneToken("KEY_NUM", &line) != 0 &&
                compareSceneToken("KEY_START", &line) == 0) {
                ShakeKey* key = appendKey(shake, current);
                if (key == nullptr) {
                    showInfo("No memmory ", nullptr);
                    break;
                }
                current = key;
                ++built;
            }
        } else if (current != nullptr) { // field lines before the first key do nothing
            applyKeyField(*current, line);
        }
    }
    shake->keyCount = built;
    return nullptr;
}

HostError shakeSave(void* instance, const SaveState* state) {
    const auto* shake = static_cast<const ShakeInstance*>(instance);
    writeSceneToken(state, vrim::kBlockStart);
    writeSceneValue(state, "KEY_NUM", shake->keyCount);
    const ShakeKey* key = shake->firstKey;
    for (int32_t written = 0; written < shake->keyCount && key != nullptr; ++written) {
        writeSceneToken(state, "KEY_START");
        writeSceneValue(state, "FREQ", key->freqTime);
        writeSceneValue(state, "FREQ_W_X", key->widthX);
        writeSceneValue(state, "FREQ_W_Y", key->widthY);
        writeSceneValue(state, "FREQ_W_Z", key->widthZ);
        writeSceneValue(state, "START_F", key->startFrame);
        writeSceneValue(state, "END_F", key->endFrame);
        writeSceneValue(state, "FALL_OFF", key->fallOff);
        key = key->next;
    }
    writeSceneToken(state, vrim::kBlockEnd);
    return nullptr;
}

} // namespace vrim
