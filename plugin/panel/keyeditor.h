// The key editor: the interface server's modal panel over one instance's keys,
// its list of key lines and its four key buttons.
#pragma once

#include "abi/panel.h"
#include "plugin/core/shake.h"

// What the panel's callbacks share while the panel is open. Owns nothing: the
// instance and its keys belong to the handler, the panel and controls to the
// host. currentKey is always a key of the instance's chain, or null while the
// chain is empty.
struct KeyEditor {
    PanelServices* services;
    PanelHandle panel;
    ControlRecord* freqControl;    // "Freqency Time"
    ControlRecord* widthControl;   // "Freq Width X,Y,Z"
    ControlRecord* startControl;   // "StartFrame"
    ControlRecord* endControl;     // "EndFrame"
    ControlRecord* fallOffControl; // "FallOff"
    ControlRecord* keyNoControl;   // "KEY_NO"
    ControlRecord* listControl;    // "Key List"
    ShakeInstance* instance;
    ShakeKey* currentKey; // the key whose values the value controls show
};

namespace vrim {

// Builds the panel for instance, runs it until the user closes it, writes the
// shown values back into the current key and destroys the panel. Returns the
// activation code: 0 done, 2 the panel could not be built (after the message
// "Duoooh!:" "Unable to create panel"). When there is no memory for the
// editor once the panel is built, it shows "Couldn't allocate memory !!",
// destroys the panel without opening it and still returns 0.
int runKeyEditor(PanelServices* services, ShakeInstance* instance);

// Layout: the control's field begins at fieldX, its label ends there; the
// control sits on row (20 high). The panel is rows × 26 high.
void placeControl(ControlRecord* control, int fieldX, int row);
void setPanelRows(PanelServices* services, PanelHandle panel, int rows);

// Moving values between a key and the value controls. They use the editor's
// control fields only, so they work before the editor is on the heap.
void loadKeyIntoControls(const KeyEditor* editor, const ShakeKey* key);
void storeControlsIntoKey(const KeyEditor* editor, ShakeKey* key);
// "KEY_NO" shows number as decimal text.
void showKeyNumber(const KeyEditor* editor, int number);

// The list: one line per key in chain order (at most kKeyListLines), read by
// the list box through the services' user data; redraws the list box.
void rebuildKeyList(const KeyEditor* editor);
// Writes key's line, cut to kKeyListLineSize - 1 characters, into line.
void formatKeyLine(const ShakeKey* key, char* line);

// The list box's callbacks; data is the instance's KeyListText.
int keyListCount(void* data);
const char* keyListName(void* data, int index);
void keyListEvent(ControlRecord* control, void* data);

// The key buttons' event callbacks; editor is the KeyEditor.
void onAddKey(ControlRecord* control, void* editor);
void onDeleteKey(ControlRecord* control, void* editor);
void onPrevKey(ControlRecord* control, void* editor);
void onNextKey(ControlRecord* control, void* editor);

} // namespace vrim
