// The key editor: the interface server's modal panel over one instance's keys.
#pragma once

#include "host/lwhost.h"
#include "shake/shake.h"

// Builds the panel for instance, runs it until the user closes it, writes the
// shown values back into the current key and destroys the panel. Returns the
// activation code: 0 done, 2 the panel could not be built.
int runKeyEditor(PanelServices* services, ShakeInstance* instance);
