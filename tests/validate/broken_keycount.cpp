// A deliberately faulty module for the validator's own test: the real module
// in every respect but one, its load callback, which runs the real load and
// then leaves keyCount one ahead of the chain. Linked with the real entry in
// place of plugin/entry/handlers.cpp.
#include "plugin/core/keyblock.h"
#include "plugin/core/shake.h"
#include "plugin/entry/handlers.h"

namespace {

HostError loadCountingOneTooMany(void* instance, const LoadState* state) {
    HostError error = vrim::shakeLoad(instance, state);
    ++static_cast<ShakeInstance*>(instance)->keyCount;
    return error;
}

} // namespace

namespace vrim {

const HandlerRecordV1 kHandlerRecordV1 = {
    shakeCreateV1, shakeDestroy, shakeCopy, loadCountingOneTooMany, shakeSave, shakeEvaluate,
};

const HandlerRecordV2 kHandlerRecordV2 = {
    shakeCreate, shakeDestroy,  shakeCopyV2,   loadCountingOneTooMany,
    shakeSave,   shakeEvaluate, shakeDescribe,
};

} // namespace vrim
