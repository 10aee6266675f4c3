// The contact sheet: every generated picture side by side in one PNG, for people to
// look at the archive's contents without running the demo.
#pragma once

#include "image/kvl_image.h"

#include <string>
#include <vector>

#include "assets/procedural.h"

namespace assetgen {

struct SheetPicture {
    std::string label;
    RgbaImage image;
};

// Pictures are scaled to a common row height (nearest sample), laid out in rows and
// captioned with their labels.
bool WriteContactSheet(const std::string& path, const std::vector<SheetPicture>& pictures, std::string& error);

// Converts 8-bit RGB to opaque RGBA.
RgbaImage ToRgba(const RgbImage& image);
// An engine picture (0xAARRGGBB pixels) as opaque RGBA.
RgbaImage FromEngineImage(const KVLImage& image);

}  // namespace assetgen
