// Ranks of the registered classes: the order in which they enter the class list (1
// first; the list is walked newest first, so the highest rank is the head). Each
// library states its own classes' ranks in a header of its own with KVL_CLASS_RANK, so
// the core names no class of the libraries above it; a class without a rank does not
// compile. The ranks of all libraries together run 1, 2, 3 ... without gaps or
// repeats (the class-list test checks the whole order).
#pragma once

// 0: no rank stated.
template <class T>
inline constexpr int kKVLClassRank = 0;

#define KVL_CLASS_RANK(cls, rank) \
    class cls;                    \
    template <>                   \
    inline constexpr int kKVLClassRank<cls> = rank;

// The core's own classes; the scene graph's classes come first (1 to 11).
KVL_CLASS_RANK(KVLObject, 12)
KVL_CLASS_RANK(KVLBufferId, 13)
