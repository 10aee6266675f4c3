// Where the running program's executable lives, so that files shipped next to it (the
// demo's archive) are found whatever the current folder is.
#pragma once

#include "core/kvl_string.h"

// The folder of the running executable, ending with the system's path separator;
// empty when the system does not tell.
KVLString KVLGetProgramFolder();
