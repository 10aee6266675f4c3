// ZRNTextureCache: a renderer's bookkeeping of materials and textures, kept apart from
// any graphics API so that the stack rules can be checked on their own: the textures
// uploaded per material name, the current material and the material stack. Textures
// are the renderer's names for them; this class never deletes them (the renderer does).
#pragma once

#include <cstdint>
#include <vector>

#include "core/kvl_array.h"
#include "core/kvl_string.h"
#include "scene/zrn_material.h"

class ZRNTextureCache {
public:
    const ZRNMaterial* GetCurrent() const { return m_current; }
    void SetCurrent(const ZRNMaterial* material) { m_current = material; }

    // The texture uploaded for a material of that name (exact match), or 0.
    uint32_t Find(const KVLString& name) const;
    void Add(const KVLString& name, uint32_t texture);
    const KVLArray<uint32_t>& GetTextures() const { return m_textures; }

    // Push: appends the current material when it is textured. Pop: removes the top and
    // makes it current; returns it when it differs from the material that was current
    // (the caller then applies it), else null.
    void Push();
    const ZRNMaterial* Pop();
    const KVLArray<const ZRNMaterial*>& GetStack() const { return m_stack; }

private:
    const ZRNMaterial* m_current = nullptr;
    KVLArray<uint32_t> m_textures{-1};
    std::vector<KVLString> m_keys;
    KVLArray<const ZRNMaterial*> m_stack{-1};
};
