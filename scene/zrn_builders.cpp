// Background enclosure, wall box and Quake II model builders.
#include "scene/zrn_builders.h"

#include <atomic>
#include <numbers>

#include "core/kvl_bufferedstream.h"
#include "core/kvl_filestream.h"
#include "image/kvl_image.h"
#include "scene/readers/zrn_meshreadermd2.h"

namespace {

constexpr const char* kTextureExtensions[] = {"JPG", "PCX", "BMP", "TGA", "PNG"};
constexpr const char* kNoBackground = "[INFO] Unable to read Background texture";
constexpr const char* kNoMesh = "Unable to read mesh file";
constexpr int32_t kFileBuffer = 65536;
constexpr float kHalfPi = std::numbers::pi_v<float> / 2.0f;

// Numbers the wall textures apart: every loaded wall texture gets a name of its own,
// hence a texture of its own in the renderer's cache.
std::atomic<int32_t> g_wallTextureNumber{0};

std::unique_ptr<KVLStream> CloneOf(const KVLStream* stream) { return stream != nullptr ? stream->Clone() : nullptr; }

std::unique_ptr<KVLStream> FileStream(const KVLString& path) {
    KVLFileStream file(path);
    return std::make_unique<KVLBufferedStream>(file, kFileBuffer);
}

void SetError(KVLString* errorText, const char* text) {
    if (errorText != nullptr) {
        *errorText = text;
    }
}

template <class T, class... Args>
ZRNNode* AddNode(ZRNNode* parent, Args&&... args) {
    return parent->AddChild(std::make_unique<T>(std::forward<Args>(args)...));
}

}  // namespace

ZRNMesh* ZRNModelBuilder::Keep(std::unique_ptr<ZRNMesh> mesh) {
    ZRNMesh* raw = mesh.release();
    m_meshes.Add(raw);
    return raw;
}

ZRNMaterial* ZRNModelBuilder::Keep(std::unique_ptr<ZRNMaterial> material) {
    ZRNMaterial* raw = material.release();
    m_materials.Add(raw);
    return raw;
}

ZRNTransformTrack* ZRNModelBuilder::NewTrack(int32_t type, bool projection, const KVLVector3& key) {
    auto* track = new ZRNTransformTrack(type, projection);
    track->keys.Add(key);
    m_tracks.Add(track);
    return track;
}

void ZRNPayloads::Adopt(ZRNModelBuilder& builder) {
    for (ZRNMesh* m : builder.Meshes()) {
        meshes.emplace_back(m);
    }
    for (ZRNMaterial* m : builder.Materials()) {
        materials.emplace_back(m);
    }
    for (ZRNTransformTrack* t : builder.Tracks()) {
        tracks.emplace_back(t);
    }
    builder.Meshes().RemoveAll();
    builder.Materials().RemoveAll();
    builder.Tracks().RemoveAll();
}

std::unique_ptr<ZRNMaterial> ZRNLoadTextureMaterial(std::unique_ptr<KVLStream>& stream, const KVLString& name,
                                                    int32_t kind) {
    if (stream == nullptr) {
        return nullptr;
    }
    bool first = true;
    for (const char* extension : kTextureExtensions) {
        if (!first) {
            // Every attempt starts on a fresh stream: a failed reader may have left the
            // old one anywhere.
            stream = stream->Clone();
        }
        first = false;
        std::unique_ptr<KVLImage> image = KVLLoadImage(*stream, extension, nullptr, nullptr, nullptr);
        if (image != nullptr) {
            return std::make_unique<ZRNMaterial>(name, kind, false, image.get());
        }
    }
    return nullptr;
}

ZRNBackgroundBuilder::ZRNBackgroundBuilder(const KVLStream* texture, float width, float height, float baseHeight)
    : m_texture(CloneOf(texture)), m_width(width), m_height(height), m_baseHeight(baseHeight) {}

