// ZRNRendererGLES2: the renderer interface on OpenGL ES 2.0 / WebGL 1 with a small
// shader pair in place of the fixed-function pipeline, for the subset the scenes use:
// the two matrix stacks, light 0 (directional, white, ambient grey), materials with
// specular highlights, texture modulate, sphere-mapped texture coordinates, GL_EXP fog,
// blending by destination alpha, culling, the texture cache by name, the shared
// picture and ResetTextures.
//
// Lighting, sphere mapping and the fog distance are computed per vertex as OpenGL 1.1
// does (infinite viewer, one-sided lighting, fog from the eye-space depth; the fog
// factor per fragment, as Mesa does), so that its pictures stay close to the OpenGL
// 1.1 renderer's; the material rules, the pass loop,
// the projection and the letterbox come from zrn_renderstate.h, shared with it.
//
// Only calls that WebGL 1 allows are made: vertex data goes through one buffer object
// (no client arrays), textures are uploaded as RGBA bytes, mipmapped textures are
// rescaled to power-of-two sides in C++ (zrn_texturelevels.h) with every level
// uploaded, and the shared picture (a single level of any size) is clamped to its
// edges. Like ZRNRenderer, it creates no context: a binding (the native EGL offscreen
// one, the web page's) makes one current and calls Initialise; every operation is a
// no-op before that and after ReleaseGL.
//
// Threading: everything runs on the thread that made the context current.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "scene/zrn_meshdraw.h"
#include "scene/zrn_renderer.h"
#include "scene/zrn_renderstate.h"

class ZRNRendererGLES2 : public ZRNRendererInterface, public KVLWindowListener {
public:
    // window: the window whose size the picture follows (not owned, may be null).
    explicit ZRNRendererGLES2(KVLWindow* window);
    ~ZRNRendererGLES2() override;
    ZRNRendererGLES2(const ZRNRendererGLES2&) = delete;
    ZRNRendererGLES2& operator=(const ZRNRendererGLES2&) = delete;

    // Compiles the shaders and sets the initial state on the current context; false
    // (with the reason in GetShaderError) when the shaders do not build.
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
    void ResetTextures() override;

    void OnResize(int32_t width, int32_t height) override;
    void OnPresent() override;

    KVLWindow* GetWindow() const { return m_window; }
    const ZRNTextureCache* GetTextureCache() const { return m_cache.get(); }
    bool HasContext() const { return m_live; }
    const KVLString& GetShaderError() const { return m_shaderError; }

protected:
    // Where the picture goes inside a client area of that size, in GL window
    // coordinates (origin bottom left): the whole area unless a binding letterboxes.
    virtual KVLRect PictureRect(int32_t width, int32_t height) const;
    // The binding calls this while its context is still current, before destroying it.
    void ReleaseGL();
    // The colour buffer's bottom-left width x height pixels as a picture (top row
    // first), read as RGBA bytes: the one format every OpenGL ES and WebGL offers.
    std::unique_ptr<KVLImage> ReadPicture(int32_t width, int32_t height);

private:
    struct Uniforms;
    void ApplyResize();
    void ApplyMaterialState(const ZRNMaterial& material);
    void BindTexture(const ZRNMaterial& material);
    void DrawPass(int32_t kind, const ZRNMesh& mesh);
    KVLMatrix44& Current();

    KVLWindow* m_window;
    std::unique_ptr<ZRNTextureCache> m_cache;
    bool m_live = false;
    int32_t m_clientWidth = -1;
    int32_t m_clientHeight = -1;
    bool m_letterboxed = false;
    int32_t m_maxTextureSize = 64;

    // Matrix stacks, top last; projection selected when m_projectionMode.
    std::vector<KVLMatrix44> m_projection;
    std::vector<KVLMatrix44> m_modelView;
    bool m_projectionMode = false;

    // Fixed-function state the shaders reproduce.
    ZRNMaterialState m_state;
    KVLVector3 m_lightDirection = kZRNDefaultLightDirection;  // eye space, unit
    float m_lightAmbient = 0.0f;
    bool m_fog = false;
    float m_fogDensity = 1.0f;

    uint32_t m_program = 0;
    uint32_t m_buffer = 0;
    uint32_t m_sharedTexture = 0;
    std::unique_ptr<Uniforms> m_uniforms;
    ZRNMeshArrays m_arrays;
    std::vector<float> m_interleaved;
    KVLString m_shaderError;
};
