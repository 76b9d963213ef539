// The host's side of the plug-in interface: every record the host passes to
// the module or takes back from it.
//
// The product is a 32-bit Windows DLL, and the host reads these records byte
// for byte, so each record keeps the host's field order and, on a 32-bit
// target, the host's exact layout (pinned by the static_asserts at the end).
// On a 64-bit build (the native tests and tools) address fields widen to
// pointer size; nothing else changes.
//
// Tags used below:
//   [host-thread]  called on the host's one thread, never concurrently.
//   [owned: X]     who releases the memory, and how long it stays valid.
#pragma once

#include <cstddef>
#include <cstdint>

extern "C" {

// ---------------------------------------------------------------------------
// Global services

// The host's global-service lookup. [host-thread]
// serviceName: NUL-terminated; useCode: the module always passes 0.
// Returns the service's record, or null when the host does not offer it.
// [owned: host; valid while the module is loaded]
typedef void* (*GlobalFunc)(const char* serviceName, int useCode);

// "Info Messages": the module uses the first two operations only.
struct MessageFuncs {
    // Shows an information message. second may be null. [host-thread]
    void (*info)(const char* first, const char* second);
    // Shows an error message. second may be null. [host-thread]
    void (*error)(const char* first, const char* second);
};

// ---------------------------------------------------------------------------
// Module descriptor and server table

// Server activation. [host-thread]
// version: the interface version the host asks for; global: the lookup above;
// local: the class's local record (handler record, or the instance for the
// interface class); serverData: not read by this module.
// Returns 0 activated, 1 version not supported, 2 a host service is missing.
typedef int (*ActivateFunc)(int32_t version, GlobalFunc global, void* local, void* serverData);

// One row of the server table. A row of three nulls ends the table.
struct ServerRecord {
    const char* serverClass; // [owned: module; static]
    const char* serverName;  // [owned: module; static]
    ActivateFunc activate;
};

// The only symbol the module exports, under the name _mod_descrip.
struct ModuleDescriptor {
    uint32_t syncMagic;     // kModuleMagic
    uint32_t systemVersion; // kModuleSystemVersion
    uint32_t machineType;   // kModuleMachineType
    // Called once after the host opened the module; returns a non-zero token
    // that the host hands back to shutdown. [host-thread]
    void* (*startup)(void);
    // Called once before the host unloads the module. [host-thread]
    void (*shutdown)(void* token);
    const ServerRecord* servers; // [owned: module; static]
};

constexpr uint32_t kModuleMagic = 0x04121994u;
constexpr uint32_t kModuleSystemVersion = 2;
constexpr uint32_t kModuleMachineType = 0x300;

// ---------------------------------------------------------------------------
// Motion handler

// Error text handed back to the host: null means success. [owned: module; static]
typedef const char* HostError;

// Read side of a scene file, passed to the handler's load callback.
struct LoadState {
    int32_t ioMode; // not read by the module
    void* readData; // handed back unchanged to read
    // Places the next line of the scene, NUL-terminated and without its line
    // end, into buffer (bufferLength characters, NUL included) and returns a
    // count that the module does not examine. [host-thread]
    int32_t (*read)(void* readData, char* buffer, int32_t bufferLength);
};

// Write side of a scene file, passed to the handler's save callback.
struct SaveState {
    int32_t ioMode;  // not read by the module
    void* writeData; // handed back unchanged to write
    // Stores text as the next line of the scene. length counts the bytes of
    // text including its terminating NUL. The result is not used. [host-thread]
    int32_t (*write)(void* writeData, const char* text, int32_t length);
};

// Position (X, Y, Z) is the only parameter the module reads and writes.
constexpr int kParamPosition = 1;

// The item's motion at one time, passed to the handler's evaluate callback.
struct MotionAccess {
    void* item;    // the item being evaluated; not read by the module
    int32_t frame; // the frame the host evaluates
    double time;   // the time the host evaluates, in seconds
    // Fills value with the item's parameter at time. [host-thread]
    void (*getParam)(int param, double time, double value[3]);
    // Makes value the item's parameter for this evaluation. [host-thread]
    void (*setParam)(int param, const double value[3]);
};

// Handler record for handler version 1: six slots. The module writes nothing
// beyond the sixth. [owned: host]
struct HandlerRecordV1 {
    void* (*create)(HostError* errorOut);
    void (*destroy)(void* instance);
    HostError (*copy)(void* from, void* to);
    HostError (*load)(void* instance, const LoadState* state);
    HostError (*save)(void* instance, const SaveState* state);
    void (*evaluate)(void* instance, const MotionAccess* access);
};

// Handler record for handler version 2: seven slots. [owned: host]
struct HandlerRecordV2 {
    void* (*create)(HostError* errorOut, void* item);
    void (*destroy)(void* instance);
    HostError (*copy)(void* from, void* to, void* unused);
    HostError (*load)(void* instance, const LoadState* state);
    HostError (*save)(void* instance, const SaveState* state);
    void (*evaluate)(void* instance, const MotionAccess* access);
    // The returned text stays valid until the next describe call.
    const char* (*describe)(void* instance);
};

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

// ---------------------------------------------------------------------------
// Layout on the 32-bit product: what the host reads byte for byte.
static_assert(sizeof(IntValue) == 40 && sizeof(FloatValue) == 40);
static_assert(sizeof(VectorValue) == 40 && sizeof(StringValue) == 40);
static_assert(sizeof(PanelValue) == 40);
static_assert(offsetof(FloatValue, value) == 8 && offsetof(VectorValue, value) == 8);
static_assert(offsetof(IntValue, value) == sizeof(intptr_t) &&
              sizeof(IntValue::value) == sizeof(void*));
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(ModuleDescriptor) == 24);
static_assert(offsetof(ModuleDescriptor, startup) == 12 &&
              offsetof(ModuleDescriptor, servers) == 20);
static_assert(sizeof(ServerRecord) == 12 && offsetof(ServerRecord, activate) == 8);
static_assert(offsetof(IntValue, value) == 4);
static_assert(offsetof(StringValue, text) == 4 && offsetof(StringValue, length) == 8);
static_assert(sizeof(ControlDescriptor) == 24 && offsetof(ControlDescriptor, count) == 16 &&
              offsetof(ControlDescriptor, name) == 20);
static_assert(sizeof(HandlerRecordV1) == 24 && sizeof(HandlerRecordV2) == 28);
static_assert(offsetof(PanelServices, set) == 28 && offsetof(PanelServices, addControl) == 32 &&
              offsetof(PanelServices, userData) == 44);
static_assert(offsetof(LoadState, read) == 8 && offsetof(SaveState, write) == 8);
#endif
