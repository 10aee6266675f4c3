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
    EXPECT_EQ(out.GetFillState(), KVLSoundFillRule::kFull);
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
        ASSERT_TRUE(out.Advance(2 * KVLSoundFillRule::kChunks * kChunk));
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
    EXPECT_EQ(out.GetFillState(), KVLSoundFillRule::kRoom);
    // The writer falls behind: half a chunk left when it comes back.
    ASSERT_TRUE(out.Advance(4 * kChunk + kChunk / 2));
    ASSERT_TRUE(out.Write(Chunk(5).data(), kChunk));
    EXPECT_EQ(out.GetFillState(), KVLSoundFillRule::kUnderrun);
    // Half a chunk, 4 chunks of silence and the new chunk are queued; play down to 3.
    ASSERT_TRUE(out.Advance(2 * kChunk + kChunk / 2));
    // Chunks 0 to 4 and two chunks of the bridging silence have played: the position
    // counts the music only.
    EXPECT_EQ(out.GetPlayPosition(), 5 * kChunk);
    ASSERT_TRUE(out.Write(Chunk(6).data(), kChunk));
    EXPECT_EQ(out.GetFillState(), KVLSoundFillRule::kIdle);
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

// The fill rule at each threshold, one step on either side of it.
TEST(SoundFillRule, ThresholdsDecideAtTheirBoundaries) {
    constexpr int32_t c = 400;  // chunk bytes
    using R = KVLSoundFillRule;
    struct Step {
        int32_t queued;
        R::Action action;
        R::FillState state;
    };
    const std::vector<std::vector<Step>> runs = {
        // Idle starts above 3 chunks queued, once; full from the full mark, also when
        // the start finds the ring at it (filled while held).
        {{3 * c, R::Action::kNone, R::kIdle}, {3 * c + 1, R::Action::kStart, R::kRoom}},
        {{31 * c - 1, R::Action::kStart, R::kRoom}, {31 * c, R::Action::kNone, R::kFull}},
        {{31 * c, R::Action::kStart, R::kFull}, {31 * c - 1, R::Action::kNone, R::kRoom}},
        // Playing: silence below one chunk; the stop when fewer than 4 chunks are left.
        {{4 * c, R::Action::kStart, R::kRoom}, {c, R::Action::kNone, R::kRoom},
         {c - 1, R::Action::kWriteSilence, R::kUnderrun}, {4 * c, R::Action::kNone, R::kUnderrun},
         {4 * c - 1, R::Action::kStop, R::kIdle}, {3 * c, R::Action::kNone, R::kIdle},
         {3 * c + 1, R::Action::kStart, R::kRoom}},
    };
    std::FILE* notice = std::tmpfile();
    ASSERT_NE(notice, nullptr);
    for (size_t r = 0; r < runs.size(); ++r) {
        R rule;
        rule.SetNoticeFile(notice);
        rule.Configure(c, 4);
        for (size_t i = 0; i < runs[r].size(); ++i) {
            const Step& step = runs[r][i];
            EXPECT_EQ(rule.Check(step.queued), step.action) << "run " << r << " step " << i;
            EXPECT_EQ(rule.State(), step.state) << "run " << r << " step " << i;
        }
    }
    std::fclose(notice);
}

