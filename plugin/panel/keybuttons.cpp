// The four key buttons. They run inside the panel's open call and work on
// the instance through the KeyEditor.
#include "plugin/panel/keyeditor.h"

#include "plugin/core/memory.h"
#include "plugin/core/messages.h"

namespace vrim {

namespace {

// 1-based position of target in the chain; one past the last key when target
// is not in it (null included).
int positionOf(const ShakeInstance* instance, const ShakeKey* target) {
    int n = 1;
    for (const ShakeKey* key = instance->firstKey; key != nullptr && key != target;
         key = key->next) {
        ++n;
    }
    return n;
}

// PREV KEY and NEXT KEY: what the user typed goes into the key being left.
void stepTo(KeyEditor* editor, ShakeKey* neighbour) {
    if (editor->currentKey == nullptr) {
        return;
    }
    const int n = positionOf(editor->instance, neighbour);
    if (neighbour != nullptr) {
        storeControlsIntoKey(editor, editor->currentKey);
        loadKeyIntoControls(editor, neighbour);
        showKeyNumber(editor, n);
        editor->currentKey = neighbour;
    }
    rebuildKeyList(editor);
}

} // namespace

void onAddKey(ControlRecord* /*control*/, void* data) {
    auto* editor = static_cast<KeyEditor*>(data);
    auto* key = static_cast<ShakeKey*>(moduleAllocZeroed(sizeof(ShakeKey)));
    if (key == nullptr) {
        return;
    }
    showInfo("Create Key", nullptr);
    setDefaultKey(key);
    ShakeInstance* instance = editor->instance;
    if (instance->firstKey == nullptr) {
        // The first key of an empty chain becomes the shown one at once.
        instance->firstKey = key;
        editor->currentKey = key;
        loadKeyIntoControls(editor, key);
        showKeyNumber(editor, 1);
    } else {
        ShakeKey* last = instance->firstKey;
        while (last->next != nullptr) {
            last = last->next;
        }
        last->next = key;
        key->prev = last;
    }
    ++instance->keyCount;
    rebuildKeyList(editor);
}

void onDeleteKey(ControlRecord* /*control*/, void* data) {
    auto* editor = static_cast<KeyEditor*>(data);
    ShakeKey* victim = editor->currentKey;
    // The panel never empties the chain: everything here needs a shown key.
    if (victim == nullptr || (victim->prev == nullptr && victim->next == nullptr)) {
        return;
    }
    showInfo("Delete Key!", nullptr);
    ShakeInstance* instance = editor->instance;
    if (victim->prev != nullptr) {
        victim->prev->next = victim->next;
    } else {
        instance->firstKey = victim->next;
    }
    if (victim->next != nullptr) {
        victim->next->prev = victim->prev;
    }
    moduleFree(victim);
    editor->currentKey = instance->firstKey;
    --instance->keyCount;
    loadKeyIntoControls(editor, editor->currentKey);
    showKeyNumber(editor, 1);
    rebuildKeyList(editor);
}

void onPrevKey(ControlRecord* /*control*/, void* data) {
    auto* editor = static_cast<KeyEditor*>(data);
    stepTo(editor, editor->currentKey != nullptr ? editor->currentKey->prev : nullptr);
}

void onNextKey(ControlRecord* /*control*/, void* data) {
    auto* editor = static_cast<KeyEditor*>(data);
    stepTo(editor, editor->currentKey != nullptr ? editor->currentKey->next : nullptr);
}

} // namespace vrim
