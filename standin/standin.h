// The stand-in host: loads a module file and drives it exactly as the
// animation host does, through _mod_descrip, its server table and the
// records of abi/. The server to activate is the caller's to name. Tests,
// tools and benchmarks call the module through it; to judge what the module
// did they also read the instance and key records its callbacks hand back,
// which only a program built from the same sources may do.
//
// The host's callbacks (the global-service function, messages, get and set of
// a parameter) carry no data pointer, so they reach the one live Host through
// a pointer it sets while it lives (Host::current() returns it). Only one
// Host may exist at a time.
#pragma once

#include "abi/handler.h"
#include "abi/module.h"
#include "abi/panel.h"
#include "abi/probe.h"

#include <memory>
#include <set>
#include <string>
#include <vector>

namespace standin {

// A module file opened the way the host opens one: load the library, read
// _mod_descrip, check the magic, call startup. Shutdown and unload on
// destruction.
class ModuleFile {
  public:
    // Why open gave no module: the file is no library this system loads, a
    // library that exports no module descriptor, or a module that the host
    // refuses (wrong magic, failed startup).
    enum class Refusal { None, NotALibrary, NoDescriptor, Refused };
    // Null with error set to one line saying what is wrong with the file, and
    // *refusal, when given, set to why.
    static std::unique_ptr<ModuleFile> open(const std::string& path, std::string& error,
                                            Refusal* refusal = nullptr);
    ~ModuleFile();
    ModuleFile(const ModuleFile&) = delete;
    ModuleFile& operator=(const ModuleFile&) = delete;

    const ModuleDescriptor& descriptor() const { return *descriptor_; }
    // The server table's rows before the all-zero row.
    std::vector<ServerRecord> servers() const;
    // The activation function of the server with this class and name, or null.
    ActivateFunc findServer(const std::string& serverClass, const std::string& name) const;
    // Any exported symbol, or null.
    void* symbol(const char* name) const;
    // The test build's allocation probe; null for the shipped module.
    MemoryProbe* memoryProbe() const;
    const std::string& path() const { return path_; }

  private:
    ModuleFile() = default;
    void* library_ = nullptr;
    const ModuleDescriptor* descriptor_ = nullptr;
    void* startupToken_ = nullptr;
    std::string path_;
};

// A message shown through "Info Messages".
struct Message {
    bool error = false;
    std::string first;
    bool hasSecond = false; // false: the module passed null
    std::string second;
};

// One call of get-parameter or set-parameter.
struct MotionCall {
    bool set = false;
    int param = 0;
    double time = 0.0;
    double value[3] = {0.0, 0.0, 0.0};
};

// The host's services as the module sees them.
class Host {
  public:
    Host();
    ~Host();
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;
    static Host* current();

    // --- global services
    // Every service is offered unless switched off. "LWPanelServices" answers
    // with panelServices, which is null until a panel host provides one.
    void offer(const std::string& service, bool on);
    GlobalFunc global() const;
    std::vector<std::string> lookups; // service names asked for, in order
    PanelServices* panelServices = nullptr;

    // --- messages shown by the module
    std::vector<Message> messages;

    // --- motion: get-parameter answers position; both calls are logged.
    double position[3] = {0.0, 0.0, 0.0};
    std::vector<MotionCall> motionLog;
    bool logMotion = true; // benchmarks switch the log off; the counts go on
    int64_t getCalls = 0, setCalls = 0;
    MotionAccess motionAccess(int32_t frame, double time);

    // Lookup of one service, as the module makes it (logged).
    void* lookup(const char* service);

  private:
    std::set<std::string> switchedOff_;
    MessageFuncs messageFuncs_{};
    int itemInfo_ = 0, objectInfo_ = 0; // addresses handed out as service records
};

// The motion handler server of a module, activated at version 2 (or 1), with
// its callbacks ready to call.
struct Handler {
    int32_t version = 2;
    HandlerRecordV2 record{}; // version 1 fills the first six slots only
    // Activates the module's "ItemMotionHandler" server of this name; returns
    // the activation code, or -1 when the module has no such server.
    int activate(const ModuleFile& module, Host& host, const std::string& serverName,
                 int32_t handlerVersion = 2);

    void* create(HostError* error = nullptr) const;
    void destroy(void* instance) const { record.destroy(instance); }
    HostError copy(void* from, void* to) const;
    HostError load(void* instance, const LoadState& state) const {
        return record.load(instance, &state);
    }
    HostError save(void* instance, const SaveState& state) const {
        return record.save(instance, &state);
    }
    // Evaluates at frame and time with the host's position as the item's
    // position; true when the module set a new position (left in host.position).
    bool evaluate(Host& host, void* instance, int32_t frame, double time) const;
};

// The folder of the running executable, with a trailing separator.
std::string executableDirectory();

} // namespace standin
