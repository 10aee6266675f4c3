// The renderer: the only code that talks to OpenGL.
//
// ZRNRendererInterface is the set of drawing operations the scene graph and the
// scenes use (clear, camera, matrices, light, fog, materials, mesh drawing, present).
// Nodes and visitors see only this interface, so a recording test double can stand in
// for the real thing.
//
// ZRNRenderer implements it with OpenGL 1.1 client arrays and GLU, keeps the texture
// cache (textures keyed by material name, uploaded once per scene) and the material
// stack, and listens to its window for resizes. A mesh is drawn from the arrays it
// keeps per draw routine (ZRNMesh::GetArrays); a blended pose is built into arrays the
// renderer keeps for that purpose and reuses from pose to pose. It does not create a GL context: a
// binding does (ZRNRendererSDL on a KVLWindowSDL, ZRNRendererOffscreen without any
// window), makes it current and calls Initialise. Until then, and again once the
// binding has released its context, every operation is a no-op; a resize that
// arrives meanwhile is remembered and applied when the context comes.
//
// Material-kind behaviour is listed in zrn_material.h. Shared-image materials (an
// animation frame buffer) are uploaded at every application into one texture object
// kept for them alone, with nearest filtering and a single level, never into a cached
// texture; a picture of the same size as the last one replaces its pixels in place.
//
// Threading: everything runs on the thread that made the context current.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "core/kvl_array.h"
#include "core/kvl_string.h"
#include "platform/kvl_displaymode.h"
#include "platform/kvl_window.h"
#include "scene/kvl_math.h"
#include "scene/zrn_material.h"
#include "scene/zrn_mesh.h"
#include "scene/zrn_meshdraw.h"
#include "scene/zrn_payloads.h"

class ZRNRendererInterface {
public:
    virtual ~ZRNRendererInterface() = default;
    virtual bool Initialise() = 0;
    // Called by the application during teardown; nothing to do by default.
    virtual void OnShutdown() {}
    // Clears colour and depth; the colour's alpha is 1.
    virtual void Clear(const KVLVector3& colour) = 0;
    // A look-at from eye towards centre, up (0, 1, 0), on the current matrix.
    virtual void LookAt(const KVLVector3& eye, const KVLVector3& centre) = 0;
    // true selects the projection matrix, false the modelview matrix.
    virtual void SetMatrixMode(bool projection) = 0;
    virtual void LoadMatrix(const KVLMatrix34& m) = 0;
    virtual void PushMatrix() = 0;
    virtual void PopMatrix() = 0;
    virtual void MultMatrix(const KVLMatrix34& m) = 0;
    // positional true: light 0 becomes a directional light along the vector;
    // false: light 0's ambient colour is set to 0.6 grey and the vector is ignored.
    // The tag is not used.
    virtual void SetLight(const void* tag, const KVLVector3& vector, bool positional) = 0;
    virtual void SetFog(const ZRNFogSettings& fog) = 0;
    // The material becomes current. It is not copied: it must outlive its use.
    virtual void ApplyMaterial(const ZRNMaterial& material) = 0;
    // Stacks the current material when it is textured (kinds 4 to 8); untextured
    // materials are never stacked.
    virtual void PushMaterial() = 0;
    // Makes the top of the stack current again (applying it when it differs).
    virtual void PopMaterial() = 0;
    // Draws with the current material, then once more with each stack entry from the
    // second from the top down to the bottom.
    virtual void DrawMesh(const ZRNMesh& mesh) = 0;
    // Draws the mesh posed at the frame time as DrawMesh draws FrameAt's mesh (the
    // mesh itself where FrameAt gives none). By default it does exactly that; a
    // renderer may blend into storage of its own instead of a new mesh.
    virtual void DrawMeshAt(const ZRNMesh& mesh, const ZRNFrameTime& time) {
        const std::unique_ptr<ZRNMesh> pose = mesh.FrameAt(time);
        DrawMesh(pose != nullptr ? *pose : mesh);
    }
    virtual bool Present() = 0;
    // Empties the texture cache, if the renderer keeps one (no current material, empty
    // stack); the demo calls it at every scene switch. Nothing to do by default.
    virtual void ResetTextures() {}
};

