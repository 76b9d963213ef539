#include "bench/session.h"
#include "plugin/identity.h"

#include "support/chains.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace bench {

namespace {

Session* live = nullptr;

} // namespace

Session& session() {
    if (live != nullptr) {
        return *live;
    }
    live = new Session();
    std::string error;
    const std::string path = standin::executableDirectory() + "vrim_s.p";
    live->module = standin::ModuleFile::open(path, error);
    if (live->module == nullptr) {
        std::fprintf(stderr, "%s\n", error.c_str());
        std::exit(1);
    }
    if (live->handler.activate(*live->module, live->host, vrim::kServerName) != 0) {
        std::fprintf(stderr, "%s: the motion handler does not activate\n", path.c_str());
        std::exit(1);
    }
    // A host keeps no log of the positions it hands out: get and set are a
    // copy and a counter, as cheap as the host can make them.
    live->host.logMotion = false;
    return *live;
}

ShakeInstance* chainInstance(const std::vector<ShakeKey>& keys) {
    Session& s = session();
    // makeInstance takes each key from a donor instance, which scatters the
    // keys between 64 KB instances; the module's own copy lays the chain out
    // the way a loaded scene has it.
    ShakeInstance* scattered = testsupport::makeInstance(s.handler, keys);
    auto* instance = static_cast<ShakeInstance*>(s.handler.create());
    if (instance == nullptr || s.handler.copy(scattered, instance) != nullptr) {
        std::fprintf(stderr, "no memory for a chain of %zu keys\n", keys.size());
        std::exit(1);
    }
    s.handler.destroy(scattered);
    s.instances.push_back(instance);
    return instance;
}

void endSession() {
    if (live == nullptr) {
        return;
    }
    for (ShakeInstance* instance : live->instances) {
        live->handler.destroy(instance);
    }
    delete live;
    live = nullptr;
}

} // namespace bench
