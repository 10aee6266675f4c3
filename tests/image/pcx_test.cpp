// PCX reader: size rules, run-length corner cases, the variants ImageMagick does not
// write (monochrome and 16 colours, checked against ImageMagick's decoding of files
// built here), and bad input.
#include <gtest/gtest.h>

#include "core/kvl_memorystream.h"
#include "core/kvl_stream.h"
#include "image/kvl_imagereader_pcx.h"
#include "image_test_util.h"
#include "support/test_support.h"

using namespace imagetest;

namespace {

struct PcxFields {
    uint8_t version = 5;
    uint8_t bits = 8;
    uint8_t planes = 1;
    uint16_t xMax = 0;
    uint16_t yMax = 0;
    uint16_t bytesPerLine = 2;
    std::vector<uint8_t> ega;  // up to 48 bytes of the header palette
};

std::vector<uint8_t> MakePCX(const PcxFields& s, const std::vector<uint8_t>& data,
                             const std::vector<uint8_t>& trailer = {}) {
    std::vector<uint8_t> f(128, 0);
    f[0] = 10;
    f[1] = s.version;
    f[2] = 1;
    f[3] = s.bits;
    KVLPutU16(f.data() + 8, s.xMax);
    KVLPutU16(f.data() + 10, s.yMax);
    std::copy(s.ega.begin(), s.ega.end(), f.begin() + 16);
    f[65] = s.planes;
    KVLPutU16(f.data() + 66, s.bytesPerLine);
    f.insert(f.end(), data.begin(), data.end());
    f.insert(f.end(), trailer.begin(), trailer.end());
    return f;
}

// Run-length encodes bytes the usual way: runs of up to 63, values of 192 or more
// always as a run of one.
std::vector<uint8_t> Encode(const std::vector<uint8_t>& raw) {
    std::vector<uint8_t> out;
    for (size_t i = 0; i < raw.size();) {
        size_t n = 1;
        while (i + n < raw.size() && raw[i + n] == raw[i] && n < 63) ++n;
        if (n > 1 || raw[i] >= 0xC0) {
            out.push_back(static_cast<uint8_t>(0xC0 | n));
        }
        out.push_back(raw[i]);
        i += n;
    }
    return out;
}

// 256-colour trailer: marker and palette with entry i = (i, 255 - i, i / 2).
std::vector<uint8_t> Palette256() {
    std::vector<uint8_t> p = {12};
    for (int i = 0; i < 256; ++i) {
        p.insert(p.end(), {static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i), static_cast<uint8_t>(i / 2)});
    }
    return p;
}
uint32_t Entry(int i) { return KVLPixelFromRGB(i, 255 - i, i / 2); }

TEST(Pcx, SizeRules) {
    struct Case {
        const char* name;
        PcxFields fields;
        int width;
        int bits;
    };
    const Case cases[] = {
        {"v5_odd_width_takes_line_bytes", {5, 8, 1, 62, 1, 64, {}}, 64, 8},
        {"v3_width_from_line_bytes_mono", {3, 8, 1, 12, 1, 2, {}}, 16, 8},
        {"v5_mono_keeps_width", {5, 1, 1, 12, 1, 2, {}}, 13, 8},
        {"v5_16_colours_keeps_width", {5, 1, 4, 12, 1, 2, {}}, 13, 4},
        {"v5_24bit_takes_line_bytes", {5, 8, 3, 4, 1, 6, {}}, 6, 24},
    };
    for (const Case& c : cases) {
        Loaded got = LoadBytes(MakePCX(c.fields, std::vector<uint8_t>(2000, 0), Palette256()), "pcx");
        ASSERT_TRUE(got.image) << c.name;
        EXPECT_EQ(got.image->width, c.width) << c.name;
        EXPECT_EQ(got.image->height, 2) << c.name;
        EXPECT_EQ(got.text, "PCX picture - " + std::to_string(c.width) + "x2x" + std::to_string(c.bits)) << c.name;
    }
}

TEST(Pcx, Description320x200) {
    PcxFields s{5, 8, 1, 319, 199, 320, {}};
    Loaded got = LoadBytes(MakePCX(s, Encode(std::vector<uint8_t>(320 * 200, 7)), Palette256()), "pcx");
    ASSERT_TRUE(got.image);
    EXPECT_EQ(got.text, "PCX picture - 320x200x8");
    EXPECT_EQ(got.format, kKVLPixelFormatIndexed8);
}

