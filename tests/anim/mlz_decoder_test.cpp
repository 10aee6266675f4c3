// MLZ decoding: the LZ77 decompressor, the header checks, frame stepping, delta
// frames, and damaged files.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

#include "anim/kvl_anim_mlz.h"
#include "core/kvl_memorystream.h"
#include "support/test_support.h"

namespace {

std::vector<uint8_t> Decompress(const std::vector<uint8_t>& in, size_t capacity, int64_t* result) {
    std::vector<uint8_t> out(capacity, 0xAA);
    *result = KVLMLZDecompress(in.data(), in.size(), out.data(), out.size());
    out.resize(*result < 0 ? 0 : static_cast<size_t>(*result));
    return out;
}

TEST(MlzDecompress, Items) {
    struct Case {
        const char* name;
        std::vector<uint8_t> in;
        size_t capacity;
        int64_t result;
        std::vector<uint8_t> out;
    };
    const Case cases[] = {
        {"eight_literals", {0xFF, 1, 2, 3, 4, 5, 6, 7, 8}, 8, 8, {1, 2, 3, 4, 5, 6, 7, 8}},
        {"literal_then_overlapping_match", {0x01, 0x41, 0x00, 0x00}, 4, 4, {0x41, 0x41, 0x41, 0x41}},
        {"match_distance_2_length_5", {0x03, 7, 8, 0x01, 0x20}, 7, 7, {7, 8, 7, 8, 7, 8, 7}},
        {"ends_at_flag_byte", {0x01, 9}, 4, 1, {9}},
        {"one_byte_left_for_match", {0x01, 9, 0x00}, 4, 1, {9}},
        {"literal_bit_without_byte", {0x03, 9}, 4, 1, {9}},
        {"empty", {}, 4, 0, {}},
        {"second_flag_byte", {0xFF, 1, 1, 1, 1, 1, 1, 1, 1, 0x01, 2}, 9, 9, {1, 1, 1, 1, 1, 1, 1, 1, 2}},
        {"match_before_start", {0x00, 0x00, 0x00}, 4, -1, {}},
        {"distance_past_output", {0x01, 5, 0x01, 0x00}, 8, -1, {}},
        {"literal_past_capacity", {0x07, 1, 2, 3}, 2, -1, {}},
        {"match_past_capacity", {0x01, 1, 0x00, 0xF0}, 10, -1, {}},
    };
    for (const Case& c : cases) {
        int64_t result = 0;
        const std::vector<uint8_t> out = Decompress(c.in, c.capacity, &result);
        EXPECT_EQ(result, c.result) << c.name;
        EXPECT_EQ(out, c.out) << c.name;
    }
}

TEST(MlzDecompress, LongestMatchReachesBack4096) {
    std::vector<uint8_t> in;
    std::vector<uint8_t> expected;
    for (int i = 0; i < 4096; ++i) {
        if (i % 8 == 0) in.push_back(0xFF);
        in.push_back(static_cast<uint8_t>(i * 7 + i / 256));
        expected.push_back(in.back());
    }
    in.insert(in.end(), {0x00, 0xFF, 0xFF});  // distance 4096, length 18
    expected.insert(expected.end(), expected.begin(), expected.begin() + 18);
    int64_t result = 0;
    EXPECT_EQ(Decompress(in, 4096 + 18, &result), expected);
    EXPECT_EQ(result, 4096 + 18);
}

// Builds MLZ files frame by frame.
struct MlzBuilder {
    std::vector<uint8_t> bytes;
    MlzBuilder(int32_t w, int32_t h, uint8_t bpp, uint8_t compression, int32_t frames, int32_t timing = 0) {
        KVLMLZHeader header;
        header.width = w;
        header.height = h;
        header.bitsPerPixel = bpp;
        header.compression = compression;
        header.frameCount = frames;
        header.timing = timing;
        bytes.resize(kKVLMLZHeaderSize);
        header.Encode(bytes.data());
    }
    void Size(int32_t size) {
        bytes.resize(bytes.size() + 4);
        KVLPutU32(bytes.data() + bytes.size() - 4, static_cast<uint32_t>(size));
    }
    void Raw(const std::vector<uint8_t>& frame) {
        Size(-1);
        Bytes(frame);
    }
    void Bytes(const std::vector<uint8_t>& b) { bytes.insert(bytes.end(), b.begin(), b.end()); }
    // Palette whose entry i is the 565 word i * 257 (any distinct words will do).
    void Palette(uint16_t salt = 0) {
        for (int i = 0; i < 256; ++i) {
            bytes.resize(bytes.size() + 2);
            KVLPutU16(bytes.data() + bytes.size() - 2, static_cast<uint16_t>(i * 257 + salt));
        }
    }
};

struct Opened {
    std::unique_ptr<KVLAnimMLZ> anim = std::make_unique<KVLAnimMLZ>();
    bool ok = false;
    std::string text;
    KVLPixelFormat format = kKVLPixelFormatARGB4444;
};

Opened Open(const std::vector<uint8_t>& bytes) {
    Opened o;
    KVLMemoryStream stream(bytes.data(), bytes.size());
    KVLString text;
    o.ok = o.anim->Open(stream, &o.format, &text);
    o.text = text.c_str();
    return o;
}

std::vector<uint32_t> Frame(KVLAnimMLZ& anim) {
    std::vector<uint32_t> pixels(static_cast<size_t>(anim.GetWidth() * anim.GetHeight()), 0x12345678);
    KVLImage image;
    image.width = anim.GetWidth();
    image.height = anim.GetHeight();
    image.pixels = pixels.data();
    EXPECT_TRUE(anim.GetFrame(image));
    return pixels;
}

TEST(MlzAnim, ConstructedState) {
    KVLAnimMLZ anim;
    EXPECT_EQ(anim.GetWidth(), -1);
    EXPECT_EQ(anim.GetHeight(), -1);
    EXPECT_EQ(anim.GetFrameCount(), -1);
    EXPECT_EQ(anim.GetCurrentFrame(), -1);
    EXPECT_EQ(anim.GetTiming(), -1.0f);
    EXPECT_FALSE(anim.NextFrame());
    EXPECT_TRUE(anim.CanRead("MLZ"));
    EXPECT_TRUE(anim.CanRead("alz"));
    EXPECT_TRUE(anim.CanRead("Mlz"));
    EXPECT_FALSE(anim.CanRead("MLZ2"));
    EXPECT_FALSE(anim.CanRead("LZ"));
    EXPECT_TRUE(KVLClassInfo::FindClass("KVLAnim")->IsAbstract());
    EXPECT_TRUE(KVLClassInfo::FindClass("KVLAnimMLZ")->IsDerivedFrom(KVLAnim::StaticClass()));
    std::unique_ptr<KVLAnim> made = KVLCreateAs<KVLAnim>(KVLClassInfo::FindClass("KVLAnimMLZ"));
    ASSERT_TRUE(made);
    EXPECT_EQ(made->GetClass(), KVLAnimMLZ::StaticClass());
    EXPECT_TRUE(made->CanRead("alz"));
}

TEST(MlzAnim, OneFrameSixteenBit) {
    MlzBuilder b(2, 1, 16, 0, 1, 55);
    b.Raw({0xFF, 0xFF, 0x20, 0x00});
    Opened o = Open(b.bytes);
    ASSERT_TRUE(o.ok) << o.text;
    EXPECT_EQ(o.text, "MLZ animation - 2x1x16 - 1 frame");
    EXPECT_EQ(o.format, kKVLPixelFormatRGB565);
    EXPECT_EQ(o.anim->GetTiming(), 55.0f);
    EXPECT_EQ(o.anim->GetCurrentFrame(), 0);
    const std::vector<uint32_t> first = {0xFFF8FCF8, 0xFF000400};
    EXPECT_EQ(Frame(*o.anim), first);
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(o.anim->NextFrame());
        EXPECT_EQ(o.anim->GetCurrentFrame(), 0);
        EXPECT_EQ(Frame(*o.anim), first);
    }
}

