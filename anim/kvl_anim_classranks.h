// Class-list ranks of the animations (see core/kvl_classranks.h).
#pragma once

#include "core/kvl_classranks.h"

KVL_CLASS_RANK(KVLAnim, 22)
KVL_CLASS_RANK(KVLAnimMLZ, 23)
