// KVLArray growth rule and element moves.
#include <gtest/gtest.h>

#include <vector>

#include "core/kvl_array.h"

TEST(KVLArray, DefaultGrowthCapacitiesByInsertion) {
    KVLArray<int> a;
    EXPECT_EQ(a.GetCapacity(), 0);
    EXPECT_EQ(a.GetData(), nullptr);
    // (insertion number, capacity after it)
    const std::vector<std::pair<int, int>> expected = {
        {1, 32}, {32, 32}, {33, 64}, {65, 128}, {129, 256}, {257, 512}, {513, 1024},
        {1024, 1024}, {1025, 2048}, {2049, 3072}, {3073, 4096}, {4097, 5120}};
    size_t next = 0;
    for (int i = 1; i <= 4097; ++i) {
        a.Add(i);
        if (next < expected.size() && expected[next].first == i) {
            EXPECT_EQ(a.GetCapacity(), expected[next].second) << "after insertion " << i;
            ++next;
        }
    }
    EXPECT_EQ(next, expected.size());
    for (int i = 0; i < a.GetCount(); ++i) {
        ASSERT_EQ(a[i], i + 1);
    }
}

TEST(KVLArray, GrowthRuleForReserve) {
    const struct {
        int need;
        int capacity;
    } cases[] = {{1, 32}, {32, 32}, {33, 64}, {1000, 1024}, {1023, 1024}, {1024, 1024}, {1025, 2048}, {5000, 5120}};
    for (const auto& c : cases) {
        KVLArray<char> a;
        a.Reserve(c.need);
        EXPECT_EQ(a.GetCapacity(), c.capacity) << c.need;
        EXPECT_EQ(a.GetCount(), 0);
    }
}

TEST(KVLArray, FixedGrowStep) {
    KVLArray<int> a(10);
    a.Add(1);
    EXPECT_EQ(a.GetCapacity(), 10);
    for (int i = 0; i < 10; ++i) a.Add(i);
    EXPECT_EQ(a.GetCapacity(), 20);
    KVLArray<int> b(7);
    b.Reserve(30);
    EXPECT_EQ(b.GetCapacity(), 35);
}

TEST(KVLArray, InsertAtFrontKeepsOrder) {
    KVLArray<int> a;
    a.Add(1);
    a.Add(2);
    a.Add(3);
    a.InsertAt(0, 9);
    ASSERT_EQ(a.GetCount(), 4);
    EXPECT_EQ(a[0], 9);
    EXPECT_EQ(a[1], 1);
    EXPECT_EQ(a[2], 2);
    EXPECT_EQ(a[3], 3);
    a.InsertAt(2, 7);
    EXPECT_EQ(a[2], 7);
    EXPECT_EQ(a[3], 2);
    a.InsertAt(99, 5);  // out of range: ignored
    EXPECT_EQ(a.GetCount(), 5);
}

TEST(KVLArray, InsertOfOwnElementAcrossReallocation) {
    KVLArray<int> a;
    for (int i = 0; i < 32; ++i) a.Add(i * 3);
    a.Add(a[5]);  // the reference points into storage that the insertion moves
    EXPECT_EQ(a.GetCapacity(), 64);
    EXPECT_EQ(a[32], 15);
}

TEST(KVLArray, RemoveAllKeepsStorageRemoveAtShifts) {
    KVLArray<int> a;
    for (int i = 0; i < 40; ++i) a.Add(i);
    a.RemoveAt(0);
    EXPECT_EQ(a.GetCount(), 39);
    EXPECT_EQ(a[0], 1);
    EXPECT_EQ(a[38], 39);
    const int capacity = a.GetCapacity();
    a.RemoveAll();
    EXPECT_EQ(a.GetCount(), 0);
    EXPECT_EQ(a.GetCapacity(), capacity);
    EXPECT_NE(a.GetData(), nullptr);
}

TEST(KVLArray, CopiesAreIndependent) {
    struct Record {
        int id;
        float weight;
    };
    KVLArray<Record> a;
    a.Add({1, 0.5f});
    a.Add({2, 1.5f});
    KVLArray<Record> b(a);
    b[0].id = 7;
    EXPECT_EQ(a[0].id, 1);
    EXPECT_EQ(b.GetCount(), 2);
    EXPECT_FLOAT_EQ(b[1].weight, 1.5f);
}
