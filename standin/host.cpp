#include "standin/standin.h"

#include <cassert>
#include <cstring>

namespace standin {

namespace {

Host* liveHost = nullptr;

void* hostGlobal(const char* service, int /*useCode*/) {
    return liveHost != nullptr ? liveHost->lookup(service) : nullptr;
}

void record(bool error, const char* first, const char* second) {
    if (liveHost == nullptr) {
        return;
    }
    Message message;
    message.error = error;
    message.first = first != nullptr ? first : "";
    message.hasSecond = second != nullptr;
    message.second = second != nullptr ? second : "";
    liveHost->messages.push_back(message);
}

void hostInfo(const char* first, const char* second) {
    record(false, first, second);
}
void hostError(const char* first, const char* second) {
    record(true, first, second);
}

void logMotion(Host& host, bool set, int param, double time, const double value[3]) {
    if (!host.logMotion) {
        return;
    }
    MotionCall call;
    call.set = set;
    call.param = param;
    call.time = time;
    std::memcpy(call.value, value, sizeof call.value);
    host.motionLog.push_back(call);
}

void hostGetParam(int param, double time, double value[3]) {
    Host& host = *liveHost;
    std::memcpy(value, host.position, sizeof host.position);
    ++host.getCalls;
    logMotion(host, false, param, time, value);
}

// A set carries no time: the log keeps 0.
void hostSetParam(int param, const double value[3]) {
    Host& host = *liveHost;
    std::memcpy(host.position, value, sizeof host.position);
    ++host.setCalls;
    logMotion(host, true, param, 0.0, value);
}

} // namespace

Host::Host() {
    assert(liveHost == nullptr && "one stand-in host at a time");
    liveHost = this;
    messageFuncs_.info = hostInfo;
    messageFuncs_.error = hostError;
}

Host::~Host() {
    liveHost = nullptr;
}

Host* Host::current() {
    return liveHost;
}

void Host::offer(const std::string& service, bool on) {
    if (on) {
        switchedOff_.erase(service);
    } else {
        switchedOff_.insert(service);
    }
}

GlobalFunc Host::global() const {
    return hostGlobal;
}

void* Host::lookup(const char* service) {
    std::string name = service != nullptr ? service : "";
    lookups.push_back(name);
    if (switchedOff_.count(name) != 0) {
        return nullptr;
    }
    if (name == kServiceInfoMessages) {
        return &messageFuncs_;
    }
    if (name == kServicePanels) {
        return panelServices;
    }
    if (name == kServiceObjectInfo) {
        return &objectInfo_;
    }
    if (name == kServiceItemInfo) {
        return &itemInfo_;
    }
    return nullptr;
}

MotionAccess Host::motionAccess(int32_t frame, double time) {
    MotionAccess access{};
    access.item = this;
    access.frame = frame;
    access.time = time;
    access.getParam = hostGetParam;
    access.setParam = hostSetParam;
    return access;
}

// A version-1 activation wrote the six slots of the shorter record.
static HandlerRecordV1 asVersion1(const HandlerRecordV2& record) {
    HandlerRecordV1 v1;
    std::memcpy(&v1, &record, sizeof v1);
    return v1;
}

int Handler::activate(const ModuleFile& module, Host& host, const std::string& serverName,
                      int32_t handlerVersion) {
    ActivateFunc activateHandler = module.findServer(kHandlerClass, serverName);
    if (activateHandler == nullptr) {
        return -1;
    }
    version = handlerVersion;
    record = HandlerRecordV2{};
    return activateHandler(handlerVersion, host.global(), &record, nullptr);
}

void* Handler::create(HostError* error) const {
    HostError ignored = nullptr;
    HostError* out = error != nullptr ? error : &ignored;
    if (version == 1) {
        return asVersion1(record).create(out);
    }
    return record.create(out, nullptr);
}

HostError Handler::copy(void* from, void* to) const {
    if (version == 1) {
        return asVersion1(record).copy(from, to);
    }
    return record.copy(from, to, nullptr);
}

bool Handler::evaluate(Host& host, void* instance, int32_t frame, double time) const {
    MotionAccess access = host.motionAccess(frame, time);
    const int64_t setsBefore = host.setCalls;
    record.evaluate(instance, &access);
    return host.setCalls != setsBefore;
}

} // namespace standin
