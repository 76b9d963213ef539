// The handler's load and save callbacks: an instance's keys as a block of
// scene-file lines from "VRIM_START" to "VRIM_END".
#pragma once

#include "abi/handler.h"

namespace vrim {

HostError shakeLoad(void* instance, const LoadState* state);
HostError shakeSave(void* instance, const SaveState* state);

} // namespace vrim
