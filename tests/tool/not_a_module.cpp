// Library files that the host must refuse as shake modules, one per build
// definition: no descriptor, a descriptor with the wrong magic, and a module
// whose server table has no motion handler.
#include "abi/module.h"

#if !defined(NO_DESCRIPTOR)
namespace {

void* startup() {
    return reinterpret_cast<void*>(static_cast<intptr_t>(1));
}
void shutdown(void*) {}
int activate(int32_t, GlobalFunc, void*, void*) {
    return 0;
}

const ServerRecord servers[] = {
    {"ItemMotionInterface", "VRIM_S", activate},
    {nullptr, nullptr, nullptr},
};

} // namespace
#endif

#if defined(NO_DESCRIPTOR)
extern "C" VRIM_EXPORT int notAModule() {
    return 0;
}
#elif defined(WRONG_MAGIC)
extern "C" VRIM_EXPORT const ModuleDescriptor _mod_descrip = {
    0x12345678u, kModuleSystemVersion, kModuleMachineType, startup, shutdown, servers,
};
#elif defined(NO_HANDLER)
extern "C" VRIM_EXPORT const ModuleDescriptor _mod_descrip = {
    kModuleMagic, kModuleSystemVersion, kModuleMachineType, startup, shutdown, servers,
};
#endif