TEST(Pcx, RunLengthCases) {
    struct Case {
        const char* name;
        std::vector<uint8_t> data;
        std::vector<int> indices;  // 4 x 3 picture
    };
    const Case cases[] = {
        {"single_value_last", {0xCB, 5, 9}, {5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 5, 9}},
        {"run_of_63_cut_at_end", {1, 2, 0xFF, 4}, {1, 2, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4}},
        {"count_zero_repeats_nothing", {0xC0, 8, 1, 0xC0, 9, 0xCB, 2}, {1, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2}},
        {"runs_cross_rows", {0xC6, 3, 0xC6, 4}, {3, 3, 3, 3, 3, 3, 4, 4, 4, 4, 4, 4}},
    };
    for (const Case& c : cases) {
        Loaded got = LoadBytes(MakePCX({5, 8, 1, 3, 2, 4, {}}, c.data, Palette256()), "pcx");
        ASSERT_TRUE(got.image) << c.name;
        std::vector<uint32_t> expected;
        for (int i : c.indices) expected.push_back(Entry(i));
        EXPECT_EQ(Pixels(*got.image), expected) << c.name;
    }
}

TEST(Pcx, TruncatedDataLeavesTheRestBlack) {
    // Monochrome 8 x 2 (version 3, one byte per line): only the first line arrives,
    // and the run byte after it has no value.
    Loaded got = LoadBytes(MakePCX({3, 1, 1, 7, 1, 1, {}}, {0xC1, 0xF0, 0xC4}), "pcx");
    ASSERT_TRUE(got.image);
    const uint32_t W = 0xFFFFFFFF;
    const uint32_t B = 0xFF000000;
    EXPECT_EQ(Pixels(*got.image), (std::vector<uint32_t>{W, W, W, W, B, B, B, B, B, B, B, B, B, B, B, B}));
}

TEST(Pcx, TrueColourHasAlphaZero) {
    // One row of 2 pixels: red plane, green plane, blue plane.
    PcxFields s{5, 8, 3, 1, 0, 2, {}};
    Loaded got = LoadBytes(MakePCX(s, {0x12, 0xC2, 0x77, 0x34, 0x01, 0x56, 0x02}), "pcx");
    ASSERT_TRUE(got.image);
    EXPECT_EQ(got.format, kKVLPixelFormatXRGB8888);
    EXPECT_EQ(Pixels(*got.image), (std::vector<uint32_t>{0x00123456, 0x00770102}));
}

TEST(Pcx, TrueColourRunIsCutAtPlaneEnd) {
    // A run of 5 in the red plane of a 2-pixel row does not spill into green.
    PcxFields s{5, 8, 3, 1, 0, 2, {}};
    Loaded got = LoadBytes(MakePCX(s, {0xC5, 0x40, 0x01, 0x02, 0x03, 0x04}), "pcx");
    ASSERT_TRUE(got.image);
    EXPECT_EQ(Pixels(*got.image), (std::vector<uint32_t>{0x00400103, 0x00400204}));
}

// Planar pictures built here, checked against ImageMagick's reading of the same file.
struct PlanarCase {
    const char* name;
    int planes;
    int width;
    int height;
    bool crossLineRuns;  // encode the whole picture as one stream, runs crossing lines
};

class PcxPlanar : public ::testing::TestWithParam<PlanarCase> {};

