// ZRNRenderer: the renderer core (zrn_renderer_core.h) on OpenGL 1.1 client arrays and
// GLU: fixed-function lighting, materials and fog, textures mipmapped by GLU, the
// matrices the core keeps loaded into GL's. Its bindings: ZRNRendererSDL on a
// KVLWindowSDL, ZRNRendererWGL on a KVLWindowWin32, ZRNRendererOffscreen without any
// window. Material-kind behaviour is listed in zrn_material.h.
//
// A shared picture (an animation frame) of the same size as the last one replaces its
// pixels in place.
//
// Threading: everything runs on the thread that made the context current.
#pragma once

#include <cstdint>

#include "scene/internal/zrn_renderer_core.h"

class ZRNRenderer : public ZRNRendererCore {
public:
    // window: the window whose size the picture follows (not owned, may be null).
    explicit ZRNRenderer(KVLWindow* window);
    ~ZRNRenderer() override;

protected:
    bool StartDevice(KVLString* error) override;
    void ReleaseDevice(bool inContext) override;
    void SetEnabled(Capability capability, bool on) override;
    void ClearBuffers(const KVLVector3& colour, bool depth) override;
    void SetViewport(const KVLRect& picture) override;
    void MatrixChanged(bool projection) override;
    void SetLightState(const KVLVector3& vector, bool positional) override;
    void SetFogState(const ZRNFogSettings& fog) override;
    void SetMaterialState(const ZRNMaterialState& state) override;
    void BindTextureName(uint32_t texture) override;
    uint32_t CreateTexture(const KVLImage* picture, bool shared) override;
    void UploadSharedPicture(const KVLImage& picture) override;
    void DeleteTextures(int32_t count, const uint32_t* textures) override;
    void DrawArrays(const ZRNMeshArrays& arrays) override;
    void ReadPixelsRGBA(int32_t width, int32_t height, uint8_t* rgba) override;

private:
    // Size of the picture last uploaded into the shared texture (0 x 0: none yet).
    int32_t m_sharedWidth = 0;
    int32_t m_sharedHeight = 0;
    // Whether the texture-coordinate array is enabled (vertex and normal arrays are
    // enabled for the context's whole life).
    bool m_texCoordArray = false;
};
