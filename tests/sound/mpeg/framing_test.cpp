// Framing and buffering of the decoder: header fields and frame lengths, the sync
// search, the input buffer's refill rules, tags between frames, and the internal
// setup's reduction, channel mode and 8-bit output.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "sound/mpeg/mpeg_test_util.h"
#include "sound/mpeg/mpg_decoder.h"
#include "support/test_support.h"

namespace {

std::vector<uint8_t> Vector(const char* name) {
    return testsupport::ReadFile(testsupport::SourcePath(std::string("tests/sound/mpeg/vectors/") + name));
}

struct MemoryInput {
    const std::vector<uint8_t>* bytes;
    size_t pos = 0;
    static int32_t Read(void* context, uint8_t* dst, int32_t max) {
        auto* in = static_cast<MemoryInput*>(context);
        const size_t n = std::min(in->bytes->size() - in->pos, static_cast<size_t>(max));
        if (n > 0) {
            std::memcpy(dst, in->bytes->data() + in->pos, n);
        }
        in->pos += n;
        return static_cast<int32_t>(n);
    }
};

TEST(MpegHeader, FieldsAndFrameLengths) {
    struct Case {
        uint8_t b1, b2, b3;
        bool valid;
        int layer, rate, bytes, samples;
    };
    const Case cases[] = {
        {0xFB, 0x90, 0x44, true, 3, 44100, 417, 1152},   // MPEG-1 L3 128k 44.1
        {0xFB, 0x92, 0x44, true, 3, 44100, 417, 1152},   // padding bit: not in the length
        {0xFB, 0xE4, 0x00, true, 3, 48000, 960, 1152},   // 320k 48k
        {0xFB, 0xE8, 0x00, true, 3, 32000, 1440, 1152},  // 320k 32k, the longest Layer III frame
        {0xF3, 0x80, 0xC4, true, 3, 22050, 208, 576},    // MPEG-2 L3 64k 22.05
        {0xE3, 0x88, 0xC4, true, 3, 8000, 576, 576},     // MPEG-2.5 L3 64k 8k
        {0xE3, 0x40, 0xC4, true, 3, 11025, 208, 576},    // MPEG-2.5 32k 11.025
        {0xFD, 0xA4, 0x00, true, 2, 48000, 576, 1152},   // MPEG-1 L2 192k
        {0xFF, 0xC8, 0x00, true, 1, 32000, 576, 384},    // MPEG-1 L1 384k 32k
        {0xF7, 0x24, 0x00, true, 1, 24000, 96, 384},     // MPEG-2 L1 48k 24k
        {0xFB, 0xF0, 0x44, false, 0, 0, 0, 0},           // bitrate index 15
        {0xFB, 0x9C, 0x44, false, 0, 0, 0, 0},           // sampling frequency index 3
        {0xF9, 0x90, 0x44, false, 0, 0, 0, 0},           // layer field 0
        {0xEB, 0x90, 0x44, false, 0, 0, 0, 0},           // reserved version
        {0xDB, 0x90, 0x44, false, 0, 0, 0, 0},           // no sync
    };
    for (const Case& c : cases) {
        const uint8_t bytes[4] = {0xFF, c.b1, c.b2, c.b3};
        MpgHeader h;
        ASSERT_EQ(mpgParseHeader(bytes, h), c.valid) << std::hex << int(c.b1) << " " << int(c.b2);
        if (!c.valid) {
            continue;
        }
        EXPECT_EQ(h.layer, c.layer);
        EXPECT_EQ(mpgSampleRateOf(h), c.rate);
        EXPECT_EQ(mpgFrameBytes(h), c.bytes);
        EXPECT_EQ(mpgSamplesPerFrame(h), c.samples);
    }
    MpgHeader free;
    const uint8_t freeFormat[4] = {0xFF, 0xFB, 0x04, 0x44};
    ASSERT_TRUE(mpgParseHeader(freeFormat, free));
    EXPECT_EQ(mpgFrameBytes(free), 0);
}

TEST(MpegDecoder, OpenReportsTheFirstFrame) {
    const auto bytes = Vector("l3-sin1k0db.bit");
    MemoryInput in{&bytes};
    MpgDecoder dec;
    ASSERT_TRUE(mpgOpen(dec, MemoryInput::Read, &in, 4000000));
    EXPECT_EQ(mpgSampleRate(dec), 44100);
    EXPECT_EQ(mpgBitsPerSample(dec), 16);
    EXPECT_TRUE(mpgIsStereo(dec));
    EXPECT_EQ(mpgBitrate(dec), 128000);
    EXPECT_EQ(mpgFirstFrameLength(dec), 417);
    EXPECT_EQ(mpgFramesPerCall(dec), 1152);
    EXPECT_EQ(mpgEstimatedFrames(dec), 11050359);
    mpgClose(dec);
    MemoryInput again{&bytes};
    ASSERT_TRUE(mpgOpen(dec, MemoryInput::Read, &again, -1));
    EXPECT_EQ(mpgEstimatedFrames(dec), -1);
    mpgClose(dec);

    const auto mono = Vector("M2L3_compl24.bit");
    MemoryInput m{&mono};
    ASSERT_TRUE(mpgOpen(dec, MemoryInput::Read, &m, static_cast<int32_t>(mono.size())));
    EXPECT_FALSE(mpgIsStereo(dec));
    EXPECT_EQ(mpgFramesPerCall(dec), 576);
    EXPECT_EQ(mpgSampleRate(dec), 24000);
    mpgClose(dec);
}

TEST(MpegDecoder, OpenFailures) {
    const std::vector<std::vector<uint8_t>> inputs = {
        {},                                         // nothing to read
        std::vector<uint8_t>(70000, 0x55),          // no sync in the first load
        {0x00, 0xFF, 0xE0},                         // sync with no room for a header
        {0xFF, 0xFB, 0xF0, 0x44, 0, 0, 0, 0},       // bitrate index 15
        {0xFF, 0xFB, 0x9C, 0x44, 0, 0, 0, 0},       // sampling frequency index 3
        {0xFF, 0xFB, 0x04, 0x44, 0, 0, 0, 0},       // free format without a repeat
        {0xFF, 0xFD, 0x14, 0x00, 0, 0, 0, 0},       // Layer II 32k stereo: not allowed
        {0xFF, 0xFD, 0xB4, 0xC0, 0, 0, 0, 0},       // Layer II 224k mono: not allowed
    };
    for (const auto& bytes : inputs) {
        MemoryInput in{&bytes};
        MpgDecoder dec;
        EXPECT_FALSE(mpgOpen(dec, MemoryInput::Read, &in, static_cast<int32_t>(bytes.size())));
        int16_t out[kMpgMaxFrameSamples];
        EXPECT_EQ(mpgDecodeFrame(dec, out), -1);
        mpgClose(dec);
    }
}

// Decoders share nothing: two streams decoded in turn, frame by frame, each with its
// own full-band setting, come out exactly as each does alone.
TEST(MpegDecoder, DecodersAreIndependent) {
    struct Case {
        const char* names[2];
        bool fullBand[2];
    };
    const Case cases[] = {
        {{"l3-si.bit", "l3-sin1k0db.bit"}, {true, false}},
        {{"l3-he_44khz.bit", "M2L3_compl24.bit"}, {false, true}},
        {{"l2-fl13.bit", "l1-fl2.bit"}, {true, false}},
    };
    for (const Case& c : cases) {
        const std::vector<uint8_t> bytes[2] = {Vector(c.names[0]), Vector(c.names[1])};
        MemoryInput in[2] = {{&bytes[0]}, {&bytes[1]}};
        MpgDecoder dec[2];
        bool open[2];
        for (int k = 0; k < 2; ++k) {
            mpgSetFullBand(dec[k], c.fullBand[k]);
            open[k] = mpgOpen(dec[k], MemoryInput::Read, &in[k], -1);
            ASSERT_TRUE(open[k]) << c.names[k];
        }
        std::vector<int16_t> pcm[2];
        int16_t out[kMpgMaxFrameSamples];
        while (open[0] || open[1]) {
            for (int k = 0; k < 2; ++k) {
                const int32_t n = open[k] ? mpgDecodeFrame(dec[k], out) : -1;
                open[k] = n >= 0;
                if (open[k]) {
                    pcm[k].insert(pcm[k].end(), out, out + n * mpgChannels(dec[k]));
                }
            }
        }
        for (int k = 0; k < 2; ++k) {
            const auto alone = mpegtest::DecodeBytes(bytes[k], c.fullBand[k]);
            ASSERT_GT(alone.frames, 10) << c.names[k];
            EXPECT_EQ(pcm[k], alone.pcm) << c.names[k];
        }
    }
}

// Any way of delivering the bytes, and any junk before the first frame, gives the
// same samples.
TEST(MpegDecoder, BufferingDoesNotChangeTheOutput) {
    const auto stream = Vector("l3-si.bit");
    const auto whole = mpegtest::DecodeBytes(stream, false);
    ASSERT_TRUE(whole.opened);
    ASSERT_GT(whole.frames, 50);
    for (const int32_t chunk : {1, 7, 418, 2499, 60001}) {
        const auto d = mpegtest::DecodeBytes(stream, false, chunk);
        ASSERT_TRUE(d.opened) << chunk;
        EXPECT_EQ(d.pcm, whole.pcm) << chunk;
    }
    // The first sync near the end of the first 60000-byte load.
    for (const size_t junk : {size_t{59000}, size_t{59990}, size_t{59998}}) {
        std::vector<uint8_t> bytes(junk, 0x00);
        bytes.insert(bytes.end(), stream.begin(), stream.end());
        const auto d = mpegtest::DecodeBytes(bytes, false);
        ASSERT_TRUE(d.opened) << junk;
        EXPECT_EQ(d.pcm, whole.pcm) << junk;
    }
}

TEST(MpegDecoder, TagsBetweenFramesAndTheEnd) {
    const auto stream = Vector("l2-fl13.bit");  // 32k mono Layer II, 144-byte frames
    const auto whole = mpegtest::DecodeBytes(stream, false);
    ASSERT_TRUE(whole.opened);
    std::vector<uint8_t> tag(128, 'x');
    std::memcpy(tag.data(), "TAG", 3);
    // A tag at a frame boundary is stepped over; decoding goes on after it.
    std::vector<uint8_t> bytes(stream.begin(), stream.begin() + 144 * 10);
    bytes.insert(bytes.end(), tag.begin(), tag.end());
    bytes.insert(bytes.end(), stream.begin() + 144 * 10, stream.end());
    bytes.insert(bytes.end(), tag.begin(), tag.end());
    const auto d = mpegtest::DecodeBytes(bytes, false);
    EXPECT_EQ(d.pcm, whole.pcm);
    // 'T' without "AG" ends decoding at that point.
    bytes.assign(stream.begin(), stream.begin() + 144 * 10);
    const char* notTag = "TAX and more bytes that are no frame at all";
    bytes.insert(bytes.end(), notTag, notTag + std::strlen(notTag));
    bytes.insert(bytes.end(), stream.begin() + 144 * 10, stream.end());
    const auto cut = mpegtest::DecodeBytes(bytes, false);
    EXPECT_EQ(cut.frames, 10);
}

TEST(MpegDecoder, InternalSetupOptions) {
    const auto bytes = Vector("l3-sin1k0db.bit");  // 1 kHz sine, joint stereo
    auto decodeAll = [&](int reduction, int mode, int flags, int* channels, int* rate) {
        MemoryInput input{&bytes};
        std::vector<uint8_t> all;
        MpgDecoder dec;
        EXPECT_TRUE(mpgOpenCustom(dec, MemoryInput::Read, &input, -1, reduction, mode, flags, 24000));
        *channels = mpgChannels(dec);
        *rate = mpgSampleRate(dec);
        const int width = (flags & kMpgOutput8Bit) ? 1 : 2;
        uint8_t out[kMpgMaxFrameSamples * 2];
        for (int32_t n; (n = mpgDecodeFrame(dec, out)) >= 0;) {
            EXPECT_EQ(n, mpgFramesPerCall(dec));
            all.insert(all.end(), out, out + n * *channels * width);
        }
        mpgClose(dec);
        return all;
    };
    int ch;
    int rate;
    const auto full = mpegtest::ToSamples(decodeAll(0, 0, 0, &ch, &rate));
    ASSERT_EQ(ch, 2);
    ASSERT_EQ(rate, 44100);
    const size_t frames = full.size() / 2;
    ASSERT_GT(frames, 100000u);

    const auto left = mpegtest::ToSamples(decodeAll(0, 2, 0, &ch, &rate));
    ASSERT_EQ(ch, 1);
    ASSERT_EQ(left.size(), frames);
    const auto right = mpegtest::ToSamples(decodeAll(0, 3, 0, &ch, &rate));
    const auto mix = mpegtest::ToSamples(decodeAll(0, 1, 0, &ch, &rate));
    const auto eight = decodeAll(0, 0, kMpgOutput8Bit, &ch, &rate);
    ASSERT_EQ(eight.size(), full.size());
    for (size_t i = 0; i < frames; ++i) {
        ASSERT_EQ(left[i], full[2 * i]) << i;
        ASSERT_EQ(right[i], full[2 * i + 1]) << i;
        const bool clipped = std::abs(full[2 * i]) >= 32767 || std::abs(full[2 * i + 1]) >= 32767;
        if (!clipped) {  // the mix is formed before the output clips (a 0 dB sine reaches it)
            ASSERT_NEAR(mix[i], (full[2 * i] + full[2 * i + 1]) / 2.0, 1.5) << i;
        }
        ASSERT_EQ(eight[2 * i], static_cast<uint8_t>((full[2 * i] >> 8) + 128)) << i;
    }
    for (const int reduction : {1, 2}) {
        const auto reduced = mpegtest::ToSamples(decodeAll(reduction, 0, 0, &ch, &rate));
        EXPECT_EQ(rate, 44100 >> reduction);
        ASSERT_EQ(reduced.size(), full.size() >> reduction);
        // A 1 kHz tone lies far below the reduced Nyquist frequency: the reduced output
        // follows every 2nd or 4th value of the full-rate output.
        const int step = 1 << reduction;
        double sum = 0;
        for (size_t i = 0; i < reduced.size() / 2; ++i) {
            const double d = reduced[2 * i] - full[2 * i * step];
            sum += d * d;
        }
        EXPECT_LT(std::sqrt(sum / (reduced.size() / 2)), 2.0) << reduction;
    }
}

}  // namespace
