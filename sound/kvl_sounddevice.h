// The platform's own sound output: the one the demo and `kvl play` play through.
// Each backend folder defines KVLCreateSoundOutput (an SDL audio device on Linux,
// DirectSound on Windows), so callers need not name the backend's class.
#pragma once

#include <cstdint>
#include <memory>

#include "sound/kvl_soundoutput.h"

// deviceIndex: -1 for the default output device, else an index into the backend's list.
// The output is not opened yet.
std::unique_ptr<KVLSoundOutput> KVLCreateSoundOutput(int32_t deviceIndex);
