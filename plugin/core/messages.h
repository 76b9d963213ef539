// The module-wide reference to the host's "Info Messages" service, and the
// two ways the module shows a message through it.
#pragma once

#include "abi/module.h"

namespace vrim {

// Set by every interface activation that gets past its version test; null
// until then, and null again after an activation whose lookup failed.
extern const MessageFuncs* messageService;

// Both drop the message silently while messageService is null: a scene can
// be loaded (and run out of memory) before any panel has been opened.
void showInfo(const char* first, const char* second);
void showError(const char* first, const char* second);

} // namespace vrim
