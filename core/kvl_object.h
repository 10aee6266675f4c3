// Root object class and the global class list.
//
// Every registered engine class has one static KVLClassInfo record (name, instance
// size, parent record, factory). Records are constructed during static initialisation
// and announce themselves with their rank (core/kvl_classranks.h); the
// class list itself is linked, newest first, the first time anyone reads it. Building
// the list lazily in rank order makes the order independent of the (unspecified)
// order in which C++ runs static initialisers across files.
//
// The engine libraries are linked whole so that every record is present even when a
// program never names the class (families are found by walking the list).
#pragma once

#include <cstdint>
#include <memory>

#include "core/kvl_classranks.h"
#include "core/kvl_string.h"

class KVLObject;
class KVLClassInfo;

using KVLFactory = KVLObject* (*)();

class KVLClassInfo {
public:
    // rank: position of the class in the registration table (1 = registered first).
    // parent may name a record that is constructed later: only its address is kept.
    KVLClassInfo(const char* name, int32_t instanceSize, const KVLClassInfo* parent,
                 KVLFactory factory, int rank);
    KVLClassInfo(const KVLClassInfo&) = delete;
    KVLClassInfo& operator=(const KVLClassInfo&) = delete;

    const KVLString& GetName() const { return m_name; }
    int32_t GetInstanceSize() const { return m_instanceSize; }
    const KVLClassInfo* GetParent() const { return m_parent; }
    const KVLClassInfo* GetNext() const { return m_next; }
    int GetRank() const { return m_rank; }

    bool IsDerivedFrom(const KVLClassInfo* c) const;
    bool IsAbstract() const { return m_factory == nullptr; }
    // A new instance, or null for an abstract class. The caller owns it.
    std::unique_ptr<KVLObject> CreateInstance() const;

    // Head of the class list (the most recently registered class).
    static const KVLClassInfo* GetFirst();
    // First record in list order whose name equals name exactly; null when none.
    static const KVLClassInfo* FindClass(const char* name);

private:
    static void BuildList();

    KVLString m_name;
    int32_t m_instanceSize;
    const KVLClassInfo* m_parent;
    KVLFactory m_factory;
    const KVLClassInfo* m_next = nullptr;

    int m_rank;
    KVLClassInfo* m_pending;  // announcement chain, walked once by BuildList
};

class KVLObject {
public:
    virtual ~KVLObject() = default;
    virtual const KVLClassInfo* GetClass() const;

    bool IsKindOf(const KVLClassInfo* c) const { return GetClass()->IsDerivedFrom(c); }

    static const KVLClassInfo classKVLObject;
    static const KVLClassInfo* StaticClass() { return &classKVLObject; }
};

// Creates an instance of a registered class and hands it out as T, or null when the
// class is abstract or not a T.
template <class T>
std::unique_ptr<T> KVLCreateAs(const KVLClassInfo* info) {
    if (info == nullptr || !info->IsDerivedFrom(T::StaticClass())) {
        return nullptr;
    }
    std::unique_ptr<KVLObject> obj = info->CreateInstance();
    return std::unique_ptr<T>(static_cast<T*>(obj.release()));
}

// Inside a class body: the static record and the GetClass override.
#define KVL_DECLARE_CLASS(cls)                                    \
public:                                                           \
    static const KVLClassInfo class##cls;                         \
    static const KVLClassInfo* StaticClass() { return &class##cls; } \
    const KVLClassInfo* GetClass() const override { return &class##cls; }

// In the class's source file. The class's place in the list is its KVL_CLASS_RANK.
#define KVL_IMPLEMENT_CLASS(cls, base)                                                     \
    static_assert(kKVLClassRank<cls> > 0, #cls " has no class rank");                      \
    static KVLObject* kvlCreate_##cls() { return new cls(); }                              \
    const KVLClassInfo cls::class##cls(#cls, static_cast<int32_t>(sizeof(cls)),            \
                                       &base::class##base, &kvlCreate_##cls, kKVLClassRank<cls>)

#define KVL_IMPLEMENT_ABSTRACT_CLASS(cls, base)                                            \
    static_assert(kKVLClassRank<cls> > 0, #cls " has no class rank");                      \
    const KVLClassInfo cls::class##cls(#cls, static_cast<int32_t>(sizeof(cls)),            \
                                       &base::class##base, nullptr, kKVLClassRank<cls>)
