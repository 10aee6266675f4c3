// Ready-made builders of small scene trees: a textured background enclosure, a box of
// walls with two materials, and a Quake II model with its skin.
//
// Each builder loads what it needs (textures through the image readers, the model
// through the MD2 reader), builds a new tree at every Build, and lists the meshes,
// materials and transformation tracks it created, so that the scene can reach them.
// The tree belongs to the caller. The listed payloads are shared by the tree and are
// not freed by the builder: the caller takes them over, for example with
// ZRNPayloads::Adopt, and keeps them alive as long as the tree.
//
// Texture loading tries the extensions "JPG", "PCX", "BMP", "TGA" and "PNG" in this
// order on a fresh clone of the source stream each time; PNG is no engine format and
// never succeeds (it is kept for compatibility of the order).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "core/kvl_array.h"
#include "core/kvl_stream.h"
#include "core/kvl_string.h"
#include "scene/zrn_material.h"
#include "scene/zrn_mesh.h"
#include "scene/zrn_node.h"
#include "scene/zrn_payloads.h"

class ZRNModelBuilder {
public:
    ZRNModelBuilder() = default;
    ZRNModelBuilder(const ZRNModelBuilder&) = delete;
    ZRNModelBuilder& operator=(const ZRNModelBuilder&) = delete;
    virtual ~ZRNModelBuilder() = default;

    // The root of a new tree, or null (with a reason in errorText when given).
    virtual std::unique_ptr<ZRNNode> Build(KVLString* errorText) = 0;

    KVLArray<ZRNMesh*>& Meshes() { return m_meshes; }
    KVLArray<ZRNMaterial*>& Materials() { return m_materials; }
    KVLArray<ZRNTransformTrack*>& Tracks() { return m_tracks; }

protected:
    ZRNMesh* Keep(std::unique_ptr<ZRNMesh> mesh);
    ZRNMaterial* Keep(std::unique_ptr<ZRNMaterial> material);
    ZRNTransformTrack* NewTrack(int32_t type, bool projection, const KVLVector3& key);

private:
    KVLArray<ZRNMesh*> m_meshes{-1};
    KVLArray<ZRNMaterial*> m_materials{-1};
    KVLArray<ZRNTransformTrack*> m_tracks{-1};
};

// Owner of the payloads builders list: Adopt takes over everything in the builder's
// three lists and empties them.
struct ZRNPayloads {
    std::vector<std::unique_ptr<ZRNMesh>> meshes;
    std::vector<std::unique_ptr<ZRNMaterial>> materials;
    std::vector<std::unique_ptr<ZRNTransformTrack>> tracks;

    void Adopt(ZRNModelBuilder& builder);
};

// A textured material from the first of the fallback formats that reads; the stream
// is replaced by a fresh clone before every retry. Null when no format reads.
std::unique_ptr<ZRNMaterial> ZRNLoadTextureMaterial(std::unique_ptr<KVLStream>& stream, const KVLString& name,
                                                    int32_t kind);

// Eight panels (two rows on the back, left, right and front) of one W x H grid around
// the viewer, base height Y0, material "Background" (kind 4, unlit). Each panel is
// rotated on the modelview matrix and moved on the projection matrix, so it turns
// about its own centre whatever the nesting.
class ZRNBackgroundBuilder : public ZRNModelBuilder {
public:
    // texture: the builder keeps its own clone (null: Build fails).
    ZRNBackgroundBuilder(const KVLStream* texture, float width, float height, float baseHeight);
    std::unique_ptr<ZRNNode> Build(KVLString* errorText) override;

private:
    std::unique_ptr<KVLStream> m_texture;
    float m_width;
    float m_height;
    float m_baseHeight;
};

// Four side walls with material 1 and a top (and optionally a bottom) with material
// 2, for a box X wide, Y high and Z deep, centred on the origin.
class ZRNWallBoxBuilder : public ZRNModelBuilder {
public:
    // The materials are not owned and may be null; when both are, Build loads them
    // from the two texture streams.
    ZRNWallBoxBuilder(float x, float y, float z, const ZRNMaterial* material1, const ZRNMaterial* material2,
                      bool bottom);
    // The builder keeps clones of both.
    void SetTextureStreams(const KVLStream* texture1, const KVLStream* texture2);
    std::unique_ptr<ZRNNode> Build(KVLString* errorText) override;

private:
    float m_x;
    float m_y;
    float m_z;
    const ZRNMaterial* m_material1;
    const ZRNMaterial* m_material2;
    bool m_bottom;
    std::unique_ptr<KVLStream> m_texture1;
    std::unique_ptr<KVLStream> m_texture2;
};

// An MD2 model under its skin (material "Q2Skin", kind 6). The mesh node is named
// "[Node Mesh] Quake II" so that a scene can attach an animator to it by name. A skin
// that does not read gives a red, untextured model and an informational text.
class ZRNQuake2Builder : public ZRNModelBuilder {
public:
    // Streams may be null: the paths are used then. The builder keeps its own clones.
    ZRNQuake2Builder(const KVLStream* mesh, const KVLStream* skin);
    void SetMeshPath(const KVLString& path) { m_meshPath = path; }
    void SetSkinPath(const KVLString& path) { m_skinPath = path; }
    // A mesh that does not read: null and "Unable to read mesh file: <the reader's
    // reason>". A skin that does not read: the model in "Red Plastic" and "[INFO]
    // Unable to read Quake 2 Skin [name]", with the reason when the skin is missing.
    std::unique_ptr<ZRNNode> Build(KVLString* errorText) override;
    // False after a Build that fell back to "Red Plastic".
    bool SkinLoaded() const { return m_skinLoaded; }

private:
    std::unique_ptr<KVLStream> m_mesh;
    std::unique_ptr<KVLStream> m_skin;
    bool m_skinLoaded = false;
    KVLString m_meshPath;
    KVLString m_skinPath;
};

constexpr const char* kZRNQuake2MeshNodeName = "[Node Mesh] Quake II";
