#include "panel/keyeditor.h"

int runKeyEditor(PanelServices* /*services*/, ShakeInstance* /*instance*/) { return 2; }
