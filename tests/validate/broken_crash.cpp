// A deliberately faulty module for the validator's own test: the real module
// but for its evaluate callback, which aborts, as a module that trips over
// its own assertion does. The validator must report the check it was running
// and the signal, from inside its crash handler. Linked with the real entry
// in place of plugin/entry/handlers.cpp.
#include "plugin/core/keyblock.h"
#include "plugin/core/shake.h"
#include "plugin/entry/handlers.h"

#include <cstdlib>

namespace {

void evaluateAborting(void* /*instance*/, const MotionAccess* /*access*/) {
    std::abort();
}

} // namespace

namespace vrim {

const HandlerRecordV1 kHandlerRecordV1 = {
    shakeCreateV1, shakeDestroy, shakeCopy, shakeLoad, shakeSave, evaluateAborting,
};

const HandlerRecordV2 kHandlerRecordV2 = {
    shakeCreate, shakeDestroy, shakeCopyV2, shakeLoad, shakeSave, evaluateAborting, shakeDescribe,
};

} // namespace vrim
