// Class-list ranks of the image readers (see core/kvl_classranks.h).
#pragma once

#include "core/kvl_classranks.h"

KVL_CLASS_RANK(KVLImageReader, 14)
KVL_CLASS_RANK(KVLImageReaderBMP, 15)
KVL_CLASS_RANK(KVLImageReaderJPG, 16)
KVL_CLASS_RANK(KVLImageReaderPCX, 17)
KVL_CLASS_RANK(KVLImageReaderTGA, 18)
