// The page puts the program's files (the archive) at the root of its in-memory file
// system, which is where the program lives as far as it can tell.
#include "platform/kvl_programpath.h"

KVLString KVLGetProgramFolder() { return KVLString("/"); }
