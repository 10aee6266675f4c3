// ZRNRendererGLES2: the renderer core's device hooks on OpenGL ES 2.0 / WebGL 1 with
// a small shader pair in place of the fixed-function pipeline, for the subset the
// scenes use: the two matrix stacks, light 0 (directional, white, ambient grey), materials with
// specular highlights, texture modulate, sphere-mapped texture coordinates, GL_EXP fog,
// blending by destination alpha, culling, the texture cache by name, the shared
// picture and ResetTextures.
//
// Lighting, sphere mapping and the fog distance are computed per vertex as OpenGL 1.1
// does (infinite viewer, one-sided lighting, fog from the eye-space depth; the fog
// factor per fragment, as Mesa does), so that its pictures stay close to the OpenGL
// 1.1 renderer's; everything else (texture cache, matrix stacks, letterbox, pass
// loop, posing, culling) is the renderer core's (zrn_renderer_core.h), shared with it.
//
// Only calls that WebGL 1 allows are made: vertex data (the mesh's kept arrays) goes
// through one buffer object (no client arrays), textures are uploaded as RGBA bytes,
// mipmapped textures are rescaled to power-of-two sides in C++ (zrn_texturelevels.h)
// with every level uploaded, and the shared picture (a single level of any size) is clamped to its
// edges. Like ZRNRenderer, it creates no context: a binding (the native EGL offscreen
// one, the web page's) makes one current and calls Initialise, which fails (the reason
// in GetDeviceError) when the shaders do not build.
//
// Threading: everything runs on the thread that made the context current.
#pragma once

#include <cstdint>
#include <memory>

#include "scene/internal/zrn_renderer_core.h"

class ZRNRendererGLES2 : public ZRNRendererCore {
public:
    // window: the window whose size the picture follows (not owned, may be null).
    explicit ZRNRendererGLES2(KVLWindow* window);
    ~ZRNRendererGLES2() override;

protected:
    bool StartDevice(KVLString* error) override;
    void ReleaseDevice(bool inContext) override;
    void SetEnabled(Capability capability, bool on) override;
    void ClearBuffers(const KVLVector3& colour, bool depth) override;
    void SetViewport(const KVLRect& picture) override;
    void MatrixChanged(bool /*projection*/) override {}
    void SetLightState(const KVLVector3& vector, bool positional) override;
    void SetFogState(const ZRNFogSettings& fog) override;
    void SetMaterialState(const ZRNMaterialState& state) override { m_state = state; }
    void BindTextureName(uint32_t texture) override;
    uint32_t CreateTexture(const KVLImage* picture, bool shared) override;
    void UploadSharedPicture(const KVLImage& picture) override;
    void DeleteTextures(int32_t count, const uint32_t* textures) override;
    void DrawArrays(const ZRNMeshArrays& arrays) override;
    void ReadPixelsRGBA(int32_t width, int32_t height, uint8_t* rgba) override;

private:
    struct Uniforms;
    bool BuildProgram(KVLString* error);
    void SetUniforms();

    int32_t m_maxTextureSize = 64;
    // Fixed-function state the shaders reproduce.
    ZRNMaterialState m_state;
    KVLVector3 m_lightDirection = kZRNDefaultLightDirection;  // eye space, unit
    float m_lightAmbient = 0.0f;
    bool m_fog = false;
    float m_fogDensity = 1.0f;

    uint32_t m_program = 0;
    uint32_t m_buffer = 0;
    std::unique_ptr<Uniforms> m_uniforms;
};
