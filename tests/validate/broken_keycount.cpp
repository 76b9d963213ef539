// A deliberately faulty module for the validator's own test: the real module
// in every respect but one, its load callback, which runs the real load and
// then leaves keyCount one ahead of the chain. The handler's tables in
// module.cpp pick the faulty callback up through the macro below.
#include "plugin/core/keyblock.h"
#include "plugin/core/shake.h"

namespace {

HostError loadCountingOneTooMany(void* instance, const LoadState* state) {
    HostError error = shakeLoad(instance, state);
    ++static_cast<ShakeInstance*>(instance)->keyCount;
    return error;
}

} // namespace

#define shakeLoad loadCountingOneTooMany
#include "plugin/entry/module.cpp"
