// KVLObject and the class list.
#include "core/kvl_object.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

namespace {

// Records announced during static initialisation, not yet linked. Constant-initialised
// so that announcing works whatever file's initialisers run first.
constinit KVLClassInfo* g_pendingHead = nullptr;
constinit const KVLClassInfo* g_classListHead = nullptr;
std::once_flag g_buildOnce;

}  // namespace

KVLClassInfo::KVLClassInfo(const char* name, int32_t instanceSize, const KVLClassInfo* parent,
                           KVLFactory factory, int rank)
    : m_name(name),
      m_instanceSize(instanceSize),
      m_parent(parent),
      m_factory(factory),
      m_rank(rank),
      m_pending(g_pendingHead) {
    g_pendingHead = this;
}

bool KVLClassInfo::IsDerivedFrom(const KVLClassInfo* c) const {
    for (const KVLClassInfo* p = this; p != nullptr; p = p->m_parent) {
        if (p == c) {
            return true;
        }
    }
    return false;
}

std::unique_ptr<KVLObject> KVLClassInfo::CreateInstance() const {
    if (m_factory == nullptr) {
        return nullptr;
    }
    return std::unique_ptr<KVLObject>(m_factory());
}

void KVLClassInfo::BuildList() {
    // Link the records in registration-table order; each becomes the new head, so
    // the list reads newest first.
    std::vector<KVLClassInfo*> records;
    for (KVLClassInfo* p = g_pendingHead; p != nullptr; p = p->m_pending) {
        records.push_back(p);
    }
    std::stable_sort(records.begin(), records.end(),
                     [](const KVLClassInfo* a, const KVLClassInfo* b) { return a->m_rank < b->m_rank; });
    for (KVLClassInfo* record : records) {
        record->m_next = g_classListHead;
        g_classListHead = record;
    }
}

const KVLClassInfo* KVLClassInfo::GetFirst() {
    std::call_once(g_buildOnce, &KVLClassInfo::BuildList);
    return g_classListHead;
}

const KVLClassInfo* KVLClassInfo::FindClass(const char* name) {
    if (name == nullptr) {
        return nullptr;
    }
    for (const KVLClassInfo* p = GetFirst(); p != nullptr; p = p->GetNext()) {
        if (std::strcmp(p->GetName().c_str(), name) == 0) {
            return p;
        }
    }
    return nullptr;
}

const KVLClassInfo KVLObject::classKVLObject("KVLObject", static_cast<int32_t>(sizeof(KVLObject)),
                                             nullptr, nullptr,
                                             kKVLClassRank<KVLObject>);

const KVLClassInfo* KVLObject::GetClass() const { return &classKVLObject; }
