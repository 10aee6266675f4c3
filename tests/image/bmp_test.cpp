// BMP reader: hand-built files for the cases ImageMagick does not write, and bad input.
#include <gtest/gtest.h>

#include <climits>

#include "core/kvl_memorystream.h"
#include "core/kvl_stream.h"
#include "image/kvl_imagereader_bmp.h"
#include "image_test_util.h"

using namespace imagetest;

namespace {

struct BmpFields {
    int32_t width = 1;
    int32_t height = 1;
    uint16_t bits = 24;
    uint32_t compression = 0;
    bool core = false;
    std::vector<uint8_t> palette;  // raw entries as stored
    std::vector<uint8_t> pixels;   // raw pixel data as stored
    int64_t offsetShift = 0;       // added to the pixel-data offset field
};

std::vector<uint8_t> MakeBMP(const BmpFields& s) {
    const uint32_t headerSize = s.core ? 12 : 40;
    std::vector<uint8_t> f(14 + headerSize, 0);
    f[0] = 'B';
    f[1] = 'M';
    uint8_t* h = f.data() + 14;
    KVLPutU32(h, headerSize);
    if (s.core) {
        KVLPutU16(h + 4, static_cast<uint16_t>(s.width));
        KVLPutU16(h + 6, static_cast<uint16_t>(s.height));
        KVLPutU16(h + 8, 1);
        KVLPutU16(h + 10, s.bits);
    } else {
        KVLPutU32(h + 4, static_cast<uint32_t>(s.width));
        KVLPutU32(h + 8, static_cast<uint32_t>(s.height));
        KVLPutU16(h + 12, 1);
        KVLPutU16(h + 14, s.bits);
        KVLPutU32(h + 16, s.compression);
    }
    f.insert(f.end(), s.palette.begin(), s.palette.end());
    KVLPutU32(f.data() + 10, static_cast<uint32_t>(static_cast<int64_t>(f.size()) + s.offsetShift));
    f.insert(f.end(), s.pixels.begin(), s.pixels.end());
    KVLPutU32(f.data() + 2, static_cast<uint32_t>(f.size()));
    return f;
}

// Palette of n 4-byte entries: entry i has blue i, green 2i, red 3i.
std::vector<uint8_t> Palette4(int n) {
    std::vector<uint8_t> p;
    for (int i = 0; i < n; ++i) {
        p.insert(p.end(), {static_cast<uint8_t>(i), static_cast<uint8_t>(2 * i), static_cast<uint8_t>(3 * i), 0});
    }
    return p;
}
uint32_t Entry(int i) { return KVLPixelFromRGB((3 * i) & 255, (2 * i) & 255, i & 255); }

TEST(Bmp, RowOrder) {
    BmpFields s;
    s.width = 3;
    s.height = 2;
    // Two rows of 9 pixel bytes and 3 padding bytes.
    s.pixels = {1, 1, 1, 2, 2, 2, 3, 3, 3, 0, 0, 0, 4, 4, 4, 5, 5, 5, 6, 6, 6, 0, 0, 0};
    Loaded up = LoadBytes(MakeBMP(s), "bmp");
    ASSERT_TRUE(up.image);
    EXPECT_EQ(Pixels(*up.image), (std::vector<uint32_t>{0xFF040404, 0xFF050505, 0xFF060606, 0xFF010101,
                                                        0xFF020202, 0xFF030303}));
    s.height = -2;
    Loaded down = LoadBytes(MakeBMP(s), "bmp");
    ASSERT_TRUE(down.image);
    EXPECT_EQ(down.text, "BMP picture - 3x2x24");
    EXPECT_EQ(Pixels(*down.image), (std::vector<uint32_t>{0xFF010101, 0xFF020202, 0xFF030303, 0xFF040404,
                                                          0xFF050505, 0xFF060606}));
}

TEST(Bmp, ThirtyTwoBitKeepsAlpha) {
    BmpFields s;
    s.width = 2;
    s.bits = 32;
    s.pixels = {0x10, 0x20, 0x30, 0x00, 0x11, 0x21, 0x31, 0x80};
    Loaded got = LoadBytes(MakeBMP(s), "bmp");
    ASSERT_TRUE(got.image);
    EXPECT_EQ(got.format, kKVLPixelFormatARGB8888);
    EXPECT_EQ(Pixels(*got.image), (std::vector<uint32_t>{0x00302010, 0x80312111}));
}

TEST(Bmp, RunLengthCases) {
    struct Case {
        const char* name;
        int32_t width, height;
        std::vector<uint8_t> data;
        std::vector<int> indices;  // expected palette indices, image rows top first
    };
    const Case cases[] = {
        {"run_then_end_of_line", 4, 2, {3, 7, 0, 0, 0, 1}, {0, 0, 0, 0, 7, 7, 7, 0}},
        {"run_clipped_at_row_end", 4, 2, {10, 5, 0, 0, 2, 6, 0, 1}, {6, 6, 0, 0, 5, 5, 5, 5}},
        {"literal_with_pad", 4, 1, {0, 3, 1, 2, 3, 0, 1, 9, 0, 1}, {1, 2, 3, 9}},
        {"literal_clipped", 2, 1, {0, 5, 1, 2, 3, 4, 5, 0, 0, 1}, {1, 2}},
        {"delta", 4, 3, {0, 2, 2, 1, 2, 8, 0, 1}, {0, 0, 0, 0, 0, 0, 8, 8, 0, 0, 0, 0}},
        {"delta_outside", 4, 2, {0, 2, 200, 0, 3, 4, 0, 2, 0, 200, 5, 5}, {0, 0, 0, 0, 0, 0, 0, 0}},
        {"rows_past_height", 2, 1, {2, 1, 0, 0, 2, 2, 0, 0, 2, 3}, {1, 1}},
        {"truncated", 3, 1, {2, 4, 1}, {4, 4, 0}},
    };
    for (const Case& c : cases) {
        BmpFields s;
        s.width = c.width;
        s.height = c.height;
        s.bits = 8;
        s.compression = 1;
        s.palette = Palette4(16);
        s.pixels = c.data;
        Loaded got = LoadBytes(MakeBMP(s), "bmp");
        ASSERT_TRUE(got.image) << c.name;
        std::vector<uint32_t> expected;
        for (int i : c.indices) expected.push_back(Entry(i));
        EXPECT_EQ(Pixels(*got.image), expected) << c.name;
    }
}

TEST(Bmp, CoreHeaderPaletteOfAll256Entries) {
    BmpFields s;
    s.core = true;
    s.width = 16;
    s.height = 16;
    s.bits = 8;
    for (int i = 0; i < 256; ++i) {
        s.palette.insert(s.palette.end(), {static_cast<uint8_t>(255 - i), static_cast<uint8_t>(i), 7});
    }
    for (int i = 0; i < 256; ++i) s.pixels.push_back(static_cast<uint8_t>(i));
    Loaded got = LoadBytes(MakeBMP(s), "bmp");
    ASSERT_TRUE(got.image);
    // Bottom file row first: image row 15 holds indices 0..15.
    for (int i = 0; i < 256; ++i) {
        const int x = i % 16;
        const int y = 15 - i / 16;
        ASSERT_EQ(got.image->pixels[y * 16 + x], KVLPixelFromRGB(7, i, 255 - i)) << i;
    }
}

TEST(Bmp, SmallCoreFileShorterThanFullHeader) {
    BmpFields s;
    s.core = true;
    s.bits = 1;
    s.palette = {0, 0, 0, 255, 255, 255};
    s.pixels = {0x80, 0, 0, 0};
    const std::vector<uint8_t> f = MakeBMP(s);
    ASSERT_LT(f.size(), 54u);
    Loaded got = LoadBytes(f, "bmp");
    ASSERT_TRUE(got.image) << got.text;
    EXPECT_EQ(Pixels(*got.image), (std::vector<uint32_t>{0xFFFFFFFF}));
}

TEST(Bmp, IndexPastShortPaletteIsBlack) {
    BmpFields s;
    s.width = 4;
    s.bits = 8;
    s.palette = Palette4(2);
    s.pixels = {1, 200, 255, 0};
    Loaded got = LoadBytes(MakeBMP(s), "bmp");
    ASSERT_TRUE(got.image);
    EXPECT_EQ(Pixels(*got.image), (std::vector<uint32_t>{Entry(1), 0xFF000000, 0xFF000000, Entry(0)}));
}

TEST(Bmp, Refused) {
    auto base = [] {
        BmpFields s;
        s.width = 2;
        s.height = 2;
        s.bits = 24;
        s.pixels.assign(16, 9);
        return s;
    };
    struct Case {
        const char* name;
        std::vector<uint8_t> file;
    };
    std::vector<Case> cases;
    {
        BmpFields s = base();
        s.bits = 16;
        s.compression = 3;
        cases.push_back({"bit_fields", MakeBMP(s)});
    }
    {
        BmpFields s = base();
        s.bits = 2;
        cases.push_back({"two_bits", MakeBMP(s)});
    }
    {
        BmpFields s = base();
        s.bits = 4;
        s.compression = 2;
        cases.push_back({"rle4", MakeBMP(s)});
    }
    {
        BmpFields s = base();
        s.compression = 1;
        cases.push_back({"rle_24bit", MakeBMP(s)});
    }
    {
        BmpFields s = base();
        s.offsetShift = -10;
        cases.push_back({"offset_inside_headers", MakeBMP(s)});
    }
    {
        BmpFields s = base();
        s.pixels.resize(15);
        cases.push_back({"short_rows", MakeBMP(s)});
    }
    {
        BmpFields s = base();
        s.width = 16385;
        cases.push_back({"too_wide", MakeBMP(s)});
    }
    {
        BmpFields s = base();
        s.height = INT_MIN;
        cases.push_back({"height_int_min", MakeBMP(s)});
    }
    {
        BmpFields s = base();
        s.width = -2;
        cases.push_back({"negative_width", MakeBMP(s)});
    }
    {
        BmpFields s = base();
        s.height = 0;
        cases.push_back({"zero_height", MakeBMP(s)});
    }
    {
        BmpFields s = base();
        s.bits = 8;
        s.palette = Palette4(4);
        s.offsetShift = 100000;
        cases.push_back({"offset_past_end", MakeBMP(s)});
    }
    {
        std::vector<uint8_t> f = MakeBMP(base());
        KVLPutU32(f.data() + 10, 0xFFFFFFF0u);  // pixel offset beyond any stream position
        cases.push_back({"offset_past_32_bits", f});
    }
    {
        std::vector<uint8_t> f = MakeBMP(base());
        KVLPutU32(f.data() + 14, 0xFFFFFFF8u);  // header size wrapping the end of the headers
        cases.push_back({"huge_header_size", f});
    }
    {
        std::vector<uint8_t> f = MakeBMP(base());
        f[0] = 'M';
        cases.push_back({"magic", f});
    }
    {
        std::vector<uint8_t> f = MakeBMP(base());
        f.resize(30);
        cases.push_back({"short_header", f});
    }
    cases.push_back({"empty", {}});
    for (const Case& c : cases) {
        Loaded got = LoadBytes(c.file, "bmp");
        EXPECT_FALSE(got.image) << c.name;
        EXPECT_EQ(got.text, "Unable to load file") << c.name;
        EXPECT_EQ(got.format, kKVLPixelFormatNone) << c.name;
    }
}

TEST(Bmp, OutputsOnEntryAndAtTheEnd) {
    // A bit-field file passes the header check: the description is written, then
    // replaced by the failure text.
    BmpFields s;
    s.bits = 16;
    s.compression = 3;
    s.pixels = {0, 0, 0, 0};
    KVLImageReaderBMP reader;
    const std::vector<uint8_t> f = MakeBMP(s);
    KVLMemoryStream stream(f.data(), f.size());
    KVLPixelFormat format = kKVLPixelFormatRGB565;
    KVLString text = "x";
    EXPECT_FALSE(reader.ReadStream(stream, &format, nullptr, &text));
    EXPECT_EQ(text, "Unable to load file");
    EXPECT_EQ(format, kKVLPixelFormatNone);
    EXPECT_FALSE(stream.IsOpen());
}

}  // namespace
