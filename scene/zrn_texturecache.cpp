// ZRNTextureCache: the renderers' shared bookkeeping of textures and the material
// stack (see zrn_texturecache.h); no graphics calls.
#include "scene/internal/zrn_texturecache.h"

#include <algorithm>
#include <cstdio>

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
    m_seen.emplace_back();
}

uint64_t ZRNPictureDigest(const KVLImage* image) {
    if (image == nullptr || image->pixels == nullptr || !KVLImageSizeOK(image->width, image->height)) {
        return 0;
    }
    // FNV-1a over the size and the pixels.
    uint64_t h = 14695981039346656037ull;
    auto mix = [&h](uint32_t v) {
        for (int i = 0; i < 4; ++i) {
            h = (h ^ ((v >> (8 * i)) & 0xFFu)) * 1099511628211ull;
        }
    };
    mix(static_cast<uint32_t>(image->width));
    mix(static_cast<uint32_t>(image->height));
    const size_t n = static_cast<size_t>(image->width) * static_cast<size_t>(image->height);
    for (size_t i = 0; i < n; ++i) {
        mix(image->pixels[i]);
    }
    return h == 0 ? 1 : h;
}

void ZRNTextureCache::AddFor(const ZRNMaterial& material, uint32_t texture) {
    Add(material.name, texture);
    m_seen.back().picture = ZRNPictureDigest(material.GetImage());
    m_seen.back().materials.push_back(&material);
}

uint32_t ZRNTextureCache::FindFor(const ZRNMaterial& material) {
    for (size_t i = 0; i < m_keys.size(); ++i) {
        if (!(m_keys[i] == material.name)) {
            continue;
        }
        Seen& seen = m_seen[i];
        // Each material is digested once, when it first comes under this name.
        if (std::find(seen.materials.begin(), seen.materials.end(), &material) == seen.materials.end()) {
            seen.materials.push_back(&material);
            if (!seen.reported && ZRNPictureDigest(material.GetImage()) != seen.picture) {
                seen.reported = true;
                KVLString text;
                text.Format("material '%s': a second material of this name has another picture; the texture "
                            "of the first is drawn (textures are kept by material name: give it a name of its own)",
                            material.name.c_str());
                std::fprintf(stderr, "%s\n", text.c_str());
                m_conflicts.push_back(text);
            }
        }
        return m_textures[static_cast<int32_t>(i)];
    }
    return 0;
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
