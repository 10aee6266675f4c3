#include <gtest/gtest.h>
#include "core/kvl_object.h"
TEST(Smoke, ClassList) { EXPECT_NE(KVLClassInfo::FindClass("KVLObject"), nullptr); }
