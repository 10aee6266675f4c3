#include "image_test_util.h"

#include <cstdio>
#include <cstring>

#include "core/kvl_memorystream.h"
#include "support/test_support.h"

namespace imagetest {

Loaded LoadBytes(const std::vector<uint8_t>& bytes, const char* extension) {
    KVLMemoryStream stream(bytes.data(), bytes.size());
    Loaded out;
    KVLString text;
    out.image = KVLLoadImage(stream, extension, &out.format, nullptr, &text);
    out.text = text.c_str();
    return out;
}

Loaded LoadPath(const std::string& path) {
    const size_t dot = path.rfind('.');
    return LoadBytes(testsupport::ReadFile(path), path.substr(dot + 1).c_str());
}

std::vector<uint32_t> MagickPixels(const std::string& path, int* width, int* height) {
    std::string size;
    if (testsupport::Run(std::string(kConvert) + " '" + path + "' -auto-orient -format '%w %h' info:", &size) != 0 ||
        std::sscanf(size.c_str(), "%d %d", width, height) != 2) {
        return {};
    }
    std::string raw;
    if (testsupport::Run(std::string(kConvert) + " '" + path + "' -auto-orient -depth 8 rgba:-", &raw) != 0 ||
        raw.size() != static_cast<size_t>(*width) * static_cast<size_t>(*height) * 4) {
        return {};
    }
    std::vector<uint32_t> pixels(raw.size() / 4);
    for (size_t i = 0; i < pixels.size(); ++i) {
        const auto* p = reinterpret_cast<const uint8_t*>(raw.data() + 4 * i);
        pixels[i] = (uint32_t{p[3]} << 24) | (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2];
    }
    return pixels;
}

std::vector<uint32_t> DjpegPixels(const std::string& path, int* width, int* height) {
    std::string out;
    // djpeg exits with 2 after warnings (a truncated file it padded).
    const int status = testsupport::Run("djpeg -pnm '" + path + "' 2>/dev/null", &out);
    if (status != 0 && status != 2) {
        return {};
    }
    char magic[3] = {};
    int maxval = 0;
    int consumed = 0;
    if (std::sscanf(out.c_str(), "%2s %d %d %d%n", magic, width, height, &maxval, &consumed) != 4 || maxval != 255) {
        return {};
    }
    const bool grey = std::strcmp(magic, "P5") == 0;
    const size_t channels = grey ? 1 : 3;
    const size_t start = static_cast<size_t>(consumed) + 1;
    const size_t count = static_cast<size_t>(*width) * static_cast<size_t>(*height);
    if (out.size() != start + count * channels) {
        return {};
    }
    std::vector<uint32_t> pixels(count);
    for (size_t i = 0; i < count; ++i) {
        const auto* p = reinterpret_cast<const uint8_t*>(out.data() + start + i * channels);
        pixels[i] = grey ? KVLPixelFromRGB(p[0], p[0], p[0]) : KVLPixelFromRGB(p[0], p[1], p[2]);
    }
    return pixels;
}

std::vector<uint32_t> MakePicture(int width, int height, bool withAlpha, uint32_t seed) {
    const std::vector<uint8_t> noise = testsupport::PatternBytes(static_cast<size_t>(width * height), seed);
    std::vector<uint32_t> pixels(static_cast<size_t>(width * height));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const uint32_t n = noise[static_cast<size_t>(y * width + x)] & 31;
            const uint32_t r = (x * 255 / (width > 1 ? width - 1 : 1) + n) & 255;
            const uint32_t g = (y * 255 / (height > 1 ? height - 1 : 1) + 2 * n) & 255;
            const uint32_t b = ((x + y) * 4 + 3 * n) & 255;
            const uint32_t a = withAlpha ? static_cast<uint32_t>((x * 7 + y * 13) & 255) : 255;
            pixels[static_cast<size_t>(y * width + x)] = (a << 24) | (r << 16) | (g << 8) | b;
        }
    }
    return pixels;
}

void WritePAM(const std::string& path, const std::vector<uint32_t>& pixels, int width, int height) {
    std::string header = "P7\nWIDTH " + std::to_string(width) + "\nHEIGHT " + std::to_string(height) +
                         "\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n";
    std::vector<uint8_t> bytes(header.begin(), header.end());
    for (uint32_t p : pixels) {
        bytes.push_back(static_cast<uint8_t>(p >> 16));
        bytes.push_back(static_cast<uint8_t>(p >> 8));
        bytes.push_back(static_cast<uint8_t>(p));
        bytes.push_back(static_cast<uint8_t>(p >> 24));
    }
    testsupport::WriteFile(path, bytes);
}

std::vector<uint32_t> Pixels(const KVLImage& image) {
    return std::vector<uint32_t>(image.pixels, image.pixels + static_cast<size_t>(image.width) * image.height);
}

}  // namespace imagetest
