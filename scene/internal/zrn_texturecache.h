// ZRNTextureCache: a renderer's bookkeeping of materials and textures, kept apart from
// any graphics API so that the stack rules can be checked on their own: the textures
// uploaded per material name, the current material and the material stack. Textures
// are the renderer's names for them; this class never deletes them (the renderer does).
//
// Textures are kept by material name: a second material of a name draws the texture
// made for the first. When its picture differs (size or pixels) that is a fault in the
// scene, not a feature: FindFor records it (GetConflicts) and says it on stderr once
// per name, and the first picture stays drawn.
#pragma once

#include <cstdint>
#include <vector>

#include "core/kvl_array.h"
#include "core/kvl_string.h"
#include "scene/zrn_material.h"

// A digest of a picture's size and pixels (0 for none), to tell two pictures apart.
uint64_t ZRNPictureDigest(const KVLImage* image);

class ZRNTextureCache {
public:
    const ZRNMaterial* GetCurrent() const { return m_current; }
    void SetCurrent(const ZRNMaterial* material) { m_current = material; }

    // The texture uploaded for a material of that name (exact match), or 0.
    uint32_t Find(const KVLString& name) const;
    void Add(const KVLString& name, uint32_t texture);
    // Find by the material's name, checking a material not seen before under that name
    // against the picture the texture was made from.
    uint32_t FindFor(const ZRNMaterial& material);
    // Add, remembering the material's picture for FindFor's check.
    void AddFor(const ZRNMaterial& material, uint32_t texture);
    // One line per material name under which two different pictures were applied.
    const std::vector<KVLString>& GetConflicts() const { return m_conflicts; }
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
    struct Seen {
        uint64_t picture = 0;  // ZRNPictureDigest of the picture the texture holds
        std::vector<const ZRNMaterial*> materials;  // already checked against it
        bool reported = false;
    };
    std::vector<Seen> m_seen;  // parallel to m_keys
    std::vector<KVLString> m_conflicts;
    KVLArray<const ZRNMaterial*> m_stack{-1};
};
