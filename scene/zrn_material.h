// ZRNMaterial: how a mesh is drawn — a material kind (untextured, textured, sphere
// mapped; see ZRNMaterialKind), culling, colours, blending and an optional texture
// picture — and the two built-in presets.
//
// Image ownership: a material made with a copied image owns a private copy and frees
// it with itself; a material made with a shared image only points to a picture that
// someone else owns and rewrites (an animation frame buffer), and the renderer uploads
// it again at every application. The shared picture must outlive the material's use.
//
// The name is also the key of the renderer's texture cache: two materials of the same
// name share the texture uploaded for the first of them.
#pragma once

#include <cstdint>
#include <memory>

#include "core/kvl_string.h"
#include "image/kvl_image.h"
#include "scene/kvl_math.h"

// What ApplyMaterial does and which draw routine DrawMesh uses, by kind:
//   0, 1, 2  untextured, lit, flat routine
//   3        untextured, lit, smooth routine
//   4        textured, unlit, textured flat routine
//   5        textured, lit, textured flat routine
//   6        textured, lit, textured smooth routine
//   7, 8     sphere-mapped texture, lit only when blended; flat (7) or smooth (8)
// Any kind above 8 is applied as untextured and drawn with the smooth routine.
//
// ZRNMaterialKind names them; the field and the constructors take the plain integers
// as well (the enum converts to int32_t).
enum ZRNMaterialKind : int32_t {
    kZRNMaterialColourFlat = 0,        // also 1 and 2
    kZRNMaterialColourSmooth = 3,
    kZRNMaterialTexturedUnlit = 4,     // flat routine, no lighting (backgrounds, cards)
    kZRNMaterialTexturedFlat = 5,
    kZRNMaterialTexturedSmooth = 6,    // a model's skin
    kZRNMaterialSphereMapFlat = 7,
    kZRNMaterialSphereMapSmooth = 8,
};
constexpr int32_t kZRNKindTexturedFirst = 4;
constexpr int32_t kZRNKindTexturedLast = 8;

inline bool ZRNIsTexturedKind(int32_t kind) { return kind >= kZRNKindTexturedFirst && kind <= kZRNKindTexturedLast; }

class ZRNMaterial {
public:
    // Colour material: ambient and diffuse are the colour scaled component by
    // component; no image.
    ZRNMaterial(const KVLString& name, int32_t kind, bool cull, const KVLVector3& colour, float ambientScale,
                float diffuseScale, float specularLevel, int32_t shininess, bool blend, float alpha);
    // Textured material. With sharedImage false the picture is copied (the caller keeps
    // its own); with true only the pointer is kept. A null image leaves the material
    // without a picture.
    ZRNMaterial(const KVLString& name, int32_t kind, bool cull, const KVLImage* image, bool sharedImage = false);
    // Copies every value; a shared image is shared again, an owned one copied.
    ZRNMaterial(const ZRNMaterial& other);
    ZRNMaterial& operator=(const ZRNMaterial&) = delete;
    ~ZRNMaterial();

    const KVLImage* GetImage() const { return m_image; }
    bool IsSharedImage() const { return m_sharedImage; }

    KVLString name;
    int32_t kind = 0;
    bool cull = false;
    KVLVector3 colour;
    float ambient[3] = {0.0f, 0.0f, 0.0f};
    float diffuse[3] = {0.0f, 0.0f, 0.0f};
    float specularLevel = 0.0f;
    int32_t shininess = 0;
    bool blend = false;
    float alpha = 1.0f;

private:
    bool m_sharedImage = false;
    const KVLImage* m_image = nullptr;
    std::unique_ptr<KVLImage> m_ownedImage;
};

// The presets, built on first use and kept for the whole run.
const ZRNMaterial& ZRNRedPlastic();
const ZRNMaterial& ZRNGreenPlastic();

// A private copy of a picture (same size, same pixels); null for a picture whose size
// is not valid.
std::unique_ptr<KVLImage> ZRNCopyImage(const KVLImage& image);