std::unique_ptr<ZRNNode> ZRNBackgroundBuilder::Build(KVLString* errorText) {
    std::unique_ptr<ZRNMaterial> loaded = ZRNLoadTextureMaterial(m_texture, "Background", 4);
    if (loaded == nullptr) {
        SetError(errorText, kNoBackground);
        return nullptr;
    }
    std::unique_ptr<ZRNMesh> grid = ZRNMesh::MakeGrid(m_width, m_height, 1);
    if (grid == nullptr) {
        SetError(errorText, kNoBackground);
        return nullptr;
    }
    const ZRNMaterial* material = Keep(std::move(loaded));
    const ZRNMesh* panel = Keep(std::move(grid));
    auto root = std::make_unique<ZRNNodeMaterial>(material);

    const float w2 = m_width / 2.0f;
    const float low = m_baseHeight;
    const float high = m_baseHeight + m_height;
    struct Side {
        bool rotated;
        float angle;
        KVLVector3 lower;
        KVLVector3 upper;
    };
    const Side sides[] = {
        {false, 0.0f, {0, low, -w2}, {0, high, -w2}},
        {true, kHalfPi, {-w2, low, 0}, {-w2, high, 0}},
        {true, -kHalfPi, {w2, low, 0}, {w2, high, 0}},
        {true, 0.0f, {0, low, w2}, {0, high, w2}},
    };
    for (const Side& side : sides) {
        for (const KVLVector3& place : {side.lower, side.upper}) {
            ZRNNode* parent = root.get();
            if (side.rotated) {
                parent = AddNode<ZRNNodeTransformation>(parent,
                                                        NewTrack(ZRNTransformRotate, false, {0, side.angle, 0}));
            }
            parent = AddNode<ZRNNodeTransformation>(parent, NewTrack(ZRNTransformTranslate, true, place));
            AddNode<ZRNNodeMesh>(parent, panel, nullptr);
        }
    }
    return root;
}

ZRNWallBoxBuilder::ZRNWallBoxBuilder(float x, float y, float z, const ZRNMaterial* material1,
                                     const ZRNMaterial* material2, bool bottom)
    : m_x(x), m_y(y), m_z(z), m_material1(material1), m_material2(material2), m_bottom(bottom) {}

void ZRNWallBoxBuilder::SetTextureStreams(const KVLStream* texture1, const KVLStream* texture2) {
    m_texture1 = CloneOf(texture1);
    m_texture2 = CloneOf(texture2);
}

