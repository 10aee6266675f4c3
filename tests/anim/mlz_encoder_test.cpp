// MLZ writing: the LZ77 coder against the decompressor, writer round trips through
// KVLAnimMLZ, the quantiser, and kvl anim.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "anim/kvl_anim_mlz.h"
#include "anim/kvl_mlz_encoder.h"
#include "core/kvl_memorystream.h"
#include "image/kvl_pngwriter.h"
#include "support/test_support.h"

namespace {

std::vector<uint8_t> Periodic(size_t n, size_t period, uint32_t seed) {
    const std::vector<uint8_t> unit = testsupport::PatternBytes(period, seed);
    std::vector<uint8_t> out(n);
    for (size_t i = 0; i < n; ++i) out[i] = unit[i % period];
    return out;
}

TEST(MlzCompress, RoundTripsAndSizes) {
    struct Case {
        const char* name;
        std::vector<uint8_t> data;
        double maxRatio;  // compressed size / input size must stay at or below this
    };
    std::vector<uint8_t> runThenNoise(20000, 7);
    const std::vector<uint8_t> noise = testsupport::PatternBytes(10000, 9);
    std::copy(noise.begin(), noise.end(), runThenNoise.begin() + 10000);
    std::vector<uint8_t> gradient(65536);
    for (size_t i = 0; i < gradient.size(); ++i) gradient[i] = static_cast<uint8_t>((i % 256) / 4 + (i / 256) / 8);
    const Case cases[] = {
        {"one_byte", {42}, 2.0},
        {"two_bytes", {1, 1}, 1.5},
        {"zeros", std::vector<uint8_t>(65536, 0), 0.125},
        {"noise", testsupport::PatternBytes(10000, 1), 1.13},
        {"period_3", Periodic(9000, 3, 2), 0.13},
        {"period_4096", Periodic(3 * 4096, 4096, 3), 0.47},
        {"period_4097", Periodic(3 * 4097, 4097, 4), 1.13},
        {"run_then_noise", runThenNoise, 0.63},
        {"gradient", gradient, 0.25},
    };
    for (const Case& c : cases) {
        const std::vector<uint8_t> packed = KVLMLZCompress(c.data.data(), c.data.size());
        std::vector<uint8_t> back(c.data.size() + 32, 0xCC);
        const int64_t n = KVLMLZDecompress(packed.data(), packed.size(), back.data(), c.data.size());
        ASSERT_EQ(n, static_cast<int64_t>(c.data.size())) << c.name;
        back.resize(c.data.size());
        EXPECT_EQ(back, c.data) << c.name;
        EXPECT_LE(static_cast<double>(packed.size()), c.maxRatio * static_cast<double>(c.data.size()))
            << c.name << ": " << packed.size() << " bytes";
    }
}

TEST(MlzCompress, ManyRandomBuffersRoundTrip) {
    for (uint32_t seed = 0; seed < 200; ++seed) {
        const std::vector<uint8_t> r = testsupport::PatternBytes(1 + seed * 37, seed);
        // Low-entropy bytes: few distinct values with repeats.
        std::vector<uint8_t> data(r.size());
        for (size_t i = 0; i < r.size(); ++i) data[i] = static_cast<uint8_t>(r[i] % (1 + seed % 5));
        const std::vector<uint8_t> packed = KVLMLZCompress(data.data(), data.size());
        std::vector<uint8_t> back(data.size());
        ASSERT_EQ(KVLMLZDecompress(packed.data(), packed.size(), back.data(), back.size()),
                  static_cast<int64_t>(data.size()))
            << seed;
        ASSERT_EQ(back, data) << seed;
    }
}

struct Encoded {
    std::vector<uint8_t> bytes;
    int32_t rawFrames = 0;
};

// A smooth moving picture with a noisy patch: frames of both compressible and
// incompressible content.
std::vector<uint32_t> MovingFrame(int w, int h, int f, bool noisy) {
    const std::vector<uint8_t> noise = testsupport::PatternBytes(static_cast<size_t>(w * h * 3), 100 + f);
    std::vector<uint32_t> p(static_cast<size_t>(w * h));
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const size_t i = static_cast<size_t>(y * w + x);
            uint32_t r = static_cast<uint32_t>((x + f * 3) * 4) & 255;
            uint32_t g = static_cast<uint32_t>(y * 4) & 255;
            uint32_t b = static_cast<uint32_t>((x + y + f) * 2) & 255;
            if (noisy) {
                r = noise[3 * i];
                g = noise[3 * i + 1];
                b = noise[3 * i + 2];
            }
            p[i] = 0xFF000000u | (r << 16) | (g << 8) | b;
        }
    }
    return p;
}