TEST(MlzAnim, EightBitCompressedFramesLoop) {
    MlzBuilder b(4, 1, 8, 1, 3);
    b.Raw({0, 1, 2, 3});
    b.Palette(0);
    b.Size(4);
    b.Bytes({0x01, 5, 0x00, 0x00});  // 5, 5, 5, 5
    b.Palette(1);
    b.Size(5);
    b.Bytes({0x0F, 9, 8, 7, 6});
    b.Palette(2);
    Opened o = Open(b.bytes);
    ASSERT_TRUE(o.ok) << o.text;
    EXPECT_EQ(o.text, "MLZ animation - 4x1x8 - 3 frames");
    EXPECT_EQ(o.format, kKVLPixelFormatIndexed8);
    auto colour = [](int index, int salt) { return KVLPixelFrom565(static_cast<uint16_t>(index * 257 + salt)); };
    const std::vector<std::vector<uint32_t>> frames = {
        {colour(0, 0), colour(1, 0), colour(2, 0), colour(3, 0)},
        {colour(5, 1), colour(5, 1), colour(5, 1), colour(5, 1)},
        {colour(9, 2), colour(8, 2), colour(7, 2), colour(6, 2)},
    };
    for (int step = 0; step < 7; ++step) {
        EXPECT_EQ(o.anim->GetCurrentFrame(), step % 3);
        EXPECT_EQ(Frame(*o.anim), frames[static_cast<size_t>(step % 3)]) << step;
        ASSERT_TRUE(o.anim->NextFrame());
    }
}

