// The host's panel services ("LWPanelServices"): panels, controls, their
// descriptors and the typed values exchanged with them. Layout rules as in
// abi/module.h.
#pragma once

#include <cstddef>
#include <cstdint>

extern "C" {

// ---------------------------------------------------------------------------
// Panel services ("LWPanelServices", offered by the host plug-in lwpanels.p)

typedef void* PanelHandle;
struct ControlRecord;

// Typed values exchanged with a control's get and set entries. Each record is
// 40 bytes and begins with its type code; the module keeps one of each kind.
constexpr int32_t kValueString = 1;
constexpr int32_t kValueInteger = 2;
constexpr int32_t kValueFloat = 3;
constexpr int32_t kValueVector = 6;

// Also carries positions, label widths, user data and event callbacks, so the
// value is pointer-wide: 32 bits in the product, 64 bits on a 64-bit build.
struct IntValue {
    int32_t type; // kValueInteger
    intptr_t value;
    int32_t reserved[(40 - 2 * sizeof(intptr_t)) / 4];
};

struct FloatValue {
    int32_t type; // kValueFloat
    int32_t fill; // alignment of value
    double value;
    int32_t reserved[6];
};

struct VectorValue {
    int32_t type; // kValueVector
    int32_t fill; // alignment of value
    double value[3];
    int32_t reserved[2];
};

struct StringValue {
    int32_t type;   // kValueString
    char* text;     // [owned: the caller of set; read during the call only]
    int32_t length; // characters of text, terminator not counted
    int32_t reserved[(40 - 2 * sizeof(void*) - 4) / 4];
};

// Any value record; the host looks at type first.
union PanelValue {
    int32_t type;
    IntValue intValue;
    FloatValue floatValue;
    VectorValue vectorValue;
    StringValue stringValue;
};

// A control's event callback. [host-thread; inside the panel's open call]
typedef void (*ControlEventFunc)(ControlRecord* control, void* userData);
// A list box's row count. [host-thread]
typedef int (*ListCountFunc)(void* data);
// A list box's row text, or null when there is no such row. [host-thread]
// [owned: the callee; valid until the list changes]
typedef const char* (*ListNameFunc)(void* data, int index);

// Passed to the add-a-control entry; only the fields a control needs are set.
struct ControlDescriptor {
    int32_t type;
    int32_t width;
    int32_t visibleRows;
    int32_t reserved; // always 0
    ListCountFunc count;
    ListNameFunc name;
};

// Returned by the add-a-control entry. [owned: host; valid until the panel is
// destroyed] The host's own record may continue beyond these three entries.
struct ControlRecord {
    void (*draw)(ControlRecord* control, int mode);
    void (*get)(ControlRecord* control, int attribute, PanelValue* value);
    void (*set)(ControlRecord* control, int attribute, PanelValue* value);
};

// Control attributes.
constexpr int kControlX = 0;
constexpr int kControlY = 1;
constexpr int kControlValue = 4;
constexpr int kControlLabelWidth = 9;
constexpr int kControlEvent = 14;
constexpr int kControlUserData = 16;
// Panel attributes.
constexpr int kPanelHeight = 3;
// Draw mode that redraws a control in full.
constexpr int kDrawRefresh = 3;
// Flags the module passes to open.
constexpr int kPanelOpenFlags = 7;

// Control descriptor type codes.
constexpr int32_t kControlTypeString = 1;
constexpr int32_t kControlTypeInteger = 2;
constexpr int32_t kControlTypeFloat = 3;
constexpr int32_t kControlTypeVector = 6;
constexpr int32_t kControlTypeBool = 8;
constexpr int32_t kControlTypeListBox = 18;

// The record behind "LWPanelServices". [owned: host]
struct PanelServices {
    // 1: creates a panel titled title; returns null on failure.
    PanelHandle (*create)(const char* title, PanelServices* services);
    // 2: destroys a panel and its controls.
    void (*destroy)(PanelHandle panel);
    // 3: shows the panel and runs its event loop; returns once the user closed it.
    int (*open)(PanelHandle panel, int flags);
    // 4 to 7: not called by the module.
    void (*unused4)(void);
    void (*unused5)(void);
    void (*unused6)(void);
    void (*unused7)(void);
    // 8: sets a panel attribute from the integer that value points at.
    void (*set)(PanelHandle panel, int attribute, void* value);
    // 9: adds a control of the named type; returns null on failure.
    ControlRecord* (*addControl)(PanelHandle panel, const char* typeName,
                                 ControlDescriptor* descriptor, const char* label);
    // 10 and 11: not called by the module.
    void (*unused10)(void);
    void (*unused11)(void);
    // 12: data the module stores here before adding a list box; the host
    // reads it when the list box is added and hands it to the list callbacks.
    void* userData;
};

} // extern "C"

// Control types, by the names the add-a-control entry takes.
constexpr const char* kControlNameFloat = "FloatControl";
constexpr const char* kControlNameVector = "FVecControl";
constexpr const char* kControlNameInteger = "NumControl";
constexpr const char* kControlNameBool = "BoolControl";
constexpr const char* kControlNameButton = "ButtonControl";
constexpr const char* kControlNameInfo = "InfoControl";
constexpr const char* kControlNameListBox = "ListBoxControl";

// ---------------------------------------------------------------------------
// Layout: what the host reads byte for byte. The value records keep their
// size and the place of their value on every build; the offsets that move
// with the width of a pointer are checked on the 32-bit product.
static_assert(sizeof(IntValue) == 40 && sizeof(FloatValue) == 40);
static_assert(sizeof(VectorValue) == 40 && sizeof(StringValue) == 40);
static_assert(sizeof(PanelValue) == 40);
static_assert(offsetof(FloatValue, value) == 8 && offsetof(VectorValue, value) == 8);
static_assert(offsetof(IntValue, value) == sizeof(intptr_t) &&
              sizeof(IntValue::value) == sizeof(void*));
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(offsetof(IntValue, value) == 4);
static_assert(offsetof(StringValue, text) == 4 && offsetof(StringValue, length) == 8);
static_assert(sizeof(ControlDescriptor) == 24 && offsetof(ControlDescriptor, count) == 16 &&
              offsetof(ControlDescriptor, name) == 20);
static_assert(offsetof(PanelServices, set) == 28 && offsetof(PanelServices, addControl) == 32 &&
              offsetof(PanelServices, userData) == 44);
#endif