std::unique_ptr<ZRNNode> ZRNWallBoxBuilder::Build(KVLString* errorText) {
    const ZRNMaterial* material1 = m_material1;
    const ZRNMaterial* material2 = m_material2;
    if (material1 == nullptr && material2 == nullptr) {
        std::unique_ptr<ZRNMaterial> loaded1 = ZRNLoadTextureMaterial(m_texture1, "Wall texture", 4);
        m_texture1.reset();
        std::unique_ptr<ZRNMaterial> loaded2 = ZRNLoadTextureMaterial(m_texture2, "Wall texture", 4);
        m_texture2.reset();
        if (loaded1 == nullptr || loaded2 == nullptr) {
            SetError(errorText, kNoBackground);
            return nullptr;
        }
        loaded1->name.Format("Wall %d", ++g_wallTextureNumber);
        loaded2->name.Format("Wall %d", ++g_wallTextureNumber);
        material1 = Keep(std::move(loaded1));
        material2 = Keep(std::move(loaded2));
    }
    std::unique_ptr<ZRNMesh> front = ZRNMesh::MakeGrid(m_x, m_y, 1);
    std::unique_ptr<ZRNMesh> side = ZRNMesh::MakeGrid(m_z, m_y, 1);
    std::unique_ptr<ZRNMesh> top = ZRNMesh::MakeGrid(m_z, m_x, 1);
    if (front == nullptr || side == nullptr || top == nullptr) {
        SetError(errorText, kNoBackground);
        return nullptr;
    }
    const ZRNMesh* g1 = Keep(std::move(front));
    const ZRNMesh* g2 = Keep(std::move(side));
    const ZRNMesh* g3 = Keep(std::move(top));

    auto root = std::make_unique<ZRNNodeFoo>();
    ZRNNode* walls = AddNode<ZRNNodeMaterial>(root.get(), material1);
    ZRNNode* lids = AddNode<ZRNNodeMaterial>(root.get(), material2);
    auto translated = [&](ZRNNode* parent, const KVLVector3& by, const ZRNMesh* mesh) {
        ZRNNode* t = AddNode<ZRNNodeTransformation>(parent, NewTrack(ZRNTransformTranslate, false, by));
        AddNode<ZRNNodeMesh>(t, mesh, nullptr);
    };
    auto rotated = [&](ZRNNode* parent, const KVLVector3& angles, const KVLVector3& by, const ZRNMesh* mesh) {
        translated(AddNode<ZRNNodeTransformation>(parent, NewTrack(ZRNTransformRotate, false, angles)), by, mesh);
    };
    translated(walls, {0, 0, m_z / 2.0f}, g1);
    translated(walls, {0, 0, -m_z / 2.0f}, g1);
    rotated(walls, {0, kHalfPi, 0}, {0, 0, m_x / 2.0f}, g2);
    rotated(walls, {0, kHalfPi, 0}, {0, 0, -m_x / 2.0f}, g2);
    rotated(lids, {-kHalfPi, kHalfPi, 0}, {0, 0, m_y / 2.0f}, g3);
    if (m_bottom) {
        rotated(lids, {-kHalfPi, kHalfPi, 0}, {0, 0, -m_y / 2.0f}, g3);
    }
    return root;
}

ZRNQuake2Builder::ZRNQuake2Builder(const KVLStream* mesh, const KVLStream* skin)
    : m_mesh(CloneOf(mesh)), m_skin(CloneOf(skin)) {}

std::unique_ptr<ZRNNode> ZRNQuake2Builder::Build(KVLString* errorText) {
    if (m_mesh == nullptr) {
        m_mesh = FileStream(m_meshPath);
    }
    std::unique_ptr<ZRNMesh> mesh;
    KVLString why;
    {
        ZRNMeshReaderMD2 reader;
        mesh = reader.ReadStream(*m_mesh, -1, 0);
        why = reader.GetErrorText();
    }
    if (mesh == nullptr) {
        if (errorText != nullptr) {
            errorText->Format("%s: %s", kNoMesh, why.c_str());
        }
        return nullptr;
    }
    const ZRNMesh* model = Keep(std::move(mesh));

    if (m_skin == nullptr) {
        m_skin = FileStream(m_skinPath);
    }
    std::unique_ptr<ZRNMaterial> skin = ZRNLoadTextureMaterial(m_skin, "Q2Skin", kZRNMaterialTexturedSmooth);
    m_skinLoaded = skin != nullptr;
    if (skin == nullptr) {
        m_skin = m_skin->Clone();
        if (errorText != nullptr) {
            // A skin given as a stream has no path: its own name stands in.
            const KVLString name = m_skinPath.IsEmpty() ? m_skin->GetName() : m_skinPath;
            const KVLString missing = KVLWhyNotOpen(*m_skin);
            errorText->Format("[INFO] Unable to read Quake 2 Skin [%s]%s%s", name.c_str(),
                              missing.IsEmpty() ? "" : ": ", missing.c_str());
        }
        skin = std::make_unique<ZRNMaterial>(ZRNRedPlastic());
    }
    const ZRNMaterial* material = Keep(std::move(skin));

    auto root = std::make_unique<ZRNNodeMaterial>(material);
    ZRNNode* node = AddNode<ZRNNodeMesh>(root.get(), model, nullptr);
    node->SetName(kZRNQuake2MeshNodeName);
    return root;
}
