// The chunk ring through the WAV output: chunk size limits, start and full thresholds,
// play position bounds, underrun bridging and its notice, and the cleared ring.
#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "sound/kvl_soundoutput.h"
#include "sound/player/sound_test_util.h"
#include "support/test_support.h"

namespace {

constexpr int32_t kChunk = 1024;

std::vector<uint32_t> Chunk(uint32_t seed) {
    std::vector<uint32_t> c(kChunk);
    for (int32_t i = 0; i < kChunk; ++i) {
        c[static_cast<size_t>(i)] = seed * 100000u + static_cast<uint32_t>(i) + 1;
    }
    return c;
}

TEST(SoundOutputRing, OpenChecksTheFormat) {
    struct Case {
        int32_t rate, bits;
        bool stereo;
        bool ok;
        const char* text;
    };
    const Case cases[] = {
        {44100, 16, true, true, " - 44.1 kHz 16 bits stereo"},
        {22050, 8, false, true, " - 22.1 kHz 8 bits mono"},
        {0, 16, true, false, "Output device does not support 0 kHz - 16 bits - Stereo"},
        {-5, 16, false, false, "Output device does not support 0 kHz - 16 bits - Mono"},
        {44100, 12, true, false, "Output device does not support 44 kHz - 12 bits - Stereo"},
    };
    testsupport::TempDir dir;
    for (const Case& c : cases) {
        KVLSoundOutputWAV out(dir.file("o.wav").c_str());
        KVLString text;
        EXPECT_EQ(out.Open(c.rate, c.bits, c.stereo, kChunk, &text), c.ok) << c.rate;
        if (c.ok) {
            EXPECT_EQ(std::string(text.c_str()), "WAV file " + dir.file("o.wav") + c.text);
            EXPECT_EQ(out.GetSampleRate(), c.rate);
        } else {
            EXPECT_STREQ(text.c_str(), c.text);
            EXPECT_FALSE(out.Write(Chunk(0).data(), 1));
        }
    }
}

TEST(SoundOutputRing, ChunkLimitStartAndFull) {
    testsupport::TempDir dir;
    KVLSoundOutputWAV out(dir.file("o.wav").c_str());
    ASSERT_TRUE(out.Open(44100, 16, true, 8192, nullptr));
    std::vector<uint32_t> big(8193, 1);
    EXPECT_FALSE(out.Write(big.data(), 8193));
    EXPECT_FALSE(out.IsPlaying());
    EXPECT_TRUE(out.Write(big.data(), 8192));
    EXPECT_TRUE(out.IsPlaying()) << "the first write starts playback at once";
    int taken = 1;
    while (taken < 40 && out.Write(big.data(), 8192)) {
        ++taken;
    }
    // The fill check runs before a write: the write that finds 31 chunks queued is
    // refused, so 32 chunks never stand in the ring at once.
    EXPECT_EQ(taken, 31);
    EXPECT_EQ(out.GetFillState(), KVLSoundOutputRing::kFull);
    ASSERT_TRUE(out.Advance(8192));
    EXPECT_TRUE(out.Write(big.data(), 8192));
}

TEST(SoundOutputRing, PlayPositionNeverDecreasesNorPassesWhatWasWritten) {
    testsupport::TempDir dir;
    KVLSoundOutputWAV out(dir.file("o.wav").c_str());
    ASSERT_TRUE(out.Open(44100, 16, true, kChunk, nullptr));
    int32_t last = 0;
    uint32_t seed = 0;
    // Writes and plays at uneven paces for several trips round the ring, then lets the
    // cursor run past the end of the data.
    for (int step = 0; step < 400; ++step) {
        if (step < 300) {
            out.Write(Chunk(seed++).data(), kChunk);
        }
        ASSERT_TRUE(out.Advance(step % 5 == 0 ? 1500 : 700));
        const int32_t p = out.GetPlayPosition();
        EXPECT_GE(p, last) << step;
        EXPECT_LE(p, out.GetFramesWritten()) << step;
        last = p;
    }
    EXPECT_EQ(last, out.GetFramesWritten());
}

TEST(SoundOutputRing, PlaysEveryChunkOnceThenSilence) {
    testsupport::TempDir dir;
    const std::string path = dir.file("o.wav");
    {
        KVLSoundOutputWAV out(path.c_str());
        ASSERT_TRUE(out.Open(44100, 16, true, kChunk, nullptr));
        for (uint32_t s = 0; s < 10; ++s) {
            ASSERT_TRUE(out.Write(Chunk(s).data(), kChunk));
            ASSERT_TRUE(out.Advance(kChunk / 2));
        }
        // Two trips round the ring after the writer stopped: a ring that kept its
        // played chunks would replay them here.
        ASSERT_TRUE(out.Advance(2 * KVLSoundOutputRing::kChunks * kChunk));
        EXPECT_EQ(out.GetPlayPosition(), 10 * kChunk);
    }
    const std::vector<uint32_t> got = soundtest::WavFrames(path);
    ASSERT_EQ(got.size(), static_cast<size_t>(5 * kChunk + 2 * 32 * kChunk));
    std::vector<uint32_t> want;
    for (uint32_t s = 0; s < 10; ++s) {
        const auto c = Chunk(s);
        want.insert(want.end(), c.begin(), c.end());
    }
    want.resize(got.size(), 0);
    EXPECT_TRUE(got == want);
}

TEST(SoundOutputRing, UnderrunIsBridgedReportedAndRecovered) {
    testsupport::TempDir dir;
    KVLSoundOutputWAV out(dir.file("o.wav").c_str());
    std::FILE* notice = std::tmpfile();
    ASSERT_NE(notice, nullptr);
    out.SetNoticeFile(notice);
    ASSERT_TRUE(out.Open(44100, 16, true, kChunk, nullptr));
    for (uint32_t s = 0; s < 5; ++s) {
        ASSERT_TRUE(out.Write(Chunk(s).data(), kChunk));
    }
    EXPECT_EQ(out.GetFillState(), KVLSoundOutputRing::kRoom);
    // The writer falls behind: half a chunk left when it comes back.
    ASSERT_TRUE(out.Advance(4 * kChunk + kChunk / 2));
    ASSERT_TRUE(out.Write(Chunk(5).data(), kChunk));
    EXPECT_EQ(out.GetFillState(), KVLSoundOutputRing::kUnderrun);
    // Half a chunk, 4 chunks of silence and the new chunk are queued; play down to 3.
    ASSERT_TRUE(out.Advance(2 * kChunk + kChunk / 2));
    ASSERT_TRUE(out.Write(Chunk(6).data(), kChunk));
    EXPECT_EQ(out.GetFillState(), KVLSoundOutputRing::kIdle);
    EXPECT_FALSE(out.IsPlaying());
    std::rewind(notice);
    char line[16] = {};
    ASSERT_NE(std::fgets(line, sizeof line, notice), nullptr);
    EXPECT_STREQ(line, "stop\n");
    std::fclose(notice);
    out.SetNoticeFile(stdout);
    // Stopped: the clock plays silence and the queue stays.
    const int32_t before = out.GetPlayPosition();
    ASSERT_TRUE(out.Advance(kChunk));
    EXPECT_EQ(out.GetPlayPosition(), before);
    // Playback starts again once more than 3 chunks are queued.
    out.Write(Chunk(7).data(), kChunk);
    EXPECT_TRUE(out.IsPlaying());
}

TEST(SoundOutputRing, ResetSilencesAndPauseHolds) {
    testsupport::TempDir dir;
    KVLSoundOutputWAV out(dir.file("o.wav").c_str());
    ASSERT_TRUE(out.Open(44100, 16, true, kChunk, nullptr));
    for (uint32_t s = 0; s < 4; ++s) {
        ASSERT_TRUE(out.Write(Chunk(s).data(), kChunk));
    }
    out.Pause();
    ASSERT_TRUE(out.Advance(kChunk));
    EXPECT_EQ(out.GetPlayPosition(), 0);
    out.Resume();
    ASSERT_TRUE(out.Advance(kChunk));
    EXPECT_EQ(out.GetPlayPosition(), kChunk);
    out.Reset();
    EXPECT_EQ(out.GetPlayPosition(), 0);
    EXPECT_EQ(out.GetFramesWritten(), 0);
    std::vector<uint32_t> back(16, 7);
    ASSERT_TRUE(out.ReadPlaying(0, back.data(), 16));
    EXPECT_EQ(back, std::vector<uint32_t>(16, 0));
}

}  // namespace