TEST_P(PcxPlanar, MatchesImageMagick) {
    if (!testsupport::HavePosixShell()) {
        GTEST_SKIP() << testsupport::kNoPosixShell;
    }
    ASSERT_TRUE(testsupport::HaveProgram(kConvert));
    const PlanarCase& c = GetParam();
    const int bytesPerLine = ((c.width + 15) / 16) * 2;
    const std::vector<uint8_t> noise = testsupport::PatternBytes(static_cast<size_t>(c.width * c.height), 5);
    std::vector<uint8_t> raw;
    for (int y = 0; y < c.height; ++y) {
        for (int p = 0; p < c.planes; ++p) {
            for (int i = 0; i < bytesPerLine; ++i) {
                uint8_t b = 0;
                for (int j = 0; j < 8; ++j) {
                    const int x = i * 8 + j;
                    // Long uniform stretches give runs; the rest is noise.
                    const int index = x < c.width ? ((x / 9 + y / 3) % 3 == 0 ? 15 : noise[y * c.width + x] & 15) : 0;
                    if ((index >> p) & 1) b = static_cast<uint8_t>(b | (0x80 >> j));
                }
                raw.push_back(b);
            }
        }
    }
    std::vector<uint8_t> data;
    if (c.crossLineRuns) {
        data = Encode(raw);
    } else {
        for (size_t off = 0; off < raw.size(); off += static_cast<size_t>(bytesPerLine)) {
            const std::vector<uint8_t> line(raw.begin() + static_cast<long>(off),
                                            raw.begin() + static_cast<long>(off) + bytesPerLine);
            const std::vector<uint8_t> enc = Encode(line);
            data.insert(data.end(), enc.begin(), enc.end());
        }
    }
    PcxFields s{5, 1, static_cast<uint8_t>(c.planes), static_cast<uint16_t>(c.width - 1),
              static_cast<uint16_t>(c.height - 1), static_cast<uint16_t>(bytesPerLine), {}};
    for (int i = 0; i < 16; ++i) {
        s.ega.insert(s.ega.end(), {static_cast<uint8_t>(i * 17), static_cast<uint8_t>(255 - i * 13),
                                   static_cast<uint8_t>((i * 91) & 255)});
    }
    testsupport::TempDir dir;
    const std::string path = dir.file("p.pcx");
    testsupport::WriteFile(path, MakePCX(s, data));
    int w = 0;
    int h = 0;
    const std::vector<uint32_t> reference = MagickPixels(path, &w, &h);
    ASSERT_FALSE(reference.empty());
    Loaded got = LoadPath(path);
    ASSERT_TRUE(got.image) << got.text;
    EXPECT_EQ(got.format, kKVLPixelFormatIndexed8);
    ASSERT_EQ(got.image->width, w);
    ASSERT_EQ(got.image->height, h);
    std::vector<uint32_t> expected = reference;
    if (c.planes == 1) {
        // ImageMagick shows a set bit as black; the reader follows the usual PCX
        // convention (and the grey ramp) of a set bit being white.
        for (uint32_t& p : expected) p ^= 0x00FFFFFF;
    }
    EXPECT_EQ(Pixels(*got.image), expected);
}

INSTANTIATE_TEST_SUITE_P(Files, PcxPlanar,
                         ::testing::Values(PlanarCase{"mono", 1, 45, 11, false},
                                           PlanarCase{"mono_runs_cross_lines", 1, 32, 7, true},
                                           PlanarCase{"colours16", 4, 45, 11, false},
                                           PlanarCase{"colours16_runs_cross_lines", 4, 37, 9, true}),
                         [](const ::testing::TestParamInfo<PlanarCase>& info) { return std::string(info.param.name); });

TEST(Pcx, HeaderRefusalsLeaveOutputsUntouched) {
    struct Case {
        const char* name;
        std::vector<uint8_t> file;
    };
    std::vector<uint8_t> shortHeader = MakePCX({5, 8, 1, 3, 3, 4, {}}, {});
    shortHeader.resize(100);
    std::vector<uint8_t> inverted = MakePCX({5, 1, 1, 3, 3, 4, {}}, {});
    KVLPutU16(inverted.data() + 4, 10);  // x min past x max
    std::vector<uint8_t> zeroHeight = MakePCX({5, 8, 1, 3, 0, 4, {}}, {});
    KVLPutU16(zeroHeight.data() + 6, 1);  // y min past y max: height 0
    const Case cases[] = {
        {"short_header", shortHeader},
        {"zero_height", zeroHeight},
        {"x_min_past_x_max", inverted},
        {"empty", {}},
    };
    KVLImageReaderPCX reader;
    for (const Case& c : cases) {
        KVLMemoryStream stream(c.file.data(), c.file.size());
        KVLPixelFormat format = kKVLPixelFormatRGB565;
        KVLString text = "kept";
        EXPECT_FALSE(reader.ReadStream(stream, &format, nullptr, &text)) << c.name;
        EXPECT_EQ(text, "kept") << c.name;
        EXPECT_EQ(format, kKVLPixelFormatRGB565) << c.name;
        Loaded viaLoad = LoadBytes(c.file, "pcx");
        EXPECT_EQ(viaLoad.text, "Unknown file type") << c.name;
    }
}

TEST(Pcx, RefusedVariants) {
    struct Case {
        const char* name;
        PcxFields fields;
    };
    const Case cases[] = {
        {"two_planes", {5, 8, 2, 3, 3, 4, {}}},
        {"three_planes_version_3", {3, 8, 3, 3, 3, 4, {}}},
        {"too_wide", {3, 8, 1, 3, 3, 4000, {}}},
        {"too_high", {5, 8, 1, 3, 0xFFFF, 4, {}}},
    };
    for (const Case& c : cases) {
        Loaded got = LoadBytes(MakePCX(c.fields, std::vector<uint8_t>(64, 1)), "pcx");
        EXPECT_FALSE(got.image) << c.name;
        EXPECT_EQ(got.text, "Unable to load file") << c.name;
        EXPECT_EQ(got.format, kKVLPixelFormatNone) << c.name;
    }
}

}  // namespace