TEST(MlzAnim, DeltaFrames) {
    MlzBuilder b(3, 1, 8, 2, 3);
    b.Raw({10, 20, 30});
    b.Palette();
    b.Raw({1, 255, 0});  // frame 1 = frame 0 + these, modulo 256
    b.Palette();
    b.Size(4);
    b.Bytes({0x07, 2, 2, 2});
    b.Palette();
    Opened o = Open(b.bytes);
    ASSERT_TRUE(o.ok) << o.text;
    auto colour = [](int index) { return KVLPixelFrom565(static_cast<uint16_t>(index * 257)); };
    const std::vector<std::vector<uint32_t>> frames = {
        {colour(10), colour(20), colour(30)},
        {colour(11), colour(19), colour(30)},
        {colour(13), colour(21), colour(32)},
    };
    for (int step = 0; step < 7; ++step) {
        // After the last frame, frame 0 comes back whole, not added to frame 2.
        EXPECT_EQ(Frame(*o.anim), frames[static_cast<size_t>(step % 3)]) << step;
        ASSERT_TRUE(o.anim->NextFrame());
    }
}

TEST(MlzAnim, OpenFailures) {
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        const char* text;
    };
    auto header = [](int32_t w, int32_t h, uint8_t bpp, uint8_t compression, int32_t frames) {
        MlzBuilder b(w, h, bpp, compression, frames);
        b.Raw(std::vector<uint8_t>(64, 1));
        b.Palette();
        return b.bytes;
    };
    std::vector<uint8_t> magic = header(2, 2, 8, 0, 1);
    magic[5] = 'X';
    std::vector<uint8_t> shortHeader = header(2, 2, 8, 0, 1);
    shortHeader.resize(23);
    std::vector<uint8_t> shortFrame = header(4, 4, 8, 0, 1);
    shortFrame.resize(kKVLMLZHeaderSize + 4 + 10);
    MlzBuilder wrongSize(4, 1, 8, 0, 1);
    wrongSize.Size(3);
    wrongSize.Bytes({0x07, 1, 2, 3});  // three literals announced as 3 bytes: 2 arrive
    wrongSize.Palette();
    MlzBuilder oneShort(4, 1, 8, 0, 1);
    oneShort.Size(4);
    oneShort.Bytes({0x07, 1, 2, 3});  // three bytes for a four-byte frame
    oneShort.Palette();
    const Case cases[] = {
        {"magic", magic, "Not an MLZ file"},
        {"short_header", shortHeader, "Not an MLZ file"},
        {"empty", {}, "Not an MLZ file"},
        {"compression_3", header(2, 2, 8, 3, 1), "Unknown compression type"},
        {"bpp_24", header(2, 2, 24, 0, 1), "Unknown compression type"},
        {"bpp_0", header(2, 2, 0, 0, 1), "Unknown compression type"},
        {"zero_frames", header(2, 2, 8, 0, 0), "File corrupted"},
        {"negative_frames", header(2, 2, 8, 0, -5), "File corrupted"},
        {"too_many_frames", header(2, 2, 8, 0, (1 << 20) + 1), "File corrupted"},
        {"too_wide", header(16385, 1, 8, 0, 1), "File corrupted"},
        {"zero_height", header(4, 0, 8, 0, 1), "File corrupted"},
        {"negative_width", header(-4, 4, 16, 0, 1), "File corrupted"},
        {"huge_frame_tiny_file", header(16384, 16384, 16, 0, 1), "File corrupted"},
        {"short_first_frame", shortFrame, "File corrupted"},
        {"first_frame_size_mismatch", wrongSize.bytes, "File corrupted"},
        {"first_frame_one_byte_short", oneShort.bytes, "File corrupted"},
    };
    for (const Case& c : cases) {
        Opened o = Open(c.bytes);
        EXPECT_FALSE(o.ok) << c.name;
        EXPECT_EQ(o.text, c.text) << c.name;
        EXPECT_EQ(o.format, kKVLPixelFormatNone) << c.name;
        EXPECT_FALSE(o.anim->NextFrame()) << c.name;
    }
    KVLAnimMLZ anim;
    KVLString text;
    EXPECT_FALSE(anim.OpenFile("/nonexistent/anim.mlz", nullptr, &text));
    EXPECT_EQ(text, "Unable to open file");
}

