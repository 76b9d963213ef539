// The key list: one line per key, and the list box's callbacks that read
// them.
#include "plugin/panel/keyeditor.h"

#include <cstdio>
#include <cstring>

namespace vrim {

void formatKeyLine(const ShakeKey* key, char* line) {
    // An extreme frequency time prints hundreds of digits: the line is cut.
    std::snprintf(line, kKeyListLineSize, "Start %3d, End %3d, Freq %4f", key->startFrame,
                  key->endFrame, key->freqTime);
}

void rebuildKeyList(const KeyEditor* editor) {
    auto* table = static_cast<KeyListText*>(editor->services->userData);
    int32_t n = 0;
    // Past the table's last line the keys are still there, just not listed.
    for (const ShakeKey* key = editor->instance->firstKey; key != nullptr && n < kKeyListLines;
         key = key->next) {
        char line[kKeyListLineSize];
        formatKeyLine(key, line);
        std::memcpy(table->lines[n], line, std::strlen(line) + 1);
        ++n;
    }
    table->lineCount = n;
    editor->listControl->draw(editor->listControl, kDrawRefresh);
}

int keyListCount(void* data) {
    return static_cast<const KeyListText*>(data)->lineCount;
}

const char* keyListName(void* data, int index) {
    const auto* table = static_cast<const KeyListText*>(data);
    if (index < 0 || index >= table->lineCount || index >= kKeyListLines) {
        return nullptr;
    }
    return table->lines[index];
}

// Picking a line shows nothing else: the shown key changes only by the buttons.
void keyListEvent(ControlRecord* /*control*/, void* /*data*/) {}

} // namespace vrim
