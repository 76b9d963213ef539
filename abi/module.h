// The host's records for opening a module: the global-service lookup, the
// "Info Messages" service, the module descriptor and its server table, and the
// names and result codes that go with them. Nothing here belongs to the
// plug-in; every plug-in of this host sees the same records.
//
// The product is a 32-bit Windows DLL, and the host reads these records byte
// for byte, so each record keeps the host's field order and, on a 32-bit
// target, the host's exact layout (pinned by the static_asserts at the end).
// On a 64-bit build (the native tests and tools) address fields widen to
// pointer size; nothing else changes. Callbacks use the compiler's default
// calling convention, which is the host's (cdecl on 32-bit Windows).
//
// Tags used below:
//   [host-thread]  called on the host's one thread, never concurrently.
//   [owned: X]     who releases the memory, and how long it stays valid.
#pragma once

#include <cstddef>
#include <cstdint>

// Marks the symbols a module file shows the host (and nothing else).
#if defined(_WIN32)
#define VRIM_EXPORT __declspec(dllexport)
#else
#define VRIM_EXPORT __attribute__((visibility("default")))
#endif

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

} // extern "C"

// Global services, by the names the host offers them under, and the record
// each answers with.
constexpr const char* kServiceInfoMessages = "Info Messages"; // MessageFuncs
constexpr const char* kServicePanels = "LWPanelServices";     // PanelServices (abi/panel.h)
// Looked up as the host's own plug-ins do; their records are not read.
constexpr const char* kServiceObjectInfo = "LW Object Info";
constexpr const char* kServiceItemInfo = "LW Item Info";

// Activation results.
constexpr int kActivated = 0;
constexpr int kVersionNotSupported = 1;
// A host service is missing, or the server could not do its work.
constexpr int kActivationFailed = 2;

// Server classes of an item's motion: the handler and its options panel.
constexpr const char* kHandlerClass = "ItemMotionHandler";
constexpr const char* kInterfaceClass = "ItemMotionInterface";

#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(ModuleDescriptor) == 24);
static_assert(offsetof(ModuleDescriptor, startup) == 12 &&
              offsetof(ModuleDescriptor, servers) == 20);
static_assert(sizeof(ServerRecord) == 12 && offsetof(ServerRecord, activate) == 8);
#endif
