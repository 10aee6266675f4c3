// Pictures written by ImageMagick in every variant it can write that the readers
// accept, decoded by the engine and compared pixel for pixel with ImageMagick's own
// decoding of the same file.
#include <gtest/gtest.h>

#include <functional>

#include "core/kvl_stream.h"
#include "image_test_util.h"
#include "support/test_support.h"

using namespace imagetest;

namespace {

constexpr int kW = 37;  // odd: every row of every variant carries padding
constexpr int kH = 23;

enum class Compare { Exact, Top5Bits, RGBWithAlpha0 };

struct Variant {
    const char* name;
    const char* file;        // output name; its extension picks the reader
    const char* magickArgs;  // options before the output
    const char* prefix;      // ImageMagick output coder ("BMP3:") or ""
    bool alphaSource;
    std::function<void(std::vector<uint8_t>&)> patch;  // applied to the written file
    const char* description;
    KVLPixelFormat format;
    Compare compare;
};

// 16-bit bitmaps: ImageMagick marks them compression 3 without masks; the layout is
// plain RGB 555, which compression 0 states.
void PlainCompression(std::vector<uint8_t>& f) { KVLPutU32(f.data() + 30, 0); }

// Rewrites a bottom-up bitmap as top-down: rows reversed, height negated.
void MakeTopDown(std::vector<uint8_t>& f) {
    const uint32_t offset = KVLGetU32(f.data() + 10);
    const int32_t height = KVLGetS32(f.data() + 22);
    const size_t row = (f.size() - offset) / static_cast<size_t>(height);
    std::vector<uint8_t> rows(f.begin() + offset, f.end());
    for (int32_t y = 0; y < height; ++y) {
        std::copy(rows.begin() + static_cast<long>(row * y), rows.begin() + static_cast<long>(row * (y + 1)),
                  f.begin() + static_cast<long>(offset + row * static_cast<size_t>(height - 1 - y)));
    }
    KVLPutU32(f.data() + 22, static_cast<uint32_t>(-height));
}

// Puts 20 bytes between the headers and the pixels and moves the pixel offset.
void GapBeforePixels(std::vector<uint8_t>& f) {
    const uint32_t offset = KVLGetU32(f.data() + 10);
    f.insert(f.begin() + offset, 20, 0xEE);
    KVLPutU32(f.data() + 10, offset + 20);
    KVLPutU32(f.data() + 2, static_cast<uint32_t>(f.size()));
}

void ExpectCompression(std::vector<uint8_t>& f, uint32_t compression) {
    ASSERT_EQ(KVLGetU32(f.data() + 30), compression);
}

const Variant kVariants[] = {
    {"bmp_1bit", "a.bmp", "-type bilevel", "BMP3:", false, nullptr, "BMP picture - 37x23x1",
     kKVLPixelFormatIndexed8, Compare::Exact},
    {"bmp_4bit", "a.bmp", "-colors 16 -type palette -compress none", "BMP3:", false, nullptr,
     "BMP picture - 37x23x4", kKVLPixelFormatIndexed8, Compare::Exact},
    {"bmp_8bit", "a.bmp", "-type palette -compress none", "BMP3:", false,
     [](std::vector<uint8_t>& f) { ExpectCompression(f, 0); }, "BMP picture - 37x23x8", kKVLPixelFormatIndexed8,
     Compare::Exact},
    {"bmp_8bit_rle", "a.bmp", "-type palette -compress rle", "BMP3:", false,
     [](std::vector<uint8_t>& f) { ExpectCompression(f, 1); }, "BMP picture - 37x23x8", kKVLPixelFormatIndexed8,
     Compare::Exact},
    {"bmp_16bit", "a.bmp", "-define bmp:subtype=RGB555", "BMP3:", false, PlainCompression,
     "BMP picture - 37x23x16", kKVLPixelFormatRGB555, Compare::Top5Bits},
    {"bmp_24bit", "a.bmp", "-type truecolor", "BMP3:", false, nullptr, "BMP picture - 37x23x24",
     kKVLPixelFormatXRGB8888, Compare::Exact},
    {"bmp_32bit", "a.bmp", "-define bmp3:alpha=true", "BMP3:", true, nullptr, "BMP picture - 37x23x32",
     kKVLPixelFormatARGB8888, Compare::Exact},
    {"bmp_core_8bit", "a.bmp", "-type palette", "BMP2:", false, nullptr, "BMP picture - 37x23x8",
     kKVLPixelFormatIndexed8, Compare::Exact},
    {"bmp_core_24bit", "a.bmp", "-type truecolor", "BMP2:", false, nullptr, "BMP picture - 37x23x24",
     kKVLPixelFormatXRGB8888, Compare::Exact},
    {"bmp_24bit_top_down", "a.bmp", "-type truecolor", "BMP3:", false, MakeTopDown, "BMP picture - 37x23x24",
     kKVLPixelFormatXRGB8888, Compare::Exact},
    {"bmp_24bit_gap", "a.bmp", "-type truecolor", "BMP3:", false, GapBeforePixels, "BMP picture - 37x23x24",
     kKVLPixelFormatXRGB8888, Compare::Exact},
    {"bmp_8bit_gap", "a.bmp", "-type palette -compress none", "BMP3:", false, GapBeforePixels,
     "BMP picture - 37x23x8", kKVLPixelFormatIndexed8, Compare::Exact},
    {"tga_mapped", "a.tga", "-type palette -compress none", "", false, nullptr, "Targa picture - 37x23x8",
     kKVLPixelFormatIndexed8, Compare::Exact},
    {"tga_mapped_rle", "a.tga", "-type palette -compress rle", "", false, nullptr, "Targa picture - 37x23x8",
     kKVLPixelFormatIndexed8, Compare::Exact},
    {"tga_mapped_top", "a.tga", "-type palette -compress none -orient TopLeft", "", false, nullptr,
     "Targa picture - 37x23x8", kKVLPixelFormatIndexed8, Compare::Exact},
    {"tga_mapped_rle_top", "a.tga", "-type palette -compress rle -orient TopLeft", "", false, nullptr,
     "Targa picture - 37x23x8", kKVLPixelFormatIndexed8, Compare::Exact},
    {"tga_grey", "a.tga", "-colorspace gray -compress none", "", false, nullptr, "Targa picture - 37x23x8",
     kKVLPixelFormatIndexed8, Compare::Exact},
    {"tga_grey_top", "a.tga", "-colorspace gray -compress none -orient TopLeft", "", false, nullptr,
     "Targa picture - 37x23x8", kKVLPixelFormatIndexed8, Compare::Exact},
    {"tga_24bit", "a.tga", "-type truecolor -compress none", "", false, nullptr, "Targa picture - 37x23x24",
     kKVLPixelFormatXRGB8888, Compare::Exact},
    {"tga_24bit_rle", "a.tga", "-type truecolor -compress rle", "", false, nullptr, "Targa picture - 37x23x24",
     kKVLPixelFormatXRGB8888, Compare::Exact},
    {"tga_24bit_top", "a.tga", "-type truecolor -compress none -orient TopLeft", "", false, nullptr,
     "Targa picture - 37x23x24", kKVLPixelFormatXRGB8888, Compare::Exact},
    {"tga_24bit_rle_top", "a.tga", "-type truecolor -compress rle -orient TopLeft", "", false, nullptr,
     "Targa picture - 37x23x24", kKVLPixelFormatXRGB8888, Compare::Exact},
    {"tga_32bit", "a.tga", "-compress none", "", true, nullptr, "Targa picture - 37x23x32",
     kKVLPixelFormatARGB8888, Compare::Exact},
    {"tga_32bit_rle", "a.tga", "-compress rle", "", true, nullptr, "Targa picture - 37x23x32",
     kKVLPixelFormatARGB8888, Compare::Exact},
    {"tga_32bit_rle_top", "a.tga", "-compress rle -orient TopLeft", "", true, nullptr,
     "Targa picture - 37x23x32", kKVLPixelFormatARGB8888, Compare::Exact},
    {"pcx_8bit", "a.pcx", "-type palette", "", false, nullptr, "PCX picture - 37x23x8", kKVLPixelFormatIndexed8,
     Compare::Exact},
    {"pcx_8bit_few_colours", "a.pcx", "-colors 2 -type palette", "", false, nullptr, "PCX picture - 37x23x8",
     kKVLPixelFormatIndexed8, Compare::Exact},
    {"pcx_24bit", "a.pcx", "-type truecolor", "", false, nullptr, "PCX picture - 37x23x24",
     kKVLPixelFormatXRGB8888, Compare::RGBWithAlpha0},
};

class MagickCompare : public ::testing::TestWithParam<Variant> {};

TEST_P(MagickCompare, DecodesLikeImageMagick) {
    ASSERT_TRUE(testsupport::HaveProgram(kConvert)) << "ImageMagick is part of the test set-up";
    const Variant& v = GetParam();
    testsupport::TempDir dir;
    const std::string source = dir.file("source.pam");
    WritePAM(source, MakePicture(kW, kH, v.alphaSource, 7), kW, kH);
    const std::string target = dir.file(v.file);
    ASSERT_EQ(testsupport::Run(std::string(kConvert) + " '" + source + "' " + (v.alphaSource ? "" : "-alpha off ") + v.magickArgs + " '" + v.prefix +
                               target + "'"),
              0);
    if (v.patch) {
        std::vector<uint8_t> bytes = testsupport::ReadFile(target);
        v.patch(bytes);
        if (::testing::Test::HasFatalFailure()) {
            return;
        }
        testsupport::WriteFile(target, bytes);
    }
    int w = 0;
    int h = 0;
    const std::vector<uint32_t> reference = MagickPixels(target, &w, &h);
    ASSERT_FALSE(reference.empty());
    ASSERT_EQ(w, kW);
    ASSERT_EQ(h, kH);

    Loaded got = LoadPath(target);
    ASSERT_TRUE(got.image) << got.text;
    EXPECT_EQ(got.text, v.description);
    EXPECT_EQ(got.format, v.format);
    ASSERT_EQ(got.image->width, kW);
    ASSERT_EQ(got.image->height, kH);
    const std::vector<uint32_t> ours = Pixels(*got.image);
    size_t mismatches = 0;
    size_t first = 0;
    for (size_t i = 0; i < ours.size(); ++i) {
        uint32_t a = ours[i];
        uint32_t b = reference[i];
        switch (v.compare) {
            case Compare::Exact:
                break;
            case Compare::Top5Bits:
                // The engine shifts 5-bit channels up without filling the low bits.
                a &= 0xFFF8F8F8;
                b &= 0xFFF8F8F8;
                EXPECT_EQ(ours[i] & 0x00070707u, 0u);
                break;
            case Compare::RGBWithAlpha0:
                EXPECT_EQ(a >> 24, 0u);
                a &= 0x00FFFFFF;
                b &= 0x00FFFFFF;
                break;
        }
        if (a != b && mismatches++ == 0) {
            first = i;
        }
    }
    EXPECT_EQ(mismatches, 0u) << "first at x=" << first % kW << " y=" << first / kW << std::hex << " ours 0x"
                              << ours[first] << " ImageMagick 0x" << reference[first];
}

INSTANTIATE_TEST_SUITE_P(Variants, MagickCompare, ::testing::ValuesIn(kVariants),
                         [](const ::testing::TestParamInfo<Variant>& info) { return std::string(info.param.name); });

}  // namespace
