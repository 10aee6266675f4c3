// Class-list ranks of the sound streamers (see core/kvl_classranks.h).
#pragma once

#include "core/kvl_classranks.h"

KVL_CLASS_RANK(KVLSoundStreamer, 19)
KVL_CLASS_RANK(KVLSoundStreamerCapture, 20)
KVL_CLASS_RANK(KVLSoundStreamerMP3, 21)
// Added after the animation classes (22, 23): the earlier ranks stay as they were.
KVL_CLASS_RANK(KVLSoundStreamerWAV, 24)