TEST(MlzAnim, LaterFrameDamageMakesTheAnimationInvalidForGood) {
    struct Case {
        const char* name;
        std::function<void(MlzBuilder&)> second;  // writes the second frame record
    };
    const Case cases[] = {
        {"one_byte_short", [](MlzBuilder& b) { b.Size(4); b.Bytes({0x07, 1, 2, 3}); b.Palette(); }},
        {"size_below_minus_one", [](MlzBuilder& b) { b.Size(-2); b.Bytes({1, 2, 3, 4}); b.Palette(); }},
        {"size_past_end", [](MlzBuilder& b) { b.Size(1 << 30); b.Bytes({1, 2, 3, 4}); b.Palette(); }},
        {"raw_cut", [](MlzBuilder& b) { b.Size(-1); b.Bytes({1, 2}); }},
        {"palette_cut", [](MlzBuilder& b) { b.Raw({1, 2, 3, 4}); b.Bytes({1, 2, 3}); }},
        {"size_cut", [](MlzBuilder& b) { b.Bytes({0xFF, 0xFF}); }},
        {"missing", [](MlzBuilder&) {}},
    };
    for (const Case& c : cases) {
        MlzBuilder b(4, 1, 8, 0, 3);
        b.Raw({1, 2, 3, 4});
        b.Palette();
        c.second(b);
        Opened o = Open(b.bytes);
        ASSERT_TRUE(o.ok) << c.name << ": " << o.text;
        EXPECT_FALSE(o.anim->NextFrame()) << c.name;
        EXPECT_FALSE(o.anim->IsValid()) << c.name;
        EXPECT_FALSE(o.anim->NextFrame()) << c.name;
        KVLImage image;
        std::vector<uint32_t> pixels(4);
        image.width = 4;
        image.height = 1;
        image.pixels = pixels.data();
        EXPECT_FALSE(o.anim->GetFrame(image)) << c.name;
    }
}

TEST(MlzAnim, GetFrameNeedsAnImageOfTheAnimationsSize) {
    MlzBuilder b(2, 2, 16, 0, 1);
    b.Raw(std::vector<uint8_t>(8, 0));
    Opened o = Open(b.bytes);
    ASSERT_TRUE(o.ok);
    std::vector<uint32_t> pixels(6);
    KVLImage wrong;
    wrong.width = 3;
    wrong.height = 2;
    wrong.pixels = pixels.data();
    EXPECT_FALSE(o.anim->GetFrame(wrong));
    KVLImage none;
    none.width = 2;
    none.height = 2;
    EXPECT_FALSE(o.anim->GetFrame(none));
}

TEST(MlzAnim, StreamGivenToOpenIsNotConsumed) {
    MlzBuilder b(1, 1, 16, 0, 1);
    b.Raw({0x1F, 0x00});
    KVLMemoryStream stream(b.bytes.data(), b.bytes.size());
    KVLAnimMLZ first;
    KVLAnimMLZ second;
    EXPECT_TRUE(first.Open(stream, nullptr, nullptr));
    EXPECT_TRUE(second.Open(stream, nullptr, nullptr));
    EXPECT_FALSE(stream.IsOpen());
}

// One thread steps the animation while another converts frames: every converted
// picture must be one whole frame.
TEST(MlzAnim, ConvertingWhileAdvancingGivesWholeFrames) {
    const int w = 64;
    const int h = 64;
    const int frames = 4;
    MlzBuilder b(w, h, 16, 0, frames);
    for (int f = 0; f < frames; ++f) {
        std::vector<uint8_t> raw;
        for (int i = 0; i < w * h; ++i) {
            raw.push_back(static_cast<uint8_t>(f + 1));
            raw.push_back(0);
        }
        b.Raw(raw);
    }
    Opened o = Open(b.bytes);
    ASSERT_TRUE(o.ok);
    std::atomic<bool> stop{false};
    std::atomic<int> steps{0};
    std::thread stepper([&] {
        while (!stop && o.anim->NextFrame()) {
            ++steps;
        }
    });
    std::vector<uint32_t> pixels(static_cast<size_t>(w * h));
    KVLImage image;
    image.width = w;
    image.height = h;
    image.pixels = pixels.data();
    int mixed = 0;
    int conversions = 0;
    for (; conversions < 100000 && (conversions < 300 || steps < 300); ++conversions) {
        if (!o.anim->GetFrame(image)) {
            break;
        }
        for (uint32_t p : pixels) {
            if (p != pixels[0]) {
                ++mixed;
                break;
            }
        }
    }
    stop = true;
    stepper.join();
    EXPECT_TRUE(o.anim->IsValid());
    EXPECT_GE(conversions, 300);
    EXPECT_GE(steps.load(), 300);
    EXPECT_EQ(mixed, 0);
}

}  // namespace
