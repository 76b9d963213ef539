// The key editor panel: building it, laying it out, moving values between the
// shown key and the controls, and the write-back when the user closes it.
//
// The panel is modal: the host runs the button and list callbacks inside its
// open call, on this thread, so nothing here outlives runKeyEditor.
#include "plugin/panel/keyeditor.h"

#include "abi/module.h"
#include "plugin/core/memory.h"
#include "plugin/core/messages.h"
#include "plugin/vocabulary.h"

#include <cstdio>
#include <cstring>

namespace vrim {

namespace {

constexpr const char* kTitle = "VRIM_S   ver1.0";
constexpr const char* kPanelFailure = "Duoooh!:";
constexpr const char* kPanelFailureDetail = "Unable to create panel";
constexpr const char* kNoMemoryForEditor = "Couldn't allocate memory !!";

constexpr int kRowHeight = 20;
constexpr int kPanelRowHeight = 26;
constexpr int kPanelRows = 12;

// The controls in the order they are added; the host numbers them that way.
enum ControlIndex {
    kFreq,
    kWidth,
    kStart,
    kEnd,
    kFallOff,
    kAdd,
    kNext,
    kPrev,
    kDelete,
    kKeyNo,
    kList,
    kControlCount
};

struct ControlLayout {
    const char* typeName;
    const char* label;
    int32_t type;
    int32_t width;       // 0: the host's own width
    int32_t visibleRows; // list box only
    int fieldX;
    int row;
};

constexpr ControlLayout kControls[kControlCount] = {
    {kControlNameFloat, vrim::label::kFreqTime, kControlTypeFloat, 0, 0, 100, 1},
    {kControlNameVector, vrim::label::kWidth, kControlTypeVector, 0, 0, 100, 2},
    {kControlNameInteger, vrim::label::kStartFrame, kControlTypeInteger, 0, 0, 100, 3},
    {kControlNameInteger, vrim::label::kEndFrame, kControlTypeInteger, 0, 0, 300, 3},
    {kControlNameBool, vrim::label::kFallOff, kControlTypeBool, 0, 0, 500, 3},
    {kControlNameButton, vrim::label::kAddKey, kControlTypeInteger, 0, 0, 100, 5},
    {kControlNameButton, vrim::label::kNextKey, kControlTypeInteger, 0, 0, 300, 6},
    {kControlNameButton, vrim::label::kPrevKey, kControlTypeInteger, 0, 0, 100, 6},
    {kControlNameButton, vrim::label::kDeleteKey, kControlTypeInteger, 0, 0, 300, 5},
    {kControlNameInfo, vrim::label::kKeyNumber, kControlTypeString, 4, 0, 250, 6},
    {kControlNameListBox, vrim::label::kKeyList, kControlTypeListBox, 400, 5, 100, 7},
};

constexpr ControlIndex kPlacementOrder[kControlCount] = {
    kFreq, kWidth, kStart, kEnd, kFallOff, kAdd, kDelete, kPrev, kNext, kKeyNo, kList,
};

// One value record of each kind, reused for every get and set; the host looks
// at the type code first. Module-wide, like the descriptor: the host calls in
// on one thread only.
PanelValue integerValue = {kValueInteger};
PanelValue floatValue = {kValueFloat};
PanelValue vectorValue = {kValueVector};
PanelValue stringValue = {kValueString};

// The descriptor handed to the host for each control, cleared before each one
// so that no control inherits another's fields (the list box's width, rows
// and callbacks would otherwise reach the first controls of the next panel).
ControlDescriptor controlDescriptor;

intptr_t getInteger(ControlRecord* control, int attribute) {
    control->get(control, attribute, &integerValue);
    return integerValue.intValue.value;
}

void setInteger(ControlRecord* control, int attribute, intptr_t value) {
    integerValue.intValue.value = value;
    control->set(control, attribute, &integerValue);
}

void setPointer(ControlRecord* control, int attribute, void* pointer) {
    setInteger(control, attribute, reinterpret_cast<intptr_t>(pointer));
}

void setEvent(ControlRecord* control, ControlEventFunc event) {
    setInteger(control, kControlEvent, reinterpret_cast<intptr_t>(event));
}

ControlRecord* addControl(PanelServices* services, PanelHandle panel, const ControlLayout& layout) {
    controlDescriptor = ControlDescriptor{};
    controlDescriptor.type = layout.type;
    controlDescriptor.width = layout.width;
    if (layout.type == kControlTypeListBox) {
        controlDescriptor.visibleRows = layout.visibleRows;
        controlDescriptor.count = keyListCount;
        controlDescriptor.name = keyListName;
    }
    return services->addControl(panel, layout.typeName, &controlDescriptor, layout.label);
}

int panelNotBuilt(PanelServices* services, PanelHandle panel) {
    if (panel != nullptr) {
        services->destroy(panel);
    }
    showError(kPanelFailure, kPanelFailureDetail);
    return kActivationFailed;
}

} // namespace

void placeControl(ControlRecord* control, int fieldX, int row) {
    const intptr_t labelWidth = getInteger(control, kControlLabelWidth);
    setInteger(control, kControlX, fieldX - labelWidth);
    setInteger(control, kControlY, static_cast<intptr_t>(row) * kRowHeight);
}

void setPanelRows(PanelServices* services, PanelHandle panel, int rows) {
    int32_t height = rows * kPanelRowHeight;
    services->set(panel, kPanelHeight, &height);
}

void loadKeyIntoControls(const KeyEditor* editor, const ShakeKey* key) {
    floatValue.floatValue.value = key->freqTime;
    editor->freqControl->set(editor->freqControl, kControlValue, &floatValue);
    vectorValue.vectorValue.value[0] = key->widthX;
    vectorValue.vectorValue.value[1] = key->widthY;
    vectorValue.vectorValue.value[2] = key->widthZ;
    editor->widthControl->set(editor->widthControl, kControlValue, &vectorValue);
    setInteger(editor->startControl, kControlValue, key->startFrame);
    setInteger(editor->endControl, kControlValue, key->endFrame);
    setInteger(editor->fallOffControl, kControlValue, key->fallOff);
}

void storeControlsIntoKey(const KeyEditor* editor, ShakeKey* key) {
    editor->freqControl->get(editor->freqControl, kControlValue, &floatValue);
    key->freqTime = floatValue.floatValue.value;
    editor->widthControl->get(editor->widthControl, kControlValue, &vectorValue);
    key->widthX = vectorValue.vectorValue.value[0];
    key->widthY = vectorValue.vectorValue.value[1];
    key->widthZ = vectorValue.vectorValue.value[2];
    key->startFrame = static_cast<int32_t>(getInteger(editor->startControl, kControlValue));
    key->endFrame = static_cast<int32_t>(getInteger(editor->endControl, kControlValue));
    key->fallOff = static_cast<int32_t>(getInteger(editor->fallOffControl, kControlValue));
}

void showKeyNumber(const KeyEditor* editor, int number) {
    char text[256];
    std::snprintf(text, sizeof text, "%d", number);
    stringValue.stringValue.text = text;
    stringValue.stringValue.length = static_cast<int32_t>(std::strlen(text));
    editor->keyNoControl->set(editor->keyNoControl, kControlValue, &stringValue);
    stringValue.stringValue.text = nullptr; // the host reads it during the call only
}

namespace {

// Adds and places every control; false when the host built one of them not.
bool buildControls(PanelServices* services, PanelHandle panel, ShakeInstance* instance,
                   ControlRecord* (&controls)[kControlCount]) {
    for (int i = 0; i < kControlCount; ++i) {
        if (i == kList) {
            // The host takes the list box's data from here when it adds it.
            services->userData = &instance->listText;
        }
        controls[i] = addControl(services, panel, kControls[i]);
        if (controls[i] == nullptr) {
            return false;
        }
    }
    for (ControlIndex i : kPlacementOrder) {
        placeControl(controls[i], kControls[i].fieldX, kControls[i].row);
    }
    setPanelRows(services, panel, kPanelRows);
    return true;
}

// The first key in the controls, numbered 1.
void showFirstKey(const KeyEditor& shown) {
    if (shown.currentKey != nullptr) {
        loadKeyIntoControls(&shown, shown.currentKey);
        showKeyNumber(&shown, 1);
    } else {
        // A scene load can leave an instance without keys: show what ADD KEY
        // would add, numbered 0, until there is a key to show.
        ShakeKey defaults;
        setDefaultKey(&defaults);
        loadKeyIntoControls(&shown, &defaults);
        showKeyNumber(&shown, 0);
    }
}

// The buttons and the list answer the user through the editor.
void wireEvents(ControlRecord* const (&controls)[kControlCount], KeyEditor* editor,
                ShakeInstance* instance) {
    setPointer(controls[kAdd], kControlUserData, editor);
    setEvent(controls[kAdd], onAddKey);
    setPointer(controls[kPrev], kControlUserData, editor);
    setEvent(controls[kPrev], onPrevKey);
    setPointer(controls[kNext], kControlUserData, editor);
    setEvent(controls[kNext], onNextKey);
    setPointer(controls[kDelete], kControlUserData, editor);
    setEvent(controls[kDelete], onDeleteKey);
    setPointer(controls[kList], kControlUserData, &instance->listText);
    setEvent(controls[kList], keyListEvent);
}

} // namespace

int runKeyEditor(PanelServices* services, ShakeInstance* instance) {
    PanelHandle panel = services->create(kTitle, services);
    if (panel == nullptr) {
        return panelNotBuilt(services, nullptr);
    }
    ControlRecord* controls[kControlCount] = {};
    if (!buildControls(services, panel, instance, controls)) {
        return panelNotBuilt(services, panel);
    }
    const KeyEditor shown = {
        services,         panel,          controls[kFreq],    controls[kWidth],
        controls[kStart], controls[kEnd], controls[kFallOff], controls[kKeyNo],
        controls[kList],  instance,       instance->firstKey,
    };
    showFirstKey(shown);

    auto* editor = static_cast<KeyEditor*>(moduleAlloc(sizeof(KeyEditor)));
    if (editor == nullptr) {
        services->destroy(panel);
        showError(kNoMemoryForEditor, nullptr);
        return kActivated;
    }
    *editor = shown;
    wireEvents(controls, editor, instance);

    rebuildKeyList(editor);
    // However the user closed the panel, the shown values are kept.
    services->open(panel, kPanelOpenFlags);
    if (editor->currentKey != nullptr) {
        storeControlsIntoKey(editor, editor->currentKey);
    }
    services->destroy(panel);
    moduleFree(editor);
    return kActivated;
}

} // namespace vrim
