// The module's handler records: the callbacks of plugin/core.
#include "plugin/entry/handlers.h"

#include "plugin/core/keyblock.h"
#include "plugin/core/shake.h"

namespace vrim {

const HandlerRecordV1 kHandlerRecordV1 = {
    shakeCreateV1, shakeDestroy, shakeCopy, shakeLoad, shakeSave, shakeEvaluate,
};

const HandlerRecordV2 kHandlerRecordV2 = {
    shakeCreate, shakeDestroy, shakeCopyV2, shakeLoad, shakeSave, shakeEvaluate, shakeDescribe,
};

} // namespace vrim
