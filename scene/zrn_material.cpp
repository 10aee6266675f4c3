// ZRNMaterial constructors, image ownership and the presets.
#include "scene/zrn_material.h"

#include <cstring>

std::unique_ptr<KVLImage> ZRNCopyImage(const KVLImage& image) {
    if (!KVLImageSizeOK(image.width, image.height) || image.pixels == nullptr) {
        return nullptr;
    }
    std::unique_ptr<KVLImage> copy = KVLImage::CreateForOverwrite(image.width, image.height);
    std::memcpy(copy->pixels, image.pixels,
                static_cast<size_t>(image.width) * static_cast<size_t>(image.height) * sizeof(uint32_t));
    return copy;
}

ZRNMaterial::ZRNMaterial(const KVLString& materialName, int32_t materialKind, bool cullBack,
                         const KVLVector3& baseColour, float ambientScale, float diffuseScale, float specular,
                         int32_t shine, bool blended, float alphaValue)
    : name(materialName),
      kind(materialKind),
      cull(cullBack),
      colour(baseColour),
      ambient{baseColour.x * ambientScale, baseColour.y * ambientScale, baseColour.z * ambientScale},
      diffuse{baseColour.x * diffuseScale, baseColour.y * diffuseScale, baseColour.z * diffuseScale},
      specularLevel(specular),
      shininess(shine),
      blend(blended),
      alpha(alphaValue) {}

ZRNMaterial::ZRNMaterial(const KVLString& materialName, int32_t materialKind, bool cullBack, const KVLImage* image,
                         bool sharedImage)
    : name(materialName),
      kind(materialKind),
      cull(cullBack),
      colour(KVLVector3::White),
      ambient{0.5f, 0.5f, 0.5f},
      diffuse{0.9f, 0.9f, 0.9f},
      specularLevel(0.9f),
      shininess(30),
      blend(false),
      alpha(0.0f),
      m_sharedImage(sharedImage) {
    if (image == nullptr) {
        return;
    }
    if (sharedImage) {
        m_image = image;
    } else {
        m_ownedImage = ZRNCopyImage(*image);
        m_image = m_ownedImage.get();
    }
}

ZRNMaterial::ZRNMaterial(const ZRNMaterial& other)
    : name(other.name),
      kind(other.kind),
      cull(other.cull),
      colour(other.colour),
      ambient{other.ambient[0], other.ambient[1], other.ambient[2]},
      diffuse{other.diffuse[0], other.diffuse[1], other.diffuse[2]},
      specularLevel(other.specularLevel),
      shininess(other.shininess),
      blend(other.blend),
      alpha(other.alpha),
      m_sharedImage(other.m_sharedImage) {
    if (other.m_image == nullptr) {
        return;
    }
    if (m_sharedImage) {
        m_image = other.m_image;
    } else {
        m_ownedImage = ZRNCopyImage(*other.m_image);
        m_image = m_ownedImage.get();
    }
}

ZRNMaterial::~ZRNMaterial() = default;

const ZRNMaterial& ZRNRedPlastic() {
    static const ZRNMaterial preset("Red Plastic", 3, false, KVLVector3(1.0f, 0.0f, 0.0f), 0.2f, 0.8f, 0.8f, 20,
                                    false, 1.0f);
    return preset;
}

const ZRNMaterial& ZRNGreenPlastic() {
    static const ZRNMaterial preset("Green Plastic", 2, false, KVLVector3(0.0f, 1.0f, 0.0f), 0.2f, 0.8f, 0.8f, 20,
                                    false, 1.0f);
    return preset;
}