// The renderer's bookkeeping of materials and textures, kept apart from GL so that
// the stack rules can be checked on their own. Textures are GL names; this class
// never deletes them (the renderer does).
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

class ZRNRenderer : public ZRNRendererInterface, public KVLWindowListener {
public:
    // window: the window whose size the picture follows (not owned, may be null).
    explicit ZRNRenderer(KVLWindow* window);
    ~ZRNRenderer() override;
    ZRNRenderer(const ZRNRenderer&) = delete;
    ZRNRenderer& operator=(const ZRNRenderer&) = delete;

    // Sets the initial GL state on the current context. The binding calls it (through
    // its own Initialise) once the context is current.
    bool Initialise() override;
    void Clear(const KVLVector3& colour) override;
    void LookAt(const KVLVector3& eye, const KVLVector3& centre) override;
    void SetMatrixMode(bool projection) override;
    void LoadMatrix(const KVLMatrix34& m) override;
    void PushMatrix() override;
    void PopMatrix() override;
    void MultMatrix(const KVLMatrix34& m) override;
    void SetLight(const void* tag, const KVLVector3& vector, bool positional) override;
    void SetFog(const ZRNFogSettings& fog) override;
    void ApplyMaterial(const ZRNMaterial& material) override;
    void PushMaterial() override;
    void PopMaterial() override;
    void DrawMesh(const ZRNMesh& mesh) override;
    void DrawMeshAt(const ZRNMesh& mesh, const ZRNFrameTime& time) override;

    // Deletes every cached texture and starts an empty cache (no current material,
    // empty stack).
    void ResetTextures() override;

    // Window notifications: a new client size; the content needs showing again.
    void OnResize(int32_t width, int32_t height) override;
    void OnPresent() override;

    KVLWindow* GetWindow() const { return m_window; }
    // The projection's vertical field of view in degrees (zrn_renderstate.h).
    float GetFieldOfView() const;
    const ZRNTextureCache* GetTextureCache() const { return m_cache.get(); }
    // True between Initialise and the binding's release of its context.
    bool HasContext() const { return m_live; }

protected:
    // Where the picture goes inside a client area of that size, in GL window
    // coordinates (origin bottom left). The whole area by default; a window binding
    // narrows it to a letterbox.
    virtual KVLRect PictureRect(int32_t width, int32_t height) const;
    // The binding calls this while its context is still current, before destroying it:
    // deletes the GL textures and turns the renderer back into a no-op.
    void ReleaseGL();

private:
    void ApplyResize();
    void ApplyMaterialState(const ZRNMaterial& material);
    void BindTexture(const ZRNMaterial& material);
    // The passes of DrawMesh over the mesh's own arrays (pose null) or over arrays
    // built from the pose; a hidden mesh (wholly outside the view) only has its
    // passes' material state applied.
    void DrawPasses(const ZRNMesh& mesh, const ZRNMeshFrame* pose, bool hidden);
    void DrawArrays(const ZRNMeshArrays& arrays);

    KVLWindow* m_window;
    std::unique_ptr<ZRNTextureCache> m_cache;
    bool m_projectionMode = false;
    bool m_live = false;
    // Last client size heard (or -1 x -1 before any) and whether parts of the client
    // area lie outside the picture rectangle.
    int32_t m_clientWidth = -1;
    int32_t m_clientHeight = -1;
    bool m_letterboxed = false;
    uint32_t m_sharedTexture = 0;
    // Size of the picture last uploaded into the shared texture (0 x 0: none yet).
    int32_t m_sharedWidth = 0;
    int32_t m_sharedHeight = 0;
    // Whether the texture-coordinate array is enabled (vertex and normal arrays are
    // enabled for the context's whole life).
    bool m_texCoordArray = false;
    // Scratch of DrawMeshAt, reused from pose to pose.
    ZRNMeshFrame m_pose;
    ZRNMeshArrays m_poseArrays;
};