std::vector<std::vector<uint32_t>> Decode(const std::vector<uint8_t>& bytes, int frames) {
    KVLMemoryStream stream(bytes.data(), bytes.size());
    KVLAnimMLZ anim;
    KVLString text;
    EXPECT_TRUE(anim.Open(stream, nullptr, &text)) << text.c_str();
    std::vector<std::vector<uint32_t>> out;
    if (anim.GetFrameCount() != frames) {
        ADD_FAILURE() << "frame count " << anim.GetFrameCount();
        return out;
    }
    for (int f = 0; f < frames; ++f) {
        if (f > 0) {
            EXPECT_TRUE(anim.NextFrame());
        }
        std::unique_ptr<KVLImage> image = KVLImage::Create(anim.GetWidth(), anim.GetHeight());
        EXPECT_TRUE(anim.GetFrame(*image));
        out.emplace_back(image->pixels, image->pixels + static_cast<size_t>(image->width) * image->height);
    }
    return out;
}

std::vector<uint32_t> As565(const std::vector<uint32_t>& p) {
    std::vector<uint32_t> out;
    for (uint32_t v : p) out.push_back(KVLPixelFrom565(KVLPixelTo565(v)));
    return out;
}

TEST(MlzWriter, SixteenBitRoundTripIsExactIn565) {
    const int w = 40;
    const int h = 30;
    std::vector<std::vector<uint32_t>> frames;
    for (int f = 0; f < 4; ++f) frames.push_back(MovingFrame(w, h, f, f == 2));
    KVLMemoryStream out;
    KVLMLZWriter writer(out);
    KVLMLZHeader header;
    header.width = w;
    header.height = h;
    header.bitsPerPixel = 16;
    header.compression = 1;
    header.frameCount = 4;
    ASSERT_TRUE(writer.Begin(header, nullptr));
    for (const auto& f : frames) {
        std::vector<uint16_t> words;
        for (uint32_t p : f) words.push_back(KVLPixelTo565(p));
        ASSERT_TRUE(writer.AddFrame16(words.data()));
    }
    ASSERT_TRUE(writer.Finish(nullptr));
    EXPECT_EQ(writer.GetRawFrames(), 1);  // only the noise frame is stored raw
    const auto decoded = Decode(out.GetBytes(), 4);
    ASSERT_EQ(decoded.size(), 4u);
    for (size_t f = 0; f < 4; ++f) EXPECT_EQ(decoded[f], As565(frames[f])) << f;
}

