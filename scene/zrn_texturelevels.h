// Texture pictures prepared for upload by a renderer that cannot convert them itself
// (OpenGL ES 2 / WebGL 1: RGBA bytes only, mipmaps only for power-of-two sizes): the
// swizzle of the engine's 0xAARRGGBB pixels to RGBA bytes, the rescale of a picture to
// power-of-two sides and the chain of mipmap levels, done the way the OpenGL 1.1
// renderer's GLU upload does them, so that both renderers sample the same texels.
//
// Rescaling averages the source area under each target texel (a box filter weighted
// by coverage) and truncates; each further level averages 2x2 texels rounding to
// nearest, or 2x1 once a side is 1, truncating. Sizes are validated by the caller (KVLImageSizeOK).
#pragma once

#include <cstdint>
#include <vector>

#include "image/kvl_image.h"

struct ZRNTextureLevel {
    int32_t width = 0;
    int32_t height = 0;
    // width x height texels, four bytes each (R, G, B, A), top row first.
    std::vector<uint8_t> rgba;
};

// The power of two nearest to size (the larger one on a tie), at most maxSize (itself
// a power of two); 1 for sizes below 1.
int32_t ZRNTextureSide(int32_t size, int32_t maxSize);

// The picture's pixels as RGBA bytes, same size.
ZRNTextureLevel ZRNTextureFromImage(const KVLImage& image);

// The level resampled to width x height (box filter over the covered source area).
ZRNTextureLevel ZRNScaleTexture(const ZRNTextureLevel& level, int32_t width, int32_t height);

// The next smaller mipmap level (each side halved, at least 1).
ZRNTextureLevel ZRNHalveTexture(const ZRNTextureLevel& level);

// Level 0 (the picture rescaled to power-of-two sides no larger than maxSize) down to
// 1x1.
std::vector<ZRNTextureLevel> ZRNBuildMipmaps(const KVLImage& image, int32_t maxSize);
