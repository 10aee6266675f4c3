// Damaged streams: each kind of corruption ends decoding cleanly or turns the damaged
// frame into silence, and decoding goes on with the next frame.
#include <gtest/gtest.h>

#include <functional>

#include "sound/mpeg/mpeg_test_util.h"
#include "sound/mpeg/mpg_decoder.h"
#include "support/test_support.h"

namespace {

std::vector<uint8_t> Vector(const char* name) {
    return testsupport::ReadFile(testsupport::SourcePath(std::string("tests/sound/mpeg/vectors/") + name));
}

// Byte offsets of the frames of a stream that starts with a frame.
std::vector<size_t> FrameOffsets(const std::vector<uint8_t>& s) {
    std::vector<size_t> offsets;
    size_t pos = 0;
    MpgHeader h;
    while (pos + 4 <= s.size() && mpgParseHeader(&s[pos], h)) {
        offsets.push_back(pos);
        pos += static_cast<size_t>(mpgFrameBytes(h) + h.padding * (h.layer == 1 ? 4 : 1));
    }
    return offsets;
}

// Writes value into n bits at bit offset bit (MSB first) of bytes.
void PutBits(std::vector<uint8_t>& bytes, size_t bit, int n, uint32_t value) {
    for (int i = 0; i < n; ++i) {
        const size_t b = bit + static_cast<size_t>(i);
        const uint8_t mask = static_cast<uint8_t>(0x80 >> (b & 7));
        if ((value >> (n - 1 - i)) & 1) {
            bytes[b >> 3] |= mask;
        } else {
            bytes[b >> 3] &= static_cast<uint8_t>(~mask);
        }
    }
}

uint32_t GetBits(const std::vector<uint8_t>& bytes, size_t bit, int n) {
    uint32_t v = 0;
    for (int i = 0; i < n; ++i) {
        const size_t b = bit + static_cast<size_t>(i);
        v = (v << 1) | ((bytes[b >> 3] >> (7 - (b & 7))) & 1);
    }
    return v;
}

bool AllZero(const std::vector<int16_t>& pcm, size_t from, size_t n) {
    for (size_t i = from; i < from + n && i < pcm.size(); ++i) {
        if (pcm[i] != 0) {
            return false;
        }
    }
    return true;
}

// MPEG-1 mono Layer III without CRC: side information starts at bit 32; granule 0's
// fields follow main_data_begin (9), private bits (5) and scfsi (4).
constexpr size_t kGranule0 = 32 + 18;

struct Damage {
    const char* what;
    std::function<void(std::vector<uint8_t>& frame)> apply;
    bool silent;  // the damaged frame must come out as silence
};

TEST(MpegRobustness, LayerIIIDamagedFrames) {
    const auto clean = Vector("l3-si.bit");  // MPEG-1 Layer III, mono, no CRC
    const auto offsets = FrameOffsets(clean);
    ASSERT_GT(offsets.size(), 40u);
    const auto reference = mpegtest::DecodeBytes(clean, false);
    ASSERT_EQ(reference.frames, static_cast<int>(offsets.size()));
    // A frame in the middle whose first granule uses a long block (no window switching).
    size_t target = 0;
    for (size_t f = 20; f < offsets.size(); ++f) {
        std::vector<uint8_t> frame(clean.begin() + offsets[f], clean.begin() + offsets[f] + 40);
        if (GetBits(frame, kGranule0 + 33, 1) == 0 && GetBits(frame, kGranule0 + 21, 9) > 10) {
            target = f;
            break;
        }
    }
    ASSERT_NE(target, 0u);
    const Damage damages[] = {
        {"big_values past 288", [](auto& f) { PutBits(f, kGranule0 + 12, 9, 400); }, true},
        {"part2_3_length past the main data", [](auto& f) { PutBits(f, kGranule0, 12, 4095); }, true},
        {"table select of empty table 4", [](auto& f) { PutBits(f, kGranule0 + 34, 5, 4); }, true},
        {"table select of empty table 14", [](auto& f) { PutBits(f, kGranule0 + 34, 5, 14); }, true},
        {"main_data_begin past the reservoir", [](auto& f) { PutBits(f, 32, 9, 511); }, false},
        {"region counts past the granule", [](auto& f) { PutBits(f, kGranule0 + 49, 7, 0x7F); }, false},
        {"window switching with block type 0", [](auto& f) { PutBits(f, kGranule0 + 33, 3, 4); }, true},
        {"garbage main data", [](auto& f) {
             for (size_t i = 4 + 17; i < f.size(); ++i) {
                 f[i] = static_cast<uint8_t>(i * 37 + 11);
             }
         }, false},
    };
    const size_t frameValues = 1152;
    for (const Damage& d : damages) {
        std::vector<uint8_t> bytes = clean;
        const size_t end = target + 1 < offsets.size() ? offsets[target + 1] : bytes.size();
        std::vector<uint8_t> frame(bytes.begin() + offsets[target], bytes.begin() + end);
        d.apply(frame);
        std::copy(frame.begin(), frame.end(), bytes.begin() + offsets[target]);
        const auto out = mpegtest::DecodeBytes(bytes, false);
        ASSERT_TRUE(out.opened) << d.what;
        EXPECT_EQ(out.frames, reference.frames) << d.what;
        if (d.silent) {
            EXPECT_TRUE(AllZero(out.pcm, target * frameValues, frameValues)) << d.what;
        }
        // Frames before the damage are untouched.
        EXPECT_TRUE(std::equal(out.pcm.begin(), out.pcm.begin() + target * frameValues, reference.pcm.begin()))
            << d.what;
    }
    // main_data_begin past the reservoir at the second frame: silence there.
    std::vector<uint8_t> early = clean;
    PutBits(early, offsets[1] * 8 + 32, 9, 511);
    const auto out = mpegtest::DecodeBytes(early, false);
    EXPECT_EQ(out.frames, reference.frames);
    EXPECT_TRUE(AllZero(out.pcm, frameValues, frameValues));
}

TEST(MpegRobustness, LayerIAndIIDamagedFrames) {
    struct Case {
        const char* file;
        int samples;
        size_t payloadStart;  // after header and CRC
    };
    const Case cases[] = {
        {"l1-fl1.bit", 384 * 2, 6},   // all-ones allocation: index 15 is forbidden
        {"l2-fl13.bit", 1152, 6},     // all-ones: scale factor index 63 is out of range
        {"l2-fl10.bit", 1152 * 2, 4},
    };
    for (const Case& c : cases) {
        const auto clean = Vector(c.file);
        const auto offsets = FrameOffsets(clean);
        ASSERT_GT(offsets.size(), 10u) << c.file;
        const auto reference = mpegtest::DecodeBytes(clean, false);
        std::vector<uint8_t> bytes = clean;
        const size_t target = 5;
        for (size_t i = offsets[target] + c.payloadStart; i < offsets[target + 1]; ++i) {
            bytes[i] = 0xFF;
        }
        const auto out = mpegtest::DecodeBytes(bytes, false);
        EXPECT_EQ(out.frames, reference.frames) << c.file;
        EXPECT_TRUE(AllZero(out.pcm, target * c.samples, c.samples)) << c.file;
        EXPECT_TRUE(std::equal(out.pcm.begin(), out.pcm.begin() + target * c.samples, reference.pcm.begin()))
            << c.file;
    }
}

TEST(MpegRobustness, StreamEnds) {
    const auto clean = Vector("l3-si.bit");
    const auto offsets = FrameOffsets(clean);
    const auto reference = mpegtest::DecodeBytes(clean, false);
    // A lost sync ends decoding at that frame.
    std::vector<uint8_t> bytes = clean;
    bytes[offsets[30]] = 0x00;
    EXPECT_EQ(mpegtest::DecodeBytes(bytes, false).frames, 30);
    // A frame header of another layer or sampling frequency ends it as well.
    bytes = clean;
    bytes[offsets[30] + 2] ^= 0x04;
    EXPECT_EQ(mpegtest::DecodeBytes(bytes, false).frames, 30);
    // A cut in the middle of a frame: every complete frame is decoded, then the end.
    for (const size_t cut : {offsets[12] + 1, offsets[12] + 100, offsets[13] - 1}) {
        bytes.assign(clean.begin(), clean.begin() + static_cast<long>(cut));
        const auto out = mpegtest::DecodeBytes(bytes, false);
        EXPECT_EQ(out.frames, 12) << cut;
        EXPECT_TRUE(std::equal(out.pcm.begin(), out.pcm.end(), reference.pcm.begin())) << cut;
    }
}

}  // namespace
