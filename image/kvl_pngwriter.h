// PNG files for the tools: KVLWritePNG stores a KVLImage as 8-bit RGBA (alpha kept as
// it is in the pixels); KVLReadPNG loads any PNG as 32-bit pixels (colour types and
// depths converted by libpng, missing alpha becoming 255). PNG is not one of the
// engine's picture formats: KVLLoadImage does not read it.
#pragma once

#include <memory>

#include "core/kvl_string.h"
#include "image/kvl_image.h"

// False with a one-line reason in errorText (when given) on failure.
bool KVLWritePNG(const KVLImage& image, const char* path, KVLString* errorText);
// Null with a one-line reason in errorText (when given) on failure; pictures larger
// than kKVLMaxImageSide in either direction are refused.
std::unique_ptr<KVLImage> KVLReadPNG(const char* path, KVLString* errorText);
