// PNG input and output through libpng's simplified API, whose BGRA layout is exactly
// the byte order of KVLImage pixels, so no conversion pass is needed.
#include "image/kvl_pngwriter.h"

#include <png.h>

#include <cstring>

bool KVLWritePNG(const KVLImage& image, const char* path, KVLString* errorText) {
    if (image.pixels == nullptr || image.width <= 0 || image.height <= 0) {
        if (errorText != nullptr) {
            *errorText = "empty picture";
        }
        return false;
    }
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    png.width = static_cast<png_uint_32>(image.width);
    png.height = static_cast<png_uint_32>(image.height);
    png.format = PNG_FORMAT_BGRA;
    const png_int_32 stride = static_cast<png_int_32>(image.width) * 4;
    const int ok = png_image_write_to_file(&png, path, 0, image.pixels, stride, nullptr);
    if (!ok) {
        if (errorText != nullptr) {
            errorText->Format("cannot write %s: %s", path, png.message);
        }
        png_image_free(&png);
        return false;
    }
    return true;
}

std::unique_ptr<KVLImage> KVLReadPNG(const char* path, KVLString* errorText) {
    png_image png;
    std::memset(&png, 0, sizeof png);
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, path)) {
        if (errorText != nullptr) {
            errorText->Format("cannot read %s: %s", path, png.message);
        }
        return nullptr;
    }
    if (!KVLImageSizeOK(png.width, png.height)) {
        png_image_free(&png);
        if (errorText != nullptr) {
            errorText->Format("%s: picture of %ux%u is too large", path, png.width, png.height);
        }
        return nullptr;
    }
    png.format = PNG_FORMAT_BGRA;
    auto image = KVLImage::Create(static_cast<int32_t>(png.width), static_cast<int32_t>(png.height));
    if (!png_image_finish_read(&png, nullptr, image->pixels, static_cast<png_int_32>(png.width) * 4, nullptr)) {
        if (errorText != nullptr) {
            errorText->Format("cannot read %s: %s", path, png.message);
        }
        png_image_free(&png);
        return nullptr;
    }
    return image;
}