TEST(MlzWriter, EightBitFewColoursRoundTripIsExact) {
    const int w = 33;
    const int h = 17;
    // 200 colours, some differing only in the low bits that 565 drops.
    const std::vector<uint8_t> r = testsupport::PatternBytes(200 * 3, 77);
    std::vector<uint32_t> colours;
    for (int i = 0; i < 200; ++i) colours.push_back(0xFF000000u | (r[3 * i] << 16) | (r[3 * i + 1] << 8) | r[3 * i + 2]);
    for (bool delta : {false, true}) {
        std::vector<std::vector<uint32_t>> frames;
        for (int f = 0; f < 5; ++f) {
            std::vector<uint32_t> p(static_cast<size_t>(w * h));
            for (size_t i = 0; i < p.size(); ++i) p[i] = colours[(i / 7 + static_cast<size_t>(f) * 3 + (i % 5)) % 200];
            frames.push_back(p);
        }
        KVLMemoryStream out;
        KVLMLZWriter writer(out);
        KVLMLZHeader header;
        header.width = w;
        header.height = h;
        header.bitsPerPixel = 8;
        header.compression = delta ? 2 : 1;
        header.frameCount = 5;
        ASSERT_TRUE(writer.Begin(header, nullptr));
        for (const auto& f : frames) {
            const KVLQuantized q = KVLQuantize565(f.data(), f.size());
            EXPECT_LE(q.colours, 200);
            ASSERT_TRUE(writer.AddFrame8(q.indices.data(), q.palette));
        }
        ASSERT_TRUE(writer.Finish(nullptr));
        const auto decoded = Decode(out.GetBytes(), 5);
        ASSERT_EQ(decoded.size(), 5u);
        for (size_t f = 0; f < 5; ++f) EXPECT_EQ(decoded[f], As565(frames[f])) << "delta " << delta << " frame " << f;
    }
}

TEST(MlzWriter, RefusesWhatTheReaderWouldNotRead) {
    struct Case {
        const char* name;
        int32_t w, h;
        uint8_t bpp, compression;
        int32_t frames;
    };
    const Case cases[] = {
        {"delta_16bit", 4, 4, 16, 2, 1}, {"bpp_24", 4, 4, 24, 0, 1},       {"compression_3", 4, 4, 8, 3, 1},
        {"zero_width", 0, 4, 8, 0, 1},   {"too_high", 4, 16385, 8, 0, 1}, {"no_frames", 4, 4, 8, 0, 0},
    };
    for (const Case& c : cases) {
        KVLMemoryStream out;
        KVLMLZWriter writer(out);
        KVLMLZHeader header;
        header.width = c.w;
        header.height = c.h;
        header.bitsPerPixel = c.bpp;
        header.compression = c.compression;
        header.frameCount = c.frames;
        KVLString error;
        EXPECT_FALSE(writer.Begin(header, &error)) << c.name;
        EXPECT_FALSE(error.IsEmpty()) << c.name;
    }
    KVLMemoryStream out;
    KVLMLZWriter writer(out);
    KVLMLZHeader header;
    header.width = 2;
    header.height = 2;
    header.bitsPerPixel = 16;
    header.frameCount = 2;
    ASSERT_TRUE(writer.Begin(header, nullptr));
    const uint16_t words[4] = {1, 2, 3, 4};
    ASSERT_TRUE(writer.AddFrame16(words));
    uint16_t palette[256] = {};
    const uint8_t indices[4] = {};
    EXPECT_FALSE(writer.AddFrame8(indices, palette));
    KVLString error;
    EXPECT_FALSE(writer.Finish(&error));
}

// Mean squared error per channel between the pixels in 565 (the best any palette of
// 565 words can do) and what the decoder shows.
double Error(const std::vector<uint32_t>& original, const std::vector<uint8_t>& indices, const uint16_t* palette) {
    const std::vector<uint32_t> pixels = As565(original);
    double sum = 0;
    for (size_t i = 0; i < pixels.size(); ++i) {
        const uint32_t shown = KVLPixelFrom565(palette[indices[i]]);
        for (int shift : {0, 8, 16}) {
            const double d = static_cast<double>((pixels[i] >> shift) & 255) - ((shown >> shift) & 255);
            sum += d * d;
        }
    }
    return sum / (3.0 * static_cast<double>(pixels.size()));
}

