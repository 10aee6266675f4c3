// Helpers of the image tests: decoding through the engine, decoding through
// ImageMagick or djpeg, building reference pictures.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "image/kvl_image.h"

namespace imagetest {

constexpr const char* kConvert = "convert-im6.q16";

struct Loaded {
    std::unique_ptr<KVLImage> image;
    KVLPixelFormat format = kKVLPixelFormatNone;
    std::string text;
};

// KVLLoadImage on a memory stream over bytes.
Loaded LoadBytes(const std::vector<uint8_t>& bytes, const char* extension);
// KVLLoadImage on a file, the extension taken from its name.
Loaded LoadPath(const std::string& path);

// ImageMagick's decoding of a file (rows in display order) as 0xAARRGGBB pixels;
// empty when it fails. width and height receive the size.
std::vector<uint32_t> MagickPixels(const std::string& path, int* width, int* height);
// djpeg's decoding (PPM or PGM) as 0xFFRRGGBB pixels.
std::vector<uint32_t> DjpegPixels(const std::string& path, int* width, int* height);

// A deterministic picture: smooth colour ramps with some noise; alpha from a ramp
// when withAlpha, else 255. Written as a PAM file ImageMagick can read.
std::vector<uint32_t> MakePicture(int width, int height, bool withAlpha, uint32_t seed);
void WritePAM(const std::string& path, const std::vector<uint32_t>& pixels, int width, int height);

std::vector<uint32_t> Pixels(const KVLImage& image);

}  // namespace imagetest
