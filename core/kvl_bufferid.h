// KVLBufferId: a registered abstract class with no behaviour of its own; kept so that
// the class list carries the full registration table.
#pragma once

#include "core/kvl_object.h"

class KVLBufferId : public KVLObject {
    KVL_DECLARE_CLASS(KVLBufferId)
public:
    ~KVLBufferId() override = 0;
};
