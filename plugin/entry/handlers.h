// The motion handler's callbacks, as the host's two handler records hold them.
// The handler activation copies the one of the version asked for into the
// host's record. A module file links exactly one definition of the pair: the
// real module handlers.cpp, a faulty test module a table of its own.
#pragma once

#include "abi/handler.h"

namespace vrim {

extern const HandlerRecordV1 kHandlerRecordV1;
extern const HandlerRecordV2 kHandlerRecordV2;

} // namespace vrim
