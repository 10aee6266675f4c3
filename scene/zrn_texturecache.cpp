// ZRNTextureCache: the renderers' shared bookkeeping of textures and the material
// stack (see zrn_texturecache.h); no graphics calls.
#include "scene/zrn_texturecache.h"

uint32_t ZRNTextureCache::Find(const KVLString& name) const {
    for (size_t i = 0; i < m_keys.size(); ++i) {
        if (m_keys[i] == name) {
            return m_textures[static_cast<int32_t>(i)];
        }
    }
    return 0;
}

void ZRNTextureCache::Add(const KVLString& name, uint32_t texture) {
    m_keys.push_back(name);
    m_textures.Add(texture);
}

void ZRNTextureCache::Push() {
    if (m_current != nullptr && ZRNIsTexturedKind(m_current->kind)) {
        m_stack.Add(m_current);
    }
}

const ZRNMaterial* ZRNTextureCache::Pop() {
    if (m_stack.IsEmpty()) {
        return nullptr;
    }
    const ZRNMaterial* top = m_stack[m_stack.GetCount() - 1];
    m_stack.RemoveAt(m_stack.GetCount() - 1);
    const bool changed = top != m_current;
    m_current = top;
    return changed ? top : nullptr;
}
