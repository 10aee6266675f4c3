// Picture sizes of the offline runs: the output size and the supersampling factor
// of shots, captures and videos, their limits, and the box filter that brings a
// supersampled picture down to the output size.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "image/kvl_image.h"

struct ZRNShowPictureSize {
    int32_t width = 640;
    int32_t height = 480;
    // Rendered ssaa times larger in each direction, then averaged down (1: as is).
    int32_t ssaa = 1;
};

// Parses "WxH" (decimal, no signs or spaces); false when the text is not of that form.
bool ZRNParseShowPictureSize(const char* text, int32_t* width, int32_t* height);

// Empty when the size can be rendered: each side 64 or more, at most 7680 x 4320, a
// factor of 1 to 4, and the rendered picture (size x factor) within the offscreen
// renderer's 8192 pixels a side. Otherwise the reason.
std::string ZRNCheckShowPictureSize(const ZRNShowPictureSize& size);

// The picture factor times smaller in each direction, each pixel the mean of a
// factor x factor block (rounded to nearest); the source's sides must be multiples of
// factor. A factor of 1 gives a copy.
std::unique_ptr<KVLImage> ZRNShowScaleDown(const KVLImage& picture, int32_t factor);
