#include "scene/keyblock.h"

HostError shakeLoad(void* /*instance*/, const LoadState* /*state*/) { return nullptr; }
HostError shakeSave(void* /*instance*/, const SaveState* /*state*/) { return nullptr; }
