// Pictures that claim more pixels than their data can describe: a few bytes under a
// header of 16384 x 16384 are refused, while the same bytes under the largest size
// they can fill still decode.
#include <gtest/gtest.h>

#include <functional>

#include "core/kvl_stream.h"
#include "image_test_util.h"

using namespace imagetest;

namespace {

// Version 5, 8 bits, one plane: one run of 63 zeros.
std::vector<uint8_t> Pcx(int32_t w, int32_t h) {
    std::vector<uint8_t> f(128, 0);
    f[0] = 10;
    f[1] = 5;
    f[2] = 1;
    f[3] = 8;
    KVLPutU16(f.data() + 8, static_cast<uint16_t>(w - 1));
    KVLPutU16(f.data() + 10, static_cast<uint16_t>(h - 1));
    f[65] = 1;
    KVLPutU16(f.data() + 66, static_cast<uint16_t>(w));
    f.insert(f.end(), {0xFF, 0x00});
    return f;
}

// Type 10 (run-length true colour), 32 bits: four run packets of 128 pixels.
std::vector<uint8_t> Tga(int32_t w, int32_t h) {
    std::vector<uint8_t> f(18, 0);
    f[2] = 10;
    KVLPutU16(f.data() + 12, static_cast<uint16_t>(w));
    KVLPutU16(f.data() + 14, static_cast<uint16_t>(h));
    f[16] = 32;
    for (int i = 0; i < 4; ++i) {
        f.insert(f.end(), {0xFF, 1, 2, 3, 4});
    }
    return f;
}

// Baseline greyscale JPEG whose Huffman tables hold one 1-bit code each (DC difference
// 0, end of block): one byte of scan data codes four blank blocks.
std::vector<uint8_t> Jpeg(int32_t w, int32_t h) {
    std::vector<uint8_t> f = {0xFF, 0xD8, 0xFF, 0xDB, 0x00, 0x43, 0x00};
    f.insert(f.end(), 64, 1);
    f.insert(f.end(), {0xFF, 0xC0, 0x00, 0x0B, 8, static_cast<uint8_t>(h >> 8), static_cast<uint8_t>(h),
                       static_cast<uint8_t>(w >> 8), static_cast<uint8_t>(w), 1, 1, 0x11, 0});
    for (uint8_t table : {0x00, 0x10}) {
        f.insert(f.end(), {0xFF, 0xC4, 0x00, 0x14, table, 1});
        f.insert(f.end(), 15, 0);
        f.push_back(0);
    }
    f.insert(f.end(), {0xFF, 0xDA, 0x00, 0x08, 1, 1, 0x00, 0, 63, 0});
    f.insert(f.end(), {0x00, 0xFF, 0xD9});
    return f;
}

// 8-bit run-length BMP whose data is "end of bitmap" at once.
std::vector<uint8_t> Bmp(int32_t w, int32_t h) {
    std::vector<uint8_t> f(14 + 40 + 1024, 0);
    f[0] = 'B';
    f[1] = 'M';
    KVLPutU32(f.data() + 10, 14 + 40 + 1024);
    KVLPutU32(f.data() + 14, 40);
    KVLPutU32(f.data() + 18, static_cast<uint32_t>(w));
    KVLPutU32(f.data() + 22, static_cast<uint32_t>(h));
    KVLPutU16(f.data() + 26, 1);
    KVLPutU16(f.data() + 28, 8);
    KVLPutU32(f.data() + 30, 1);
    f.insert(f.end(), {0, 1});
    KVLPutU32(f.data() + 2, static_cast<uint32_t>(f.size()));
    return f;
}

TEST(ImageDataBound, FewBytesCannotClaimAHugePicture) {
    struct Case {
        const char* name;
        const char* extension;
        std::function<std::vector<uint8_t>(int32_t, int32_t)> make;
        int32_t fits[2];      // a size the bytes describe: decodes
        int32_t tooLarge[2];  // a size beyond them (none for BMP, held to a budget)
    };
    const Case cases[] = {
        {"pcx_63_bytes_per_run", "pcx", Pcx, {63, 1}, {64, 1}},
        {"tga_128_pixels_per_packet", "tga", Tga, {512, 1}, {513, 1}},
        // Three bytes from the scan on: one bit per 8 x 8 block gives 24 blocks.
        {"jpeg_bit_per_block", "jpg", Jpeg, {192, 8}, {200, 8}},
        {"bmp_rle_end_of_bitmap", "bmp", Bmp, {16, 16}, {0, 0}},
    };
    for (const Case& c : cases) {
        Loaded fits = LoadBytes(c.make(c.fits[0], c.fits[1]), c.extension);
        ASSERT_TRUE(fits.image) << c.name << ": " << fits.text;
        EXPECT_EQ(fits.image->width, c.fits[0]) << c.name;
        EXPECT_EQ(fits.image->height, c.fits[1]) << c.name;

        std::vector<std::vector<uint8_t>> refused = {c.make(16384, 16384)};
        if (c.tooLarge[0] > 0) {
            refused.push_back(c.make(c.tooLarge[0], c.tooLarge[1]));
        }
        for (const auto& bytes : refused) {
            Loaded got = LoadBytes(bytes, c.extension);
            EXPECT_FALSE(got.image) << c.name << " (" << bytes.size() << " bytes)";
            EXPECT_EQ(got.text, "Unable to load file") << c.name;
            EXPECT_EQ(got.format, kKVLPixelFormatNone) << c.name;
        }
    }
}

// A 16384-pixel-wide picture is allowed when its data can fill it.
TEST(ImageDataBound, LargePictureWithEnoughDataDecodes) {
    Loaded got = LoadBytes(Tga(16384, 1), "tga");
    EXPECT_FALSE(got.image);
    std::vector<uint8_t> bytes = Tga(16384, 1);
    for (int i = 4; i < 128; ++i) {
        bytes.insert(bytes.end(), {0xFF, 9, 9, 9, 9});
    }
    got = LoadBytes(bytes, "tga");
    ASSERT_TRUE(got.image);
    EXPECT_EQ(Pixels(*got.image).back(), 0x09090909u);
}

}  // namespace
