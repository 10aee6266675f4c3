// KVLBufferId's class record.
#include "core/kvl_bufferid.h"

KVLBufferId::~KVLBufferId() = default;

KVL_IMPLEMENT_ABSTRACT_CLASS(KVLBufferId, KVLObject);