// Bytes played map to music frames: the silence between is heard as no music.
TEST(SoundFillRule, PlayedBytesCountMusicFramesOnly) {
    KVLSoundFillRule rule;
    rule.Configure(4096, 4);
    rule.MusicWritten(5120);  // 20480 bytes
    rule.SilenceWritten();    // 16384 bytes of silence
    rule.MusicWritten(1024);
    const struct {
        int64_t played;
        int32_t frames;
    } cases[] = {{0, 0}, {4000, 1000}, {20480, 5120}, {20480 + 8192, 5120}, {36864, 5120},
                 {36864 + 400, 5220}, {36864 + 4096, 6144}, {1 << 20, 6144}};
    for (const auto& k : cases) {
        EXPECT_EQ(rule.FramesHeard(k.played), k.frames) << k.played;
    }
    EXPECT_EQ(rule.ByteOfFrame(5120), 36864);
    EXPECT_EQ(rule.FirstFrameHeld(), 5120);
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

// A hold, through the WAV output (the shared ring and fill rule): with less than a
// chunk queued, writes during the hold bridge nothing and stop nothing; the ring takes
// writes until full and then refuses; Advance is refused and the position stands;
// released, the music goes on from the same frame with nothing lost.
TEST(SoundOutputRing, HoldIsNoUnderrunAndLosesNothing) {
    testsupport::TempDir dir;
    const std::string path = dir.file("o.wav");
    std::FILE* notice = std::tmpfile();
    ASSERT_NE(notice, nullptr);
    uint32_t next = 0;
    {
        KVLSoundOutputWAV out(path.c_str());
        out.SetNoticeFile(notice);
        ASSERT_TRUE(out.Open(44100, 16, true, kChunk, nullptr));
        for (; next < 5; ++next) {
            ASSERT_TRUE(out.Write(Chunk(next).data(), kChunk));
        }
        // Play down to half a chunk queued: a write now would be an underrun.
        ASSERT_TRUE(out.Advance(4 * kChunk + kChunk / 2));
        const int32_t held = out.GetPlayPosition();
        out.SetPaused(true);
        EXPECT_TRUE(out.IsPaused());
        EXPECT_FALSE(out.Advance(kChunk)) << "a held output plays nothing";
        EXPECT_EQ(out.GetPlayPosition(), held);
        int32_t taken = 0;
        while (out.Write(Chunk(next).data(), kChunk)) {
            ++next;
            ++taken;
            ASSERT_LT(taken, 100);
        }
        EXPECT_EQ(taken, KVLSoundFillRule::kFullChunks) << "filled to the full mark, no silence put in";
        EXPECT_NE(out.GetFillState(), KVLSoundFillRule::kUnderrun);
        EXPECT_EQ(out.GetPlayPosition(), held);
        out.Reset();
        EXPECT_TRUE(out.IsPaused()) << "the hold outlasts a reset";
        for (uint32_t s = 0; s < 5; ++s) {
            ASSERT_TRUE(out.Write(Chunk(100 + s).data(), kChunk));
        }
        EXPECT_EQ(out.GetPlayPosition(), 0);
        out.SetPaused(false);
        ASSERT_TRUE(out.Advance(5 * kChunk));
        EXPECT_EQ(out.GetPlayPosition(), 5 * kChunk);
    }
    std::rewind(notice);
    char line[16] = {};
    EXPECT_EQ(std::fgets(line, sizeof line, notice), nullptr) << "no underrun was reported";
    std::fclose(notice);
    // The file: chunks 0..3 and half of 4, then (after the reset) 100..104 whole.
    const std::vector<uint32_t> played = soundtest::WavFrames(path);
    std::vector<uint32_t> want;
    for (uint32_t s = 0; s < 5; ++s) {
        const std::vector<uint32_t> c = Chunk(s);
        want.insert(want.end(), c.begin(), c.begin() + (s == 4 ? kChunk / 2 : kChunk));
    }
    for (uint32_t s = 100; s < 105; ++s) {
        const std::vector<uint32_t> c = Chunk(s);
        want.insert(want.end(), c.begin(), c.end());
    }
    EXPECT_EQ(played, want);
}

// Music started while held (a seek in a paused show) fills the ring to the full mark;
// released, the writer may come before the device has played anything. Whichever comes
// first, every chunk plays once and in order, with no silence put in.
TEST(SoundOutputRing, StartedHeldThenReleasedPlaysEveryChunk) {
    for (const bool writerFirst : {true, false}) {
        SCOPED_TRACE(writerFirst ? "the writer first" : "the device first");
        testsupport::TempDir dir;
        const std::string path = dir.file("o.wav");
        uint32_t next = 0;
        {
            KVLSoundOutputWAV out(path.c_str());
            ASSERT_TRUE(out.Open(44100, 16, true, kChunk, nullptr));
            out.SetPaused(true);
            while (out.Write(Chunk(next).data(), kChunk)) {
                ++next;
                ASSERT_LT(next, 100u);
            }
            out.SetPaused(false);
            if (!writerFirst) {
                ASSERT_TRUE(out.Advance(kChunk / 2));
            }
            // The writer keeps on as a player's worker does, faster than the device plays.
            for (int32_t i = 0; i < 3 * KVLSoundFillRule::kChunks; ++i) {
                for (int k = 0; k < 2; ++k) {
                    if (out.Write(Chunk(next).data(), kChunk)) {
                        ++next;
                    }
                }
                ASSERT_TRUE(out.Advance(kChunk / 2));
                EXPECT_NE(out.GetFillState(), KVLSoundFillRule::kUnderrun) << i;
            }
        }
        const std::vector<uint32_t> played = soundtest::WavFrames(path);
        std::vector<uint32_t> want;
        for (uint32_t s = 0; want.size() < played.size(); ++s) {
            const std::vector<uint32_t> c = Chunk(s);
            want.insert(want.end(), c.begin(), c.end());
        }
        want.resize(played.size());
        EXPECT_TRUE(played == want) << "music lost or replaced by silence";
    }
}

// The fill rule held and released: no action while held whatever the queue, writes
// refused only at the full mark, and the states go on from where they stood.
TEST(SoundFillRule, HoldFreezesTheStates) {
    KVLSoundFillRule rule;
    rule.Configure(4096, 4);
    rule.SetNoticeFile(nullptr);
    EXPECT_EQ(rule.Check(5 * 4096), KVLSoundFillRule::Action::kStart);
    EXPECT_EQ(rule.State(), KVLSoundFillRule::kRoom);
    rule.SetPaused(true);
    const struct {
        int32_t queued;
        bool mayWrite;
    } held[] = {{0, true}, {100, true}, {30 * 4096, true}, {31 * 4096 - 1, true}, {31 * 4096, false}, {2 * 4096, true}};
    for (const auto& c : held) {
        EXPECT_EQ(rule.Check(c.queued), KVLSoundFillRule::Action::kNone) << c.queued;
        EXPECT_EQ(rule.MayWrite(), c.mayWrite) << c.queued;
        EXPECT_EQ(rule.State(), KVLSoundFillRule::kRoom) << c.queued;
    }
    rule.SetPaused(false);
    EXPECT_EQ(rule.Check(100), KVLSoundFillRule::Action::kWriteSilence) << "released, a low queue is an underrun again";
}

// A device that queues what it pulls before playing it (as a browser's audio thread
// fed ahead of time): it pulls with PullQueued, keeps the frames, and plays them from
// its own queue, telling the ring how much it still holds. It records what it played.
class QueueingDevice : public KVLSoundOutputRing {
public:
    // Pulls until the device holds 'lead' frames or the ring runs out; the music frames
    // among them.
    int32_t Feed(int32_t lead) {
        int32_t music = 0;
        while (static_cast<int32_t>(m_queue.size()) < lead) {
            std::vector<uint32_t> piece(static_cast<size_t>(lead) - m_queue.size());
            int32_t m = 0;
            const int32_t got = PullQueued(reinterpret_cast<uint8_t*>(piece.data()),
                                           static_cast<int32_t>(piece.size() * 4), &m) / 4;
            if (got <= 0) {
                break;
            }
            music += m;
            m_queue.insert(m_queue.end(), piece.begin(), piece.begin() + got);
        }
        SetDeviceQueued(static_cast<int32_t>(m_queue.size() * 4));
        return music;
    }
    void Play(int32_t frames) {
        const auto n = std::min<size_t>(static_cast<size_t>(frames), m_queue.size());
        played.insert(played.end(), m_queue.begin(), m_queue.begin() + static_cast<std::ptrdiff_t>(n));
        m_queue.erase(m_queue.begin(), m_queue.begin() + static_cast<std::ptrdiff_t>(n));
        SetDeviceQueued(static_cast<int32_t>(m_queue.size() * 4));
    }
    int32_t Queued() const { return static_cast<int32_t>(m_queue.size()); }
    void SetNoticeFileForTest(std::FILE* file) { SetNotice(file); }
    std::vector<uint32_t> played;
    int resets = 0;

protected:
    bool OpenDevice(int32_t, int32_t, bool, KVLString* description, KVLString*) override {
        *description = "queueing device";
        return true;
    }
    void CloseDevice() override {}
    void DeviceReset() override {
        ++resets;
        m_queue.clear();
    }

private:
    std::vector<uint32_t> m_queue;
};

// The play position, the frames read back and the fill rule follow what the device
// has played, not what it pulled; the device plays every chunk once, in order.
TEST(SoundOutputRing, DeviceQueueIsNotHeardYet) {
    QueueingDevice out;
    ASSERT_TRUE(out.Open(44100, 16, true, kChunk, nullptr));
    uint32_t next = 0;
    for (; next < 6; ++next) {
        ASSERT_TRUE(out.Write(Chunk(next).data(), kChunk));
    }
    EXPECT_EQ(out.Feed(4 * kChunk), 4 * kChunk) << "all music";
    EXPECT_EQ(out.Queued(), 4 * kChunk);
    EXPECT_EQ(out.GetPlayPosition(), 0) << "pulled is not heard";
    const struct {
        int32_t play;      // frames the device plays, then the checks
        int32_t position;  // the play position after it
    } steps[] = {{100, 100}, {kChunk, kChunk + 100}, {2 * kChunk - 100, 3 * kChunk}};
    for (const auto& step : steps) {
        out.Play(step.play);
        EXPECT_EQ(out.GetPlayPosition(), step.position);
        // What is being heard reads back, though the device pulled it long ago.
        std::vector<uint32_t> back(8);
        ASSERT_TRUE(out.ReadPlaying(step.position, back.data(), 8));
        for (int32_t i = 0; i < 8; ++i) {
            const int32_t f = step.position + i;
            EXPECT_EQ(back[static_cast<size_t>(i)], Chunk(static_cast<uint32_t>(f / kChunk))[static_cast<size_t>(f % kChunk)])
                << "frame " << f;
        }
    }
    // Never beyond what the ring holds: two chunks are left to pull.
    EXPECT_EQ(out.Feed(10 * kChunk), 2 * kChunk);
    EXPECT_EQ(out.Feed(10 * kChunk), 0);
    // The device's queue counts as queued: the writer stops at the full mark of the
    // whole, ring and device together.
    int taken = 0;
    while (out.Write(Chunk(next).data(), kChunk)) {
        ++next;
        ASSERT_LT(++taken, 100);
    }
    EXPECT_EQ(out.Queued() / kChunk + taken, KVLSoundFillRule::kFullChunks);
    // Everything plays once, in order, with nothing of the old trip round the ring.
    for (int round = 0; round < 3; ++round) {
        out.Feed(8 * kChunk);
        out.Play(8 * kChunk);
    }
    out.Feed(40 * kChunk);
    out.Play(40 * kChunk);
    std::vector<uint32_t> want;
    for (uint32_t s = 0; s < next; ++s) {
        const auto c = Chunk(s);
        want.insert(want.end(), c.begin(), c.end());
    }
    EXPECT_TRUE(out.played == want) << out.played.size() << " frames played, " << want.size() << " written";
    EXPECT_EQ(out.GetPlayPosition(), static_cast<int32_t>(next) * kChunk);
    // A reset drops the device's queue and what it held is not heard.
    ASSERT_TRUE(out.Write(Chunk(next).data(), kChunk));
    out.Feed(kChunk);
    out.Reset();
    EXPECT_EQ(out.resets, 1);
    EXPECT_EQ(out.Queued(), 0);
    EXPECT_EQ(out.GetPlayPosition(), 0);
}

// The bridging silence goes to the device like music but is not counted as music.
TEST(SoundOutputRing, DeviceFeedCountsBridgingSilenceApart) {
    QueueingDevice out;
    std::FILE* notice = std::tmpfile();
    ASSERT_NE(notice, nullptr);
    out.SetNoticeFileForTest(notice);
    ASSERT_TRUE(out.Open(44100, 16, true, kChunk, nullptr));
    for (uint32_t s = 0; s < 5; ++s) {
        ASSERT_TRUE(out.Write(Chunk(s).data(), kChunk));
    }
    EXPECT_EQ(out.Feed(4 * kChunk + kChunk / 2), 4 * kChunk + kChunk / 2);
    out.Play(4 * kChunk + kChunk / 2);
    // Half a chunk left in all: the next write bridges with silence first.
    ASSERT_TRUE(out.Write(Chunk(5).data(), kChunk));
    EXPECT_EQ(out.GetFillState(), KVLSoundFillRule::kUnderrun);
    const int32_t silence = KVLSoundFillRule::kSilenceChunks * kChunk;
    EXPECT_EQ(out.Feed(kChunk / 2 + silence + kChunk), kChunk / 2 + kChunk) << "silence is no music";
    out.Play(kChunk / 2 + silence + kChunk);
    EXPECT_EQ(out.GetPlayPosition(), 6 * kChunk);
    out.SetNoticeFileForTest(stdout);
    std::fclose(notice);
}

}  // namespace
