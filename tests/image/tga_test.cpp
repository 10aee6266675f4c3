// TGA reader: hand-built files (16-bit, corner cases) and bad input.
#include <gtest/gtest.h>

#include "core/kvl_memorystream.h"
#include "core/kvl_stream.h"
#include "image/kvl_imagereader_tga.h"
#include "image_test_util.h"
#include "support/test_support.h"

using namespace imagetest;

namespace {

struct TgaFields {
    TgaFields(uint8_t type_ = 2, uint16_t width_ = 2, uint16_t height_ = 2, uint8_t depth_ = 24,
            uint8_t descriptor_ = 0, uint8_t mapType_ = 0, uint16_t mapLength_ = 0, uint8_t mapBits_ = 0,
            std::vector<uint8_t> id_ = {})
        : type(type_), width(width_), height(height_), depth(depth_), descriptor(descriptor_), mapType(mapType_),
          mapLength(mapLength_), mapBits(mapBits_), id(std::move(id_)) {}
    uint8_t type;
    uint16_t width;
    uint16_t height;
    uint8_t depth;
    uint8_t descriptor;
    uint8_t mapType;
    uint16_t mapLength;
    uint8_t mapBits;
    std::vector<uint8_t> id;
};

std::vector<uint8_t> MakeTGA(const TgaFields& s, const std::vector<uint8_t>& body) {
    std::vector<uint8_t> f(18, 0);
    f[0] = static_cast<uint8_t>(s.id.size());
    f[1] = s.mapType;
    f[2] = s.type;
    KVLPutU16(f.data() + 5, s.mapLength);
    f[7] = s.mapBits;
    KVLPutU16(f.data() + 12, s.width);
    KVLPutU16(f.data() + 14, s.height);
    f[16] = s.depth;
    f[17] = s.descriptor;
    f.insert(f.end(), s.id.begin(), s.id.end());
    f.insert(f.end(), body.begin(), body.end());
    return f;
}

TEST(Tga, Decoding) {
    struct Case {
        const char* name;
        TgaFields fields;
        std::vector<uint8_t> body;
        std::vector<uint32_t> pixels;
        KVLPixelFormat format;
    };
    const uint32_t A = 0xFF010101, B = 0xFF020202, C = 0xFF030303, D = 0xFF040404;
    const Case cases[] = {
        {"24bit_bottom_first", {2, 2, 2, 24, 0}, {3, 3, 3, 4, 4, 4, 1, 1, 1, 2, 2, 2}, {A, B, C, D},
         kKVLPixelFormatXRGB8888},
        {"24bit_top_first", {2, 2, 2, 24, 0x20}, {1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4}, {A, B, C, D},
         kKVLPixelFormatXRGB8888},
        {"24bit_rle_bottom_first", {10, 2, 2, 24, 0}, {0x81, 3, 3, 3, 0x01, 1, 1, 1, 2, 2, 2},
         {A, B, C, C}, kKVLPixelFormatXRGB8888},
        {"32bit_rle_run_cut_at_end", {10, 2, 2, 32, 0x20}, {0x00, 9, 9, 9, 0x7F, 0xFF, 5, 6, 7, 0},
         {0x7F090909, 0x00070605, 0x00070605, 0x00070605}, kKVLPixelFormatARGB8888},
        {"16bit_top_bit_ignored", {2, 2, 1, 16, 0}, {0xFF, 0xFF, 0xFF, 0x7F}, {0xFFF8F8F8, 0xFFF8F8F8},
         kKVLPixelFormatRGB555},
        {"grey_128", {3, 1, 1, 8, 0}, {128}, {0xFF808080}, kKVLPixelFormatIndexed8},
        {"mapped_one_row", {1, 3, 1, 8, 0, 1, 2, 24}, {1, 2, 3, 4, 5, 6, 1, 0, 7},
         {0xFF060504, 0xFF030201, 0xFF000000}, kKVLPixelFormatIndexed8},
        {"mapped_32bit_entries_rle", {9, 2, 2, 8, 0, 1, 2, 32}, {1, 2, 3, 9, 4, 5, 6, 9, 0x83, 1},
         {0xFF060504, 0xFF060504, 0xFF060504, 0xFF060504}, kKVLPixelFormatIndexed8},
        {"image_id_skipped", {2, 1, 1, 24, 0, 0, 0, 0, {'a', 'b', 'c'}}, {1, 2, 3}, {0xFF030201},
         kKVLPixelFormatXRGB8888},
        {"map_in_true_colour_file_skipped", {2, 1, 1, 24, 0, 1, 2, 24}, {9, 9, 9, 9, 9, 9, 1, 2, 3}, {0xFF030201},
         kKVLPixelFormatXRGB8888},
    };
    for (const Case& c : cases) {
        Loaded got = LoadBytes(MakeTGA(c.fields, c.body), "tga");
        ASSERT_TRUE(got.image) << c.name;
        EXPECT_EQ(Pixels(*got.image), c.pixels) << c.name;
        EXPECT_EQ(got.format, c.format) << c.name;
    }
}

TEST(Tga, Description) {
    TgaFields s{2, 256, 128, 24, 0};
    Loaded got = LoadBytes(MakeTGA(s, std::vector<uint8_t>(256 * 128 * 3, 1)), "tga");
    ASSERT_TRUE(got.image);
    EXPECT_EQ(got.text, "Targa picture - 256x128x24");
}

TEST(Tga, Refused) {
    struct Case {
        const char* name;
        TgaFields fields;
    };
    const Case cases[] = {
        {"depth_15", {2, 2, 2, 15, 0}},
        {"depth_40", {2, 2, 2, 40, 0}},
        {"map_entries_16bit", {1, 2, 2, 8, 0, 1, 2, 16}},
        {"map_entries_15bit", {1, 2, 2, 8, 0, 1, 2, 15}},
        {"grey_rle", {11, 2, 2, 8, 0}},
        {"true_colour_type_1", {1, 2, 2, 24, 0}},
        {"mapped_type_2_depth_8", {2, 2, 2, 8, 0}},
        {"too_wide", {2, 20000, 1, 24, 0}},
        {"uncompressed_pixels_missing", {2, 5, 5, 24, 0}},
    };
    for (const Case& c : cases) {
        Loaded got = LoadBytes(MakeTGA(c.fields, std::vector<uint8_t>(64, 1)), "tga");
        EXPECT_FALSE(got.image) << c.name;
        EXPECT_EQ(got.text, "Unable to load file") << c.name;
        EXPECT_EQ(got.format, kKVLPixelFormatNone) << c.name;
    }
}

TEST(Tga, HeaderRefusalsLeaveOutputsUntouched) {
    std::vector<uint8_t> shortHeader = MakeTGA({}, {});
    shortHeader.resize(17);
    const std::vector<std::vector<uint8_t>> files = {shortHeader, MakeTGA({2, 0, 2, 24, 0}, {1, 2, 3}),
                                                     MakeTGA({2, 2, 0, 24, 0}, {1, 2, 3})};
    KVLImageReaderTGA reader;
    for (const auto& f : files) {
        KVLMemoryStream stream(f.data(), f.size());
        KVLPixelFormat format = kKVLPixelFormatRGB565;
        KVLString text = "kept";
        EXPECT_FALSE(reader.ReadStream(stream, &format, nullptr, &text));
        EXPECT_EQ(text, "kept");
        EXPECT_EQ(format, kKVLPixelFormatRGB565);
    }
}

// ImageMagick does not write 16-bit Targa files: build them here and compare with
// its reading (top 5 bits of each channel; it fills the low bits, the reader does not).
TEST(Tga, SixteenBitMatchesImageMagick) {
    if (!testsupport::HavePosixShell()) {
        GTEST_SKIP() << testsupport::kNoPosixShell;
    }
    ASSERT_TRUE(testsupport::HaveProgram(kConvert));
    const int w = 29;
    const int h = 13;
    const std::vector<uint8_t> words = testsupport::PatternBytes(static_cast<size_t>(w * h * 2), 3);
    for (uint8_t descriptor : {uint8_t{0}, uint8_t{0x20}}) {
        for (uint8_t type : {uint8_t{2}, uint8_t{10}}) {
            std::vector<uint8_t> body;
            if (type == 2) {
                body = words;
            } else {
                // Alternate raw packets and runs of the next word.
                for (int i = 0; i < w * h;) {
                    const int n = std::min(5, w * h - i);
                    if ((i / 5) % 2 == 0) {
                        body.push_back(static_cast<uint8_t>(n - 1));
                        body.insert(body.end(), words.begin() + 2 * i, words.begin() + 2 * (i + n));
                    } else {
                        body.push_back(static_cast<uint8_t>(0x80 | (n - 1)));
                        body.insert(body.end(), words.begin() + 2 * i, words.begin() + 2 * i + 2);
                    }
                    i += n;
                }
            }
            TgaFields s{type, static_cast<uint16_t>(w), static_cast<uint16_t>(h), 16, descriptor};
            testsupport::TempDir dir;
            const std::string path = dir.file("p.tga");
            testsupport::WriteFile(path, MakeTGA(s, body));
            int rw = 0;
            int rh = 0;
            const std::vector<uint32_t> reference = MagickPixels(path, &rw, &rh);
            ASSERT_EQ(reference.size(), static_cast<size_t>(w * h));
            Loaded got = LoadPath(path);
            ASSERT_TRUE(got.image);
            EXPECT_EQ(got.text, "Targa picture - 29x13x16");
            std::vector<uint32_t> ours = Pixels(*got.image);
            for (size_t i = 0; i < ours.size(); ++i) {
                ASSERT_EQ(ours[i] & 0x00070707u, 0u);
                // ImageMagick takes the top bit of a 16-bit pixel as alpha; the reader ignores it.
                ASSERT_EQ(ours[i] & 0x00F8F8F8u, reference[i] & 0x00F8F8F8u)
                    << "type " << int(type) << " descriptor " << int(descriptor) << " pixel " << i;
                ASSERT_EQ(ours[i] >> 24, 255u);
            }
        }
    }
}

}  // namespace
