// ZRNShowScene: the abstract base of a show's scenes, and the helpers they build with.
//
// A scene builds its tree once in Load (before the show; no GL is needed, textures are
// uploaded by the renderer when first drawn) and owns every mesh, material and
// transformation track its nodes point to; the lists below hold them and free them
// with the scene. The shared tick and render visitors and the renderer belong to the
// controller.
//
// Drawing can be switched off: Render then moves the scene on exactly as a drawn frame
// would (tick walk, counters, views, character switches) but leaves the picture
// alone. Offscreen shots step through the show this way and draw only the pictures
// they keep.
//
// Threading: Tick runs on the timer thread, everything else on the main thread. The
// tick counter is the only field they share; it is atomic.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "core/kvl_stream.h"
#include "core/kvl_string.h"
#include "image/kvl_image.h"
#include "scene/kvl_math.h"
#include "scene/zrn_animator.h"
#include "scene/zrn_builders.h"
#include "scene/zrn_material.h"
#include "scene/zrn_mesh.h"
#include "scene/zrn_node.h"
#include "scene/zrn_payloads.h"
#include "scene/zrn_renderer.h"
#include "scene/zrn_rendervisitor.h"

// The colour every scene clears to.
extern const KVLVector3 kZRNShowSceneColour;

class ZRNShowScene {
public:
    // None of the three is owned.
    ZRNShowScene(ZRNRendererInterface* renderer, ZRNRenderVisitor* renderVisitor, ZRNAnimVisitor* tickVisitor);
    virtual ~ZRNShowScene();
    ZRNShowScene(const ZRNShowScene&) = delete;
    ZRNShowScene& operator=(const ZRNShowScene&) = delete;

    // Builds the tree; false with a reason in errorText (when given).
    virtual bool Load(KVLString* errorText) = 0;
    virtual void Render() = 0;
    // Every scene answers false; kept for the shape of the interface.
    virtual bool IsQuery() { return false; }
    // True for a scene whose pictures show the music being played.
    virtual bool ShowsMusic() const { return false; }
    // Timer thread: one tick of the timeline.
    virtual void Tick() { m_tickCounter.fetch_add(1, std::memory_order_relaxed); }

    int32_t GetTickCounter() const { return m_tickCounter.load(std::memory_order_relaxed); }
    // Main thread; on by default.
    void SetDrawing(bool drawing) { m_drawing = drawing; }
    bool IsDrawing() const { return m_drawing; }

    // Takes over what the builder built: its tracks, meshes and materials join the
    // scene's lists (in that order). The root of the built tree, or null (the lists
    // are then untouched).
    std::unique_ptr<ZRNNode> AdoptBuild(ZRNModelBuilder& builder, KVLString* errorText);
    // The picture in the stream, trying "JPG", "PCX", "BMP", "PNG", "TGA" in turn,
    // each on a fresh clone. The stream itself is neither opened nor kept. Null when
    // no format reads it.
    static std::unique_ptr<KVLImage> LoadSceneImage(const KVLStream& stream, KVLString* errorText);
    // A textured material from the picture in a stream (neither opened nor kept),
    // owned by the scene, and a new node on it. Null (nothing added) when the picture
    // does not read.
    std::unique_ptr<ZRNNodeMaterial> AddTexturedMaterial(const KVLStream& picture, const KVLString& name,
                                                         int32_t kind, bool cull);
    // An MD2 model with its skin through the Quake II builder. The meshes (turned
    // inside out when flip is set) and the skin material join the scene's lists; the
    // material is renamed "Q2Skin <n>", n the same for the same skin stream. The same
    // model, skin and flip again give a copy of the first tree, which shares its mesh
    // and material (a character's frames are read and kept once however many copies
    // a scene places), and the first load's message.
    std::unique_ptr<ZRNNode> LoadModelMD2(const KVLStream* model, const KVLStream* skin, bool flip,
                                          KVLString* errorText);
    // A one-key transformation track (type: 0 translate, 1 scale, 2 rotate in radians)
    // on the modelview matrix, owned by the scene, and a new node on it.
    std::unique_ptr<ZRNNodeTransformation> AddTransform(int32_t type, float x, float y, float z);
    std::unique_ptr<ZRNNodeTransformation> AddUniformTransform(int32_t type, float v) {
        return AddTransform(type, v, v, v);
    }

    int32_t GetMeshCount() const { return static_cast<int32_t>(m_meshes.size()); }
    int32_t GetMaterialCount() const { return static_cast<int32_t>(m_materials.size()); }
    int32_t GetTrackCount() const { return static_cast<int32_t>(m_tracks.size()); }
    ZRNMesh* GetMesh(int32_t i) const { return m_meshes[static_cast<size_t>(i)].get(); }
    ZRNMaterial* GetMaterial(int32_t i) const { return m_materials[static_cast<size_t>(i)].get(); }
    ZRNTransformTrack* GetTrack(int32_t i) const { return m_tracks[static_cast<size_t>(i)].get(); }

protected:
    ZRNMesh* AddMesh(std::unique_ptr<ZRNMesh> mesh);
    ZRNMaterial* AddMaterial(std::unique_ptr<ZRNMaterial> material);
    ZRNTransformTrack* AddTrack(std::unique_ptr<ZRNTransformTrack> track);
    // The usual frame: tick visitor set to the tick counter, clear, tick walk, render
    // walk, present; only the tick walk when drawing is off.
    void DrawTree(ZRNNode* root);

    ZRNAnimVisitor* m_tickVisitor;
    ZRNRendererInterface* m_renderer;
    ZRNRenderVisitor* m_renderVisitor;

private:
    std::vector<std::unique_ptr<ZRNMesh>> m_meshes;
    std::vector<std::unique_ptr<ZRNMaterial>> m_materials;
    std::vector<std::unique_ptr<ZRNTransformTrack>> m_tracks;
    // Models loaded so far, by the streams they came from (the catalogue's, which
    // outlive the scene) and the flip.
    struct LoadedModel {
        const KVLStream* model;
        const KVLStream* skin;
        bool flip;
        std::unique_ptr<ZRNNode> tree;
        KVLString message;
    };
    std::vector<LoadedModel> m_models;
    std::atomic<int32_t> m_tickCounter{0};
    bool m_drawing = true;
};
