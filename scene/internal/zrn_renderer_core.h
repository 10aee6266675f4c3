// ZRNRendererCore: what every renderer of the scene graph does the same way, written
// once and free of any graphics API. It keeps the texture cache and the material stack
// (zrn_texturecache.h), both matrix stacks (at most 32 entries each, as OpenGL's), the
// letterbox of the picture in its client area, the pass loop of DrawMesh over the
// material stack, posing (DrawMeshAt blends into storage it reuses from pose to pose)
// and the culling of meshes wholly outside the view (ZRNBoxOutsideView, decided on
// the matrices it keeps). A mesh is drawn from the arrays it keeps per draw routine
// (ZRNMesh::GetArrays), a pose from arrays built for it.
//
// A renderer fills the device hooks below with its graphics API's calls (ZRNRenderer:
// OpenGL 1.1, ZRNRendererGLES2: OpenGL ES 2 / WebGL 1). It creates no context: a
// binding makes one current and calls Initialise. Until then, and again once the
// binding has released its context (ReleaseGL), every operation is a no-op and no hook
// is called; a resize that arrives meanwhile is remembered and applied when the
// context comes.
//
// Shared-image materials (an animation frame buffer) are uploaded at every application
// into one texture object kept for them alone, never into a cached texture.
//
// Threading: everything runs on the thread that made the context current.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <vector>

#include "core/kvl_string.h"
#include "platform/kvl_displaymode.h"
#include "platform/kvl_window.h"
#include "scene/internal/zrn_meshdraw.h"
#include "scene/zrn_renderer_interface.h"
#include "scene/internal/zrn_renderstate.h"
#include "scene/internal/zrn_texturecache.h"

class ZRNRendererCore : public ZRNRendererInterface, public KVLWindowListener {
public:
    ~ZRNRendererCore() override;
    ZRNRendererCore(const ZRNRendererCore&) = delete;
    ZRNRendererCore& operator=(const ZRNRendererCore&) = delete;

    // Sets the initial state on the current context: the device's own (StartDevice),
    // then the projection for aspect 1 (or the size heard so far), an identity
    // modelview, light 0's ambient, Red Plastic. False (with the reason in
    // GetDeviceError) when the device cannot start.
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
    // Takes the window's client size as it is now: a binding calls it once its context
    // is current, since the size the window reported from Open came before it.
    void FollowWindowSize();
    // The projection's vertical field of view in degrees (zrn_renderstate.h).
    float GetFieldOfView() const;
    const ZRNTextureCache* GetTextureCache() const { return m_cache.get(); }
    // One line per material name under which two different pictures were drawn (the
    // texture of the first is kept; the line is also written to stderr once). Since
    // the last ResetTextures; none once the renderer is released.
    const std::vector<KVLString>& GetMaterialConflicts() const;
    // True between Initialise and the binding's release of its context.
    bool HasContext() const { return m_live; }
    // Why the device did not start (empty when it did).
    const KVLString& GetDeviceError() const { return m_deviceError; }
    // The tops of the matrix stacks (identity before Initialise).
    const KVLMatrix44& GetProjection() const { return m_projection.back(); }
    const KVLMatrix44& GetModelView() const { return m_modelView.back(); }

protected:
    // window: the window whose size the picture follows (not owned, may be null).
    explicit ZRNRendererCore(KVLWindow* window);

    // Where the picture goes inside a client area of that size, in GL window
    // coordinates (origin bottom left). The whole area by default; a binding narrows
    // it to a letterbox.
    virtual KVLRect PictureRect(int32_t width, int32_t height) const;
    // The binding calls this while its context is still current, before destroying it
    // (and may call it again once it is gone): deletes the textures and the device's
    // objects and turns the renderer back into a no-op.
    void ReleaseGL();
    // The colour buffer's bottom-left width x height pixels as a picture (top row
    // first, alpha 255).
    std::unique_ptr<KVLImage> ReadPicture(int32_t width, int32_t height);

    // Device hooks, called only while the context is current.
    enum class Capability { Scissor, Cull, Blend };
    // The device's initial state (blending, when on, is source times destination
    // alpha plus destination times one minus source alpha; culling drops back faces);
    // false with the reason in *error.
    virtual bool StartDevice(KVLString* error) = 0;
    // Deletes the device's own objects (inContext) or forgets them (the context is gone).
    virtual void ReleaseDevice(bool inContext) = 0;
    virtual void SetEnabled(Capability capability, bool on) = 0;
    // Clears colour (alpha 1) and, with depth, the depth buffer, within the scissor.
    virtual void ClearBuffers(const KVLVector3& colour, bool depth) = 0;
    // Viewport and scissor rectangle.
    virtual void SetViewport(const KVLRect& picture) = 0;
    // The top of the projection (or the modelview) stack has changed.
    virtual void MatrixChanged(bool projection) = 0;
    // As SetLight and SetFog describe (the light's direction through the modelview of
    // the moment).
    virtual void SetLightState(const KVLVector3& vector, bool positional) = 0;
    virtual void SetFogState(const ZRNFogSettings& fog) = 0;
    // The material's state apart from culling, blending and the texture's binding.
    virtual void SetMaterialState(const ZRNMaterialState& state) = 0;
    virtual void BindTextureName(uint32_t texture) = 0;
    // A new texture, bound: shared, for pictures of any size filled by
    // UploadSharedPicture (nearest filtering, a single level); otherwise mipmapped
    // from the picture (none: left empty).
    virtual uint32_t CreateTexture(const KVLImage* picture, bool shared) = 0;
    // The picture into the bound shared texture.
    virtual void UploadSharedPicture(const KVLImage& picture) = 0;
    virtual void DeleteTextures(int32_t count, const uint32_t* textures) = 0;
    // Triangles from the arrays with the state of the moment.
    virtual void DrawArrays(const ZRNMeshArrays& arrays) = 0;
    // The bottom-left width x height pixels as RGBA bytes, bottom row first.
    virtual void ReadPixelsRGBA(int32_t width, int32_t height, uint8_t* rgba) = 0;

private:
    void ApplyResize();
    void ApplyMaterialState(const ZRNMaterial& material);
    void BindTexture(const ZRNMaterial& material);
    void DeleteCachedTextures();
    std::vector<KVLMatrix44>& Stack() { return m_projectionMode ? m_projection : m_modelView; }
    void SetTop(const KVLMatrix44& m);
    bool OutsideView(const ZRNMesh& mesh, std::initializer_list<int32_t> frames) const;
    // The passes of DrawMesh over the mesh's own arrays (pose null) or over arrays
    // built from the pose; a hidden mesh only has its passes' material state applied.
    void DrawPasses(const ZRNMesh& mesh, const ZRNMeshFrame* pose, bool hidden);

    KVLWindow* m_window;
    std::unique_ptr<ZRNTextureCache> m_cache;
    bool m_live = false;
    KVLString m_deviceError;
    // Last client size heard (or -1 x -1 before any) and whether parts of the client
    // area lie outside the picture rectangle.
    int32_t m_clientWidth = -1;
    int32_t m_clientHeight = -1;
    bool m_letterboxed = false;
    // Matrix stacks, top last; projection selected when m_projectionMode.
    std::vector<KVLMatrix44> m_projection{KVLMatrix44::Identity()};
    std::vector<KVLMatrix44> m_modelView{KVLMatrix44::Identity()};
    bool m_projectionMode = false;
    uint32_t m_sharedTexture = 0;
    // Scratch of DrawMeshAt, reused from pose to pose.
    ZRNMeshFrame m_pose;
    ZRNMeshArrays m_poseArrays;
};
