// Seeking in MP3 streams: after Seek(N) the streamer hands out bit for bit what a
// decoding from the start hands out after skipping N frames, at many positions of
// Layer I, II and III streams (compliance streams, lame streams that lean on the bit
// reservoir, MPEG-2 and 2.5 rates, the show's own soundtrack); the frame index's
// restart points are needed (one frame later breaks the output) and few; damaged
// streams seek to a clean end.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "core/kvl_memorystream.h"
#include "sound/kvl_soundsource_mp3.h"
#include "sound/kvl_soundstreamer.h"
#include "sound/mpeg/mpg_decoder.h"
#include "sound/player/sound_test_util.h"
#include "support/test_support.h"

namespace {

struct Input {
    const std::vector<uint8_t>* bytes;
    size_t pos = 0;
};

int32_t ReadInput(void* context, uint8_t* dst, int32_t max) {
    auto* in = static_cast<Input*>(context);
    const size_t n = std::min(in->bytes->size() - in->pos, static_cast<size_t>(max));
    std::memcpy(dst, in->bytes->data() + in->pos, n);
    in->pos += n;
    return static_cast<int32_t>(n);
}

// Every frame the MP3 streamer hands out for the bytes, decoded from the start.
std::vector<uint32_t> DecodeAll(const std::vector<uint8_t>& bytes) {
    KVLMemoryStream stream(bytes.data(), static_cast<int32_t>(bytes.size()));
    KVLSoundStreamerMP3 streamer;
    if (!streamer.OpenStream(stream, nullptr)) {
        return {};
    }
    return soundtest::ReadToEnd(streamer);
}

// Reads frames frames in pieces of uneven size (across block boundaries).
std::vector<uint32_t> ReadFrames(KVLSoundStreamer& streamer, int32_t frames) {
    std::vector<uint32_t> out;
    int32_t piece = 777;
    while (static_cast<int32_t>(out.size()) < frames) {
        const int32_t n = std::min(piece, frames - static_cast<int32_t>(out.size()));
        KVLSampleBlock* block = KVLCreateSampleBlock(n);
        const int32_t r = streamer.Read(block);
        EXPECT_GE(r, 0);
        out.insert(out.end(), block->data, block->data + n);
        KVLReleaseSampleBlock(block);
        piece = piece * 3 % 2000 + 1;
    }
    return out;
}

// The positions to try in a stream of total frames with spf frames per MP3 frame:
// the start, inside the first frame, granule and frame boundaries, one position in
// every MP3 frame (a different place in each), the last frame, the end and beyond.
std::vector<int32_t> Positions(int32_t total, int32_t spf) {
    std::vector<int32_t> p = {0, 1, 100, spf / 2 - 1, spf / 2, spf - 1, spf, spf + 1, 2 * spf, 3 * spf / 2};
    const int32_t frames = total / spf;
    for (int32_t k = 0; k < frames; ++k) {
        p.push_back(k * spf + (k * 389) % spf);
    }
    for (int32_t k : {frames / 2, frames - 2, frames - 1}) {
        if (k > 0) {
            p.insert(p.end(), {k * spf - 1, k * spf, k * spf + spf / 2, k * spf + spf / 2 + 1});
        }
    }
    p.insert(p.end(), {total - 1, total, total + 1, total + 5 * spf});
    std::vector<int32_t> kept;
    for (int32_t v : p) {
        if (v >= 0) {
            kept.push_back(v);
        }
    }
    return kept;
}

// Checks Seek against the decoding from the start at every position, first with one
// streamer that jumps back and forth, then with fresh streamers for a few positions
// (a seek before any read). Returns the positions that did not match.
void ExpectSeeksExact(const std::string& name, const std::vector<uint8_t>& bytes) {
    const std::vector<uint32_t> reference = DecodeAll(bytes);
    ASSERT_FALSE(reference.empty()) << name;
    KVLMemoryStream stream(bytes.data(), static_cast<int32_t>(bytes.size()));
    int32_t spf = 0;
    {
        MpgDecoder probe;
        Input in{&bytes};
        ASSERT_TRUE(mpgOpen(probe, ReadInput, &in, -1)) << name;
        spf = mpgFramesPerCall(probe);
    }
    const auto total = static_cast<int32_t>(reference.size());
    const std::vector<int32_t> positions = Positions(total, spf);
    const int32_t span = 2 * spf + 37;
    auto expected = [&](int32_t n) {
        std::vector<uint32_t> e(static_cast<size_t>(span), 0);
        for (int32_t i = 0; i < span && n + i < total; ++i) {
            e[static_cast<size_t>(i)] = reference[static_cast<size_t>(n + i)];
        }
        return e;
    };
    std::vector<int32_t> wrong;
    {
        KVLSoundStreamerMP3 streamer;
        ASSERT_TRUE(streamer.OpenStream(stream, nullptr)) << name;
        // Forward and then backward through the positions.
        std::vector<int32_t> order = positions;
        order.insert(order.end(), positions.rbegin(), positions.rend());
        for (int32_t n : order) {
            ASSERT_TRUE(streamer.Seek(n)) << name << " at " << n;
            EXPECT_EQ(streamer.GetPosition(), std::min(n, total)) << name << " at " << n;
            EXPECT_EQ(streamer.IsAtEnd(), n >= total) << name << " at " << n;
            if (ReadFrames(streamer, span) != expected(n)) {
                wrong.push_back(n);
            }
        }
        EXPECT_EQ(streamer.GetLength(), total) << name << ": the length is exact once the frames are counted";
    }
    for (int32_t n : {0, spf + 3, total / 2, total - 1}) {
        KVLSoundStreamerMP3 fresh;
        ASSERT_TRUE(fresh.OpenStream(stream, nullptr));
        ASSERT_TRUE(fresh.Seek(n));
        if (ReadFrames(fresh, span) != expected(n)) {
            wrong.push_back(n);
        }
    }
    EXPECT_TRUE(wrong.empty()) << name << ": " << wrong.size() << " positions differ, first " << wrong.front();
}

std::vector<uint8_t> Vector(const std::string& name) {
    return testsupport::ReadFile(testsupport::SourcePath("tests/sound/mpeg/vectors/" + name + ".bit"));
}

class CompliantSeek : public ::testing::TestWithParam<const char*> {};

TEST_P(CompliantSeek, MatchesDecodingFromTheStart) {
    const std::vector<uint8_t> bytes = Vector(GetParam());
    ASSERT_FALSE(bytes.empty());
    ExpectSeeksExact(GetParam(), bytes);
}

// Layer I, Layer II, Layer III (MPEG-1 and the lower rates; l3-sin1k0db starts with
// junk and with frames whose main data lies before the stream, which decode as silence).
INSTANTIATE_TEST_SUITE_P(Streams, CompliantSeek,
                         ::testing::Values("l1-fl1", "l1-fl2", "l1-fl6", "l2-fl10", "l2-fl13", "l2-test32",
                                           "l3-compl", "l3-he_44khz", "l3-si_block", "l3-sin1k0db",
                                           "M2L3_bitrate_16_all", "M2L3_compl24"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             std::string n = info.param;
                             std::replace(n.begin(), n.end(), '-', '_');
                             return n;
                         });

// lame streams: low rates make the reservoir reach back over several frames.
TEST(LameSeek, ReservoirStreamsMatchDecodingFromTheStart) {
    if (!testsupport::HaveProgram("lame")) {
        ZARNOTH_SKIP_MISSING() << "lame is not installed";
    }
    testsupport::TempDir dir;
    const struct {
        const char* name;
        int32_t rate;
        const char* options;
    } cases[] = {
        {"cbr128", 44100, "-b 128"},
        {"cbr32mono", 32000, "-b 32 -m m"},
        {"vbr_lowest", 44100, "-V 9"},
        {"lsf22", 22050, "-b 24"},
        {"mpeg25_8k", 8000, "-b 8 --resample 8"},
    };
    for (const auto& c : cases) {
        const std::string wav = dir.file(std::string(c.name) + ".wav");
        const std::string mp3 = dir.file(std::string(c.name) + ".mp3");
        soundtest::WriteToneWav(wav, c.rate * 3, c.rate);
        ASSERT_EQ(testsupport::Run(std::string("lame --quiet ") + c.options + " '" + wav + "' '" + mp3 + "'"), 0)
            << c.name;
        ExpectSeeksExact(c.name, testsupport::ReadFile(mp3));
    }
}

// The show's soundtrack, as the build stores it in its archive.
TEST(ShowSeek, SoundtrackMatchesDecodingFromTheStart) {
    const std::string pak = testsupport::BinPath("quorvel.pak");
    const std::string kvl = testsupport::BinPath("kvl");
    if (!testsupport::FileExists(pak) || !testsupport::FileExists(kvl)) {
        ZARNOTH_SKIP_MISSING() << "the archive or the kvl tool is not built";
    }
    testsupport::TempDir dir;
    const std::string mp3 = dir.file("qv.mp3");
    ASSERT_EQ(testsupport::Run("'" + kvl + "' pak extract '" + pak + "' 'snd\\qv.mp3' '" + mp3 + "'"), 0);
    ExpectSeeksExact("snd\\qv.mp3", testsupport::ReadFile(mp3));
}

// The index's restart points are tight and few: restarting one frame later than the
// index says changes the output of some frame of a reservoir stream (so the rule is
// not merely generous), and no restart lies more than a few frames back.
TEST(FrameIndex, RestartPointsAreNeededAndNear) {
    for (const char* name : {"l3-compl", "l3-he_44khz", "M2L3_compl24", "l1-fl1", "l2-fl10"}) {
        const std::vector<uint8_t> bytes = Vector(name);
        MpgDecoder decoder;
        Input in{&bytes};
        ASSERT_TRUE(mpgOpen(decoder, ReadInput, &in, -1)) << name;
        const int32_t spf = mpgFramesPerCall(decoder);
        const int32_t channels = mpgChannels(decoder);
        std::vector<int16_t> reference;
        std::vector<int16_t> pcm(kMpgMaxFrameSamples);
        while (mpgDecodeFrame(decoder, pcm.data()) > 0) {
            reference.insert(reference.end(), pcm.begin(), pcm.begin() + spf * channels);
        }
        Input scan{&bytes};
        MpgFrameIndex index;
        ASSERT_TRUE(mpgScanFrames(decoder, ReadInput, &scan, &index)) << name;
        ASSERT_EQ(index.frames.size() * static_cast<size_t>(spf * channels), reference.size()) << name;
        const size_t frameValues = static_cast<size_t>(spf * channels);
        // Decodes frames k and k + 1 after a restart at frame from; true when they match.
        auto matches = [&](int32_t from, int32_t k) {
            in.pos = static_cast<size_t>(index.frames[static_cast<size_t>(from)].offset);
            EXPECT_TRUE(mpgRestart(decoder, index.frames[static_cast<size_t>(from)].offset));
            for (int32_t i = from; i < k; ++i) {
                EXPECT_GT(mpgDecodeFrame(decoder, pcm.data()), 0);
            }
            for (int32_t i = k; i < std::min<int32_t>(k + 2, static_cast<int32_t>(index.frames.size())); ++i) {
                if (mpgDecodeFrame(decoder, pcm.data()) <= 0 ||
                    !std::equal(pcm.begin(), pcm.begin() + static_cast<long>(frameValues),
                                reference.begin() + static_cast<long>(static_cast<size_t>(i) * frameValues))) {
                    return false;
                }
            }
            return true;
        };
        int32_t later = 0;
        int32_t farthest = 0;
        for (int32_t k = 0; k < static_cast<int32_t>(index.frames.size()); ++k) {
            const int32_t restart = index.frames[static_cast<size_t>(k)].restart;
            farthest = std::max(farthest, k - restart);
            EXPECT_TRUE(matches(restart, k)) << name << " frame " << k << " restart " << restart;
            if (restart < k && !matches(restart + 1, k)) {
                ++later;
            }
        }
        EXPECT_GT(later, 0) << name << ": a restart one frame later never mattered";
        // The 511 bytes of a 32 kbit/s stream's reservoir reach back over 8 frames.
        EXPECT_LE(farthest, 10) << name;
        std::printf("%s: %zu frames, restart at most %d frames back\n", name, index.frames.size(), farthest);
    }
}

// Damaged streams: cut short, bytes overwritten in the middle, a header broken; every
// seek answers and what follows reads to a clean end.
TEST(DamagedSeek, EndsCleanly) {
    const std::vector<uint8_t> good = Vector("l3-compl");
    ASSERT_GT(good.size(), 20000u);
    std::vector<std::vector<uint8_t>> damaged;
    damaged.emplace_back(good.begin(), good.begin() + static_cast<long>(good.size() / 2 + 77));
    std::vector<uint8_t> noise = good;
    for (size_t i = good.size() / 3; i < good.size() / 3 + 3000; ++i) {
        noise[i] = static_cast<uint8_t>(i * 131 + 7);
    }
    damaged.push_back(noise);
    std::vector<uint8_t> header = good;
    header[good.size() / 2] = 0xFF;
    header[good.size() / 2 + 1] = 0xFF;
    damaged.push_back(header);
    damaged.push_back({0xFF, 0xFB, 0x90, 0x00});
    for (size_t d = 0; d < damaged.size(); ++d) {
        const std::vector<uint8_t>& bytes = damaged[d];
        KVLMemoryStream stream(bytes.data(), static_cast<int32_t>(bytes.size()));
        KVLSoundStreamerMP3 streamer;
        if (!streamer.OpenStream(stream, nullptr)) {
            continue;
        }
        const int32_t length = streamer.GetLength();
        for (int32_t n : {0, 5000, 200000, 400000, 2000000, 1152 * 3}) {
            const bool ok = streamer.Seek(n);
            KVLSampleBlock* block = KVLCreateSampleBlock(4096);
            int32_t reads = 0;
            int32_t r = 0;
            while ((r = streamer.Read(block)) > 0 && ++reads < 1000) {
            }
            KVLReleaseSampleBlock(block);
            EXPECT_LT(reads, 1000) << "stream " << d << " seek " << n << " never ends";
            EXPECT_GE(r, 0) << "stream " << d;
            EXPECT_TRUE(streamer.IsAtEnd()) << "stream " << d << " seek " << n << " ok " << ok;
        }
        (void)length;
    }
}

}  // namespace
