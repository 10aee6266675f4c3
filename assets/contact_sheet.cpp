// Contact sheet layout and PNG output through libpng. libpng reports errors by
// jumping back to the setjmp point set here.
#include "assets/contact_sheet.h"

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <memory>

#include <png.h>

#include "assets/text.h"

namespace assetgen {

namespace {

constexpr int kRowHeight = 192;
constexpr int kCaption = 18;
constexpr int kGap = 8;
constexpr int kMaxRowWidth = 1600;

struct Placement {
    int x, y, width, height;
    const SheetPicture* picture;
};

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

}  // namespace

RgbaImage ToRgba(const RgbImage& image) {
    RgbaImage out;
    out.width = image.width;
    out.height = image.height;
    out.pixels.resize(size_t(image.width) * image.height * 4);
    for (size_t i = 0, n = size_t(image.width) * image.height; i < n; ++i) {
        out.pixels[i * 4 + 0] = image.pixels[i * 3 + 0];
        out.pixels[i * 4 + 1] = image.pixels[i * 3 + 1];
        out.pixels[i * 4 + 2] = image.pixels[i * 3 + 2];
        out.pixels[i * 4 + 3] = 255;
    }
    return out;
}

bool WriteContactSheet(const std::string& path, const std::vector<SheetPicture>& pictures, std::string& error) {
    std::vector<Placement> placements;
    int x = kGap, y = kGap, sheetWidth = 0;
    for (const SheetPicture& picture : pictures) {
        if (picture.image.width <= 0 || picture.image.height <= 0) {
            continue;
        }
        const int width = std::max(1, picture.image.width * kRowHeight / picture.image.height);
        if (x > kGap && x + width + kGap > kMaxRowWidth) {
            x = kGap;
            y += kRowHeight + kCaption + kGap;
        }
        placements.push_back({x, y, width, kRowHeight, &picture});
        x += width + kGap;
        sheetWidth = std::max(sheetWidth, x);
    }
    const int sheetHeight = y + kRowHeight + kCaption + kGap;
    if (placements.empty()) {
        error = "nothing to put on the contact sheet";
        return false;
    }
    std::vector<uint8_t> sheet(size_t(sheetWidth) * sheetHeight * 3, 40);
    TextFace face(FontPath("DejaVuSansMono-Bold.ttf"));
    face.SetPixelSize(12);
    HeightField captions(sheetWidth, sheetHeight);
    for (const Placement& p : placements) {
        face.Draw(captions, p.x + 2, p.y + p.height + 13, p.picture->label);
        const RgbaImage& src = p.picture->image;
        for (int row = 0; row < p.height; ++row) {
            const int sy = row * src.height / p.height;
            for (int col = 0; col < p.width; ++col) {
                const int sx = col * src.width / p.width;
                const uint8_t* s = &src.pixels[(size_t(sy) * src.width + sx) * 4];
                uint8_t* d = &sheet[(size_t(p.y + row) * sheetWidth + p.x + col) * 3];
                // Transparent parts show over a checkerboard.
                const uint8_t back = (((col / 8) + (row / 8)) & 1) ? 90 : 60;
                for (int c = 0; c < 3; ++c) {
                    d[c] = static_cast<uint8_t>((s[c] * s[3] + back * (255 - s[3])) / 255);
                }
            }
        }
    }

    for (int row = 0; row < sheetHeight; ++row) {
        for (int col = 0; col < sheetWidth; ++col) {
            const float c = captions.At(col, row);
            uint8_t* d = &sheet[(size_t(row) * sheetWidth + col) * 3];
            for (int k = 0; k < 3; ++k) {
                d[k] = static_cast<uint8_t>(std::lround(d[k] + (220 - d[k]) * c));
            }
        }
    }

    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
    if (!file) {
        error = "cannot create " + path;
        return false;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info) {
        png_destroy_write_struct(&png, &info);
        error = "libpng could not start";
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        error = "libpng failed writing " + path;
        return false;
    }
    png_init_io(png, file.get());
    png_set_compression_level(png, 6);
    png_set_IHDR(png, info, static_cast<png_uint_32>(sheetWidth), static_cast<png_uint_32>(sheetHeight), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int row = 0; row < sheetHeight; ++row) {
        png_write_row(png, &sheet[size_t(row) * sheetWidth * 3]);
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    if (std::fflush(file.get()) != 0) {
        error = "cannot write " + path;
        return false;
    }
    return true;
}

RgbaImage FromEngineImage(const KVLImage& image) {
    RgbaImage out{image.width, image.height, {}};
    out.pixels.reserve(static_cast<size_t>(image.width) * static_cast<size_t>(image.height) * 4);
    for (int32_t i = 0; i < image.width * image.height; ++i) {
        const uint32_t p = image.pixels[i];
        out.pixels.insert(out.pixels.end(),
                          {static_cast<uint8_t>(p >> 16), static_cast<uint8_t>(p >> 8), static_cast<uint8_t>(p), 255});
    }
    return out;
}

}  // namespace assetgen