TEST(Quantize, MedianCutBeatsAFixedPaletteByFar) {
    // A smooth picture of about 16000 distinct 565 colours in a few hue bands.
    const int w = 128;
    const int h = 128;
    std::vector<uint32_t> pixels;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const double t = x / 127.0;
            const double s = y / 127.0;
            const uint32_t r = static_cast<uint32_t>(255 * (0.5 + 0.5 * std::sin(6 * t + 2 * s)));
            const uint32_t g = static_cast<uint32_t>(255 * s * t);
            const uint32_t b = static_cast<uint32_t>(255 * (1 - s));
            pixels.push_back(0xFF000000u | (r << 16) | (g << 8) | b);
        }
    }
    const KVLQuantized q = KVLQuantize565(pixels.data(), pixels.size());
    EXPECT_EQ(q.colours, 256);
    const double ours = Error(pixels, q.indices, q.palette);
    // The fixed 3-3-2 palette every naive converter falls back to.
    uint16_t fixed[256];
    std::vector<uint8_t> fixedIndices;
    for (int i = 0; i < 256; ++i) {
        const int r = ((i >> 5) & 7) * 255 / 7;
        const int g = ((i >> 2) & 7) * 255 / 7;
        const int b = (i & 3) * 255 / 3;
        fixed[i] = KVLPixelTo565(0xFF000000u | (r << 16) | (g << 8) | b);
    }
    for (uint32_t p : pixels) {
        const int r = static_cast<int>(((p >> 16) & 255) * 7 + 127) / 255;
        const int g = static_cast<int>(((p >> 8) & 255) * 7 + 127) / 255;
        const int b = static_cast<int>((p & 255) * 3 + 127) / 255;
        fixedIndices.push_back(static_cast<uint8_t>((r << 5) | (g << 2) | b));
    }
    const double naive = Error(pixels, fixedIndices, fixed);
    EXPECT_LT(ours, naive / 4) << "median cut " << ours << ", fixed palette " << naive;
    EXPECT_LT(ours, 36.0) << "median cut " << ours;  // an RMS error of under 6 levels per channel
}

TEST(Quantize, PreviousPaletteKeepsIndicesOfUnchangedColours) {
    const std::vector<uint32_t> frame = MovingFrame(64, 64, 0, true);  // thousands of colours
    const KVLQuantized first = KVLQuantize565(frame.data(), frame.size());
    // The same picture again: every colour finds its old slot.
    const KVLQuantized again = KVLQuantize565(frame.data(), frame.size(), first.palette);
    EXPECT_EQ(again.indices, first.indices);
    EXPECT_EQ(std::vector<uint16_t>(again.palette, again.palette + 256),
              std::vector<uint16_t>(first.palette, first.palette + 256));
    // A picture of few colours that all occur in the previous palette keeps their slots.
    std::vector<uint32_t> few;
    for (int i = 0; i < 100; ++i) few.push_back(KVLPixelFrom565(first.palette[(i * 37) % 256]));
    const KVLQuantized aligned = KVLQuantize565(few.data(), few.size(), first.palette);
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(aligned.indices[static_cast<size_t>(i)], (i * 37) % 256) << i;
    }
}

TEST(Quantize, EmptyAndSingleColour) {
    const KVLQuantized none = KVLQuantize565(nullptr, 0);
    EXPECT_EQ(none.colours, 0);
    const std::vector<uint32_t> one(10, 0xFF123456);
    const KVLQuantized q = KVLQuantize565(one.data(), one.size());
    EXPECT_EQ(q.colours, 1);
    EXPECT_EQ(q.palette[0], KVLPixelTo565(0xFF123456));
    EXPECT_EQ(q.indices, std::vector<uint8_t>(10, 0));
}

