// The class list: registration order, lookup, derivation, factories.
#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <vector>

#include "core/kvl_bufferid.h"
#include "core/kvl_object.h"

namespace {

// The engine's registration table, first registered first.
const char* const kRegistrationOrder[] = {
    "ZRNNode",           "ZRNNodeCamera",           "ZRNNodeFog",        "ZRNNodeFoo",
    "ZRNNodeJoint",      "ZRNNodeMaterial",         "ZRNNodeMesh",       "ZRNNodeTransformation",
    "ZRNMeshReader",     "ZRNMeshReaderMD2",        "ZRNMeshReaderMD3",  "KVLObject",
    "KVLBufferId",       "KVLImageReader",          "KVLImageReaderBMP", "KVLImageReaderJPG",
    "KVLImageReaderPCX", "KVLImageReaderTGA",       "KVLSoundStreamer",  "KVLSoundStreamerCapture",
    "KVLSoundStreamerMP3", "KVLAnim",               "KVLAnimMLZ",       "KVLSoundStreamerWAV",
};

std::vector<std::string> ListNames() {
    std::vector<std::string> names;
    for (const KVLClassInfo* c = KVLClassInfo::GetFirst(); c != nullptr; c = c->GetNext()) {
        names.emplace_back(c->GetName().c_str());
    }
    return names;
}

}  // namespace

TEST(ClassList, HoldsEveryClassNewestFirstInRegistrationOrder) {
    // The test program links the whole engine: every registered class is in the list,
    // newest first, with the ranks 1, 2, 3 ... of the table.
    std::vector<std::string> expected(std::rbegin(kRegistrationOrder), std::rend(kRegistrationOrder));
    EXPECT_EQ(ListNames(), expected);
    int rank = static_cast<int>(std::size(kRegistrationOrder));
    for (const KVLClassInfo* c = KVLClassInfo::GetFirst(); c != nullptr; c = c->GetNext()) {
        EXPECT_EQ(c->GetRank(), rank--) << c->GetName().c_str();
    }
}

TEST(ClassList, FindClassIsExactAndCaseSensitive) {
    const KVLClassInfo* object = KVLClassInfo::FindClass("KVLObject");
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(object, &KVLObject::classKVLObject);
    EXPECT_EQ(KVLClassInfo::FindClass("kvlobject"), nullptr);
    EXPECT_EQ(KVLClassInfo::FindClass("KVLObjec"), nullptr);
    EXPECT_EQ(KVLClassInfo::FindClass("NoSuchClass"), nullptr);
    EXPECT_EQ(KVLClassInfo::FindClass(nullptr), nullptr);
    EXPECT_EQ(KVLClassInfo::FindClass("KVLBufferId"), &KVLBufferId::classKVLBufferId);
}

TEST(ClassList, DerivationAndAbstractness) {
    const KVLClassInfo* object = &KVLObject::classKVLObject;
    const KVLClassInfo* buffer = &KVLBufferId::classKVLBufferId;
    EXPECT_TRUE(buffer->IsDerivedFrom(object));
    EXPECT_TRUE(buffer->IsDerivedFrom(buffer));
    EXPECT_FALSE(object->IsDerivedFrom(buffer));
    EXPECT_EQ(object->GetParent(), nullptr);
    EXPECT_EQ(buffer->GetParent(), object);
    EXPECT_TRUE(object->IsAbstract());
    EXPECT_TRUE(buffer->IsAbstract());
    EXPECT_EQ(buffer->CreateInstance(), nullptr);
    EXPECT_EQ(KVLCreateAs<KVLObject>(buffer), nullptr);
    EXPECT_GT(buffer->GetInstanceSize(), 0);
}

TEST(ClassList, EveryConcreteClassCreatesInstancesOfItself) {
    for (const KVLClassInfo* c = KVLClassInfo::GetFirst(); c != nullptr; c = c->GetNext()) {
        EXPECT_TRUE(c->IsDerivedFrom(&KVLObject::classKVLObject)) << c->GetName().c_str();
        if (c->IsAbstract()) {
            continue;
        }
        std::unique_ptr<KVLObject> obj = c->CreateInstance();
        ASSERT_NE(obj, nullptr) << c->GetName().c_str();
        EXPECT_EQ(obj->GetClass(), c);
        EXPECT_TRUE(obj->IsKindOf(c));
        EXPECT_TRUE(obj->IsKindOf(&KVLObject::classKVLObject));
    }
}
