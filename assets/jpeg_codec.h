// JPEG encoding of generated pictures through libjpeg's compressor, with settings
// pinned so that the same picture always gives the same bytes; and decoding, for the
// contact sheet.
#pragma once

#include <cstdint>
#include <vector>

#include "assets/procedural.h"

namespace assetgen {

constexpr int kJpegQuality = 90;

// Baseline JPEG, quality kJpegQuality, 4:2:0 chroma, Huffman tables optimised, no
// JFIF density or comments beyond the defaults. Empty on failure.
std::vector<uint8_t> EncodeJpeg(const RgbImage& image);

// Decodes to 8-bit RGB; false on a damaged stream.
bool DecodeJpeg(const std::vector<uint8_t>& bytes, RgbImage& image);

}  // namespace assetgen