// kvl anim: encode PNG frames, describe, decode back to PNG.
TEST(KvlAnim, EncodeInfoDecode) {
    if (!testsupport::HavePosixShell()) {
        GTEST_SKIP() << testsupport::kNoPosixShell;
    }
    testsupport::TempDir dir;
    const int w = 48;
    const int h = 20;
    std::vector<std::string> names;
    std::vector<std::vector<uint32_t>> frames;
    for (int f = 0; f < 3; ++f) {
        frames.push_back(MovingFrame(w, h, f, false));
        KVLImage image;
        image.width = w;
        image.height = h;
        image.pixels = frames.back().data();
        names.push_back(dir.file("in" + std::to_string(f) + ".png"));
        ASSERT_TRUE(KVLWritePNG(image, names.back().c_str(), nullptr));
    }
    const std::string kvl = "'" + testsupport::BinPath("kvl") + "' anim ";
    const std::string mlz = dir.file("a.mlz");
    std::string out;
    ASSERT_EQ(testsupport::Run(kvl + "encode --bpp 16 --timing 70 -o '" + mlz + "' '" + names[0] + "' '" + names[1] +
                               "' '" + names[2] + "'", &out),
              0);
    EXPECT_EQ(out, "MLZ animation - 48x20x16 - 3 frames\n");
    out.clear();
    ASSERT_EQ(testsupport::Run(kvl + "info '" + mlz + "'", &out), 0);
    EXPECT_NE(out.find("MLZ animation - 48x20x16 - 3 frames\nwidth\t48\nheight\t20\nbits per pixel\t16\n"
                       "compression\t1\nframes\t3\ntiming\t70\n"),
              std::string::npos)
        << out;
    out.clear();
    ASSERT_EQ(testsupport::Run(kvl + "'" + mlz + "' -o '" + dir.file("out") + "'", &out), 0);
    EXPECT_EQ(out, "MLZ animation - 48x20x16 - 3 frames\n");
    for (int f = 0; f < 3; ++f) {
        char name[32];
        std::snprintf(name, sizeof name, "out/frame-%04d.png", f);
        std::unique_ptr<KVLImage> back = KVLReadPNG(dir.file(name).c_str(), nullptr);
        ASSERT_TRUE(back) << name;
        EXPECT_EQ(std::vector<uint32_t>(back->pixels, back->pixels + w * h), As565(frames[static_cast<size_t>(f)]));
    }
    EXPECT_FALSE(testsupport::FileExists(dir.file("out/frame-0003.png")));

    // 8-bit delta encoding of frames with few colours is exact in 565 too.
    out.clear();
    ASSERT_EQ(testsupport::Run(kvl + "encode --bpp 8 --delta -o '" + dir.file("b.alz") + "' '" + names[0] + "' '" +
                               names[1] + "'", &out),
              0);
    EXPECT_EQ(out, "MLZ animation - 48x20x8 - 2 frames\n");
    const auto decoded = Decode(testsupport::ReadFile(dir.file("b.alz")), 2);
    ASSERT_EQ(decoded.size(), 2u);
    // Each moving frame has well over 256 colours: the quantiser's result is close,
    // not exact.
    double worst = 0;
    for (size_t i = 0; i < decoded[1].size(); ++i) {
        for (int shift : {0, 8, 16}) {
            worst = std::max(worst, std::fabs(static_cast<double>((decoded[1][i] >> shift) & 255) -
                                              ((As565(frames[1])[i] >> shift) & 255)));
        }
    }
    EXPECT_LE(worst, 24.0);

    EXPECT_EQ(testsupport::Run(kvl + "encode --bpp 16 --delta -o x.mlz '" + names[0] + "' 2>/dev/null"), 2);
    EXPECT_EQ(testsupport::Run(kvl + "encode --bpp 12 -o x.mlz '" + names[0] + "' 2>/dev/null"), 2);
    EXPECT_EQ(testsupport::Run(kvl + "'" + mlz + "' 2>/dev/null"), 2);
    testsupport::WriteFile(dir.file("bad.mlz"), std::string("KVLMLZ but short"));
    out.clear();
    EXPECT_EQ(testsupport::Run(kvl + "info '" + dir.file("bad.mlz") + "' 2>&1", &out), 1);
    EXPECT_NE(out.find("Not an MLZ file"), std::string::npos) << out;
    KVLImage small;
    std::vector<uint32_t> px(4, 0xFF000000);
    small.width = 2;
    small.height = 2;
    small.pixels = px.data();
    ASSERT_TRUE(KVLWritePNG(small, dir.file("small.png").c_str(), nullptr));
    EXPECT_EQ(testsupport::Run(kvl + "encode --bpp 16 -o '" + dir.file("c.mlz") + "' '" + names[0] + "' '" +
                               dir.file("small.png") + "' 2>/dev/null"),
              1);
    EXPECT_FALSE(testsupport::FileExists(dir.file("c.mlz")));
}

}  // namespace
