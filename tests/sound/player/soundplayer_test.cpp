// The player over the WAV output with a clock driven here: every decoded frame reaches
// the output once and in order, the end is found without a reset, Stop resets, a
// failing Read ends the music, GetCurrentSamples returns the frames at the play
// position, and a stream of rate 0 cannot play.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

#include "sound/kvl_soundplayer.h"
#include "sound/player/sound_test_util.h"
#include "support/test_support.h"

namespace {

constexpr int32_t kBlock = KVLSoundPlayer::kBlockFrames;

void Sleep(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// Plays the clock forward while at least a chunk and a bit stays queued (so that the
// writer is never overtaken), or freely once the player drains. Stops when the worker
// has finished or after the given number of turns.
void RunClock(KVLSoundPlayer& player, KVLSoundOutputWAV& out, int turns, int32_t step = 2048) {
    for (int i = 0; i < turns && !player.IsFinished(); ++i) {
        const bool draining = player.GetState() >= KVLSoundPlayer::kDrain;
        if (draining || out.GetFramesWritten() - out.GetPlayPosition() > kBlock + step) {
            ASSERT_TRUE(out.Advance(step));
        }
        Sleep(1);
    }
}

class MP3Player : public ::testing::Test {
protected:
    void SetUp() override {
        soundtest::WriteToneWav(dir.file("t.wav"), 44100 * 3, 44100);
        if (!soundtest::EncodeMp3(dir.file("t.wav"), dir.file("t.mp3"))) {
            ZARNOTH_SKIP_MISSING() << "lame is not available";
        }
        reference = soundtest::DecodeWithStreamer(dir.file("t.mp3"));
        ASSERT_GT(reference.size(), 3u * 44100);
    }
    testsupport::TempDir dir;
    std::vector<uint32_t> reference;
};

TEST_F(MP3Player, EveryFrameReachesTheOutputOnceInOrderAndTheEndIsFound) {
    const std::string wav = dir.file("played.wav");
    {
        KVLSoundOutputWAV out(wav.c_str());
        KVLSoundStreamerMP3 streamer;
        ASSERT_TRUE(streamer.OpenFile(dir.file("t.mp3").c_str(), nullptr));
        KVLSoundPlayer player(&out, 2);
        KVLString text;
        ASSERT_TRUE(player.Play(&streamer, &text));
        EXPECT_STREQ(text.c_str(), ("WAV file " + wav + " - 44.1 kHz 16 bits stereo").c_str());
        RunClock(player, out, 20000);
        ASSERT_TRUE(player.IsFinished());
        EXPECT_EQ(player.GetState(), KVLSoundPlayer::kDone);
        // Ended by itself: the output was not reset.
        const int32_t written = out.GetFramesWritten();
        EXPECT_EQ(written, static_cast<int32_t>((reference.size() + kBlock - 1) / kBlock * kBlock));
        EXPECT_GE(out.GetPlayPosition(), static_cast<int32_t>(reference.size()));
        player.Stop();
        EXPECT_EQ(out.GetFramesWritten(), written) << "Stop after the end does not reset";
        ASSERT_TRUE(out.Advance(40 * kBlock));
    }
    const std::vector<uint32_t> played = soundtest::WavFrames(wav);
    ASSERT_GE(played.size(), reference.size());
    size_t mismatches = 0;
    for (size_t i = 0; i < reference.size(); ++i) {
        mismatches += played[i] != reference[i];
    }
    EXPECT_EQ(mismatches, 0u);
    size_t nonzeroAfter = 0;
    for (size_t i = reference.size(); i < played.size(); ++i) {
        nonzeroAfter += played[i] != 0;
    }
    EXPECT_EQ(nonzeroAfter, 0u) << "nothing is repeated after the music";
}

TEST_F(MP3Player, CurrentSamplesAreTheFramesAtThePlayPosition) {
    KVLSoundOutputWAV out(dir.file("played.wav").c_str());
    KVLSoundStreamerMP3 streamer;
    ASSERT_TRUE(streamer.OpenFile(dir.file("t.mp3").c_str(), nullptr));
    KVLSoundPlayer player(&out, 2);
    ASSERT_TRUE(player.Play(&streamer, nullptr));
    KVLSampleBlock* request = KVLCreateSampleBlock(256);
    int checked = 0;
    // Positions inside a block, across a block edge, and while the worker refills.
    for (int32_t target : {1000, 8000, 8192 * 3 + 7, 60000, 100000}) {
        while (out.GetPlayPosition() < target && !player.IsFinished()) {
            if (out.GetFramesWritten() - out.GetPlayPosition() > kBlock + 1024) {
                ASSERT_TRUE(out.Advance(std::min(1024, target - out.GetPlayPosition())));
            } else {
                Sleep(1);
            }
        }
        const int32_t p = out.GetPlayPosition();
        ASSERT_EQ(p, target);
        std::fill(request->data, request->data + 256, 0xDEADBEEFu);
        player.GetCurrentSamples(request);
        const std::vector<uint32_t> want(reference.begin() + p, reference.begin() + p + 256);
        EXPECT_EQ(std::vector<uint32_t>(request->data, request->data + 256), want) << p;
        ++checked;
    }
    EXPECT_EQ(checked, 5);
    KVLReleaseSampleBlock(request);
    player.Stop();
}

TEST_F(MP3Player, StopMidSongResetsTheOutput) {
    KVLSoundOutputWAV out(dir.file("played.wav").c_str());
    KVLSoundStreamerMP3 streamer;
    ASSERT_TRUE(streamer.OpenFile(dir.file("t.mp3").c_str(), nullptr));
    KVLSoundPlayer player(&out, 2);
    ASSERT_TRUE(player.Play(&streamer, nullptr));
    RunClock(player, out, 60);
    ASSERT_FALSE(player.IsFinished());
    player.Stop();
    EXPECT_TRUE(player.IsFinished());
    EXPECT_EQ(out.GetFramesWritten(), 0);
    EXPECT_FALSE(out.IsPlaying());
    EXPECT_EQ(out.GetPlayPosition(), 0);
}

// Stop, Seek, Play, again and again (also after the music has ended): each time the
// output plays the stream from the frame sought, bit for bit, and GetPlayFrame says so.
TEST_F(MP3Player, PlaysAgainFromWhereTheStreamerWasSought) {
    KVLSoundOutputWAV out(dir.file("played.wav").c_str());
    KVLSoundStreamerMP3 streamer;
    ASSERT_TRUE(streamer.OpenFile(dir.file("t.mp3").c_str(), nullptr));
    KVLSoundPlayer player(&out, 2);
    KVLSampleBlock* request = KVLCreateSampleBlock(512);
    const auto total = static_cast<int32_t>(reference.size());
    for (int32_t seek : {50000, 1234, 100000, 0, total - 3000, 77777}) {
        player.Stop();
        ASSERT_TRUE(streamer.Seek(seek));
        ASSERT_TRUE(player.Play(&streamer, nullptr)) << seek;
        EXPECT_EQ(player.GetPlayFrame(), seek);
        const int32_t target = std::min(9000, total - seek);
        while (out.GetPlayPosition() < target && !player.IsFinished()) {
            if (player.GetState() >= KVLSoundPlayer::kDrain ||
                out.GetFramesWritten() - out.GetPlayPosition() > kBlock + 1024) {
                ASSERT_TRUE(out.Advance(std::min(1024, target - out.GetPlayPosition())));
            } else {
                Sleep(1);
            }
        }
        ASSERT_EQ(out.GetPlayPosition(), target) << seek;
        EXPECT_EQ(player.GetPlayFrame(), seek + target);
        const int32_t at = seek + target - 512;
        player.GetCurrentSamples(request);
        std::vector<uint32_t> want(512, 0);
        for (int32_t i = 0; i < 512 && seek + target + i < total; ++i) {
            want[static_cast<size_t>(i)] = reference[static_cast<size_t>(seek + target + i)];
        }
        EXPECT_EQ(std::vector<uint32_t>(request->data, request->data + 512), want) << seek << " " << at;
    }
    KVLReleaseSampleBlock(request);
    player.Stop();
}

// A pause holds the play position and the samples shown while the worker fills the
// ring and waits; released, the music goes on from the same frame and every frame
// reaches the output once, in order.
TEST_F(MP3Player, PauseHoldsThePositionAndLosesNothing) {
    const std::string wav = dir.file("played.wav");
    {
        KVLSoundOutputWAV out(wav.c_str());
        KVLSoundStreamerMP3 streamer;
        ASSERT_TRUE(streamer.OpenFile(dir.file("t.mp3").c_str(), nullptr));
        KVLSoundPlayer player(&out, 2);
        ASSERT_TRUE(player.Play(&streamer, nullptr));
        RunClock(player, out, 40);
        player.SetPaused(true);
        EXPECT_TRUE(player.IsPaused());
        const int32_t frame = player.GetPlayFrame();
        KVLSampleBlock* before = KVLCreateSampleBlock(300);
        KVLSampleBlock* after = KVLCreateSampleBlock(300);
        player.GetCurrentSamples(before);
        // The worker goes on writing while held (the 3 s song fits in the ring) and then
        // waits for the music to be heard; Advance is refused meanwhile.
        for (int i = 0; i < 5000 && player.GetState() < KVLSoundPlayer::kDrain; ++i) {
            EXPECT_FALSE(out.Advance(1024));
            Sleep(1);
        }
        EXPECT_EQ(player.GetState(), KVLSoundPlayer::kDrain) << "the whole song went into the ring during the hold";
        EXPECT_GE(out.GetFramesWritten(), static_cast<int32_t>(reference.size()));
        EXPECT_EQ(player.GetPlayFrame(), frame);
        player.GetCurrentSamples(after);
        EXPECT_EQ(std::vector<uint32_t>(before->data, before->data + 300),
                  std::vector<uint32_t>(after->data, after->data + 300));
        KVLReleaseSampleBlock(before);
        KVLReleaseSampleBlock(after);
        EXPECT_FALSE(player.IsFinished());
        player.SetPaused(false);
        RunClock(player, out, 20000);
        ASSERT_TRUE(player.IsFinished());
        EXPECT_EQ(player.GetState(), KVLSoundPlayer::kDone);
        ASSERT_TRUE(out.Advance(40 * kBlock));
    }
    const std::vector<uint32_t> played = soundtest::WavFrames(wav);
    ASSERT_GE(played.size(), reference.size());
    EXPECT_TRUE(std::equal(reference.begin(), reference.end(), played.begin()));
}

// An end frame: the output is given the frames from where the stream stands up to it and
// no more (inside a block, at a block's edge, past the stream's end), the player then
// ends by itself; a start at or past it plays nothing and is no failure.
TEST_F(MP3Player, EndFrameStopsTheMusicThere) {
    const auto total = static_cast<int32_t>(reference.size());
    const int32_t wholeBlocks = (total + kBlock - 1) / kBlock * kBlock;
    struct Case {
        int32_t seek, end, heard;
    };
    for (const Case& c : {Case{0, 20000, 20000}, Case{1234, 1234 + 100, 100}, Case{5000, 5000 + 2 * kBlock, 2 * kBlock},
                          Case{0, total + 5 * kBlock, wholeBlocks}, Case{60000, 60000, 0}, Case{70000, 100, 0}}) {
        const std::string wav = dir.file("end" + std::to_string(c.seek) + "_" + std::to_string(c.end) + ".wav");
        {
            KVLSoundOutputWAV out(wav.c_str());
            KVLSoundStreamerMP3 streamer;
            ASSERT_TRUE(streamer.OpenFile(dir.file("t.mp3").c_str(), nullptr));
            ASSERT_TRUE(streamer.Seek(c.seek));
            KVLSoundPlayer player(&out, 2);
            player.SetEndFrame(c.end);
            ASSERT_TRUE(player.Play(&streamer, nullptr)) << c.seek << " to " << c.end;
            RunClock(player, out, 20000);
            ASSERT_TRUE(player.IsFinished()) << c.seek << " to " << c.end;
            EXPECT_EQ(player.GetState(), KVLSoundPlayer::kDone);
            EXPECT_EQ(out.GetFramesWritten(), c.heard) << c.seek << " to " << c.end;
            EXPECT_EQ(player.GetPlayFrame(), c.seek + std::min(out.GetPlayPosition(), c.heard));
            ASSERT_TRUE(out.Advance(4 * kBlock));
        }
        const std::vector<uint32_t> played = soundtest::WavFrames(wav);
        const auto heard = static_cast<size_t>(std::min(c.heard, total - c.seek));
        ASSERT_GE(played.size(), heard);
        EXPECT_TRUE(std::equal(played.begin(), played.begin() + static_cast<std::ptrdiff_t>(heard),
                               reference.begin() + c.seek))
            << c.seek << " to " << c.end;
        EXPECT_EQ(std::count(played.begin() + static_cast<std::ptrdiff_t>(heard), played.end(), 0u),
                  static_cast<std::ptrdiff_t>(played.size() - heard))
            << "only silence after the end frame " << c.end;
    }
}

TEST(SoundPlayer, StreamOfRateZeroCannotPlay) {
    testsupport::TempDir dir;
    testsupport::WriteFile(dir.file("bad.mp3"), testsupport::PatternBytes(4000, 3));
    KVLSoundStreamerMP3 streamer;
    EXPECT_FALSE(streamer.OpenFile(dir.file("bad.mp3").c_str(), nullptr));
    KVLSoundOutputWAV out(dir.file("o.wav").c_str());
    KVLSoundPlayer player(&out, 2);
    KVLString text;
    EXPECT_FALSE(player.Play(&streamer, &text));
    EXPECT_STREQ(text.c_str(), "Output device does not support 0 kHz - 16 bits - Stereo");
}

// A streamer whose reads give some full blocks and then fail.
class FailingStreamer : public KVLSoundStreamerCapture {
public:
    explicit FailingStreamer(int32_t goodBlocks) : KVLSoundStreamerCapture(nullptr), m_good(goodBlocks) {}
    int32_t GetSampleRate() override { return 44100; }
    int32_t GetPosition() override { return m_position; }
    int32_t Read(KVLSampleBlock* request) override {
        if (m_good-- <= 0) {
            m_position = 1 << 30;  // whatever the source claims, nothing more came
            return -1;
        }
        for (int32_t i = 0; i < request->frames; ++i) {
            request->data[i] = static_cast<uint32_t>(m_position + i + 1);
        }
        m_position += request->frames;
        return request->frames;
    }

private:
    int32_t m_good;
    int32_t m_position = 0;
};

TEST(SoundPlayer, FailingReadEndsTheMusic) {
    struct Case {
        int32_t good;
        bool plays;
    };
    for (const Case& c : {Case{0, false}, Case{3, true}}) {
        testsupport::TempDir dir;
        KVLSoundOutputWAV out(dir.file("o.wav").c_str());
        FailingStreamer streamer(c.good);
        KVLSoundPlayer player(&out, 2);
        EXPECT_EQ(player.Play(&streamer, nullptr), c.plays) << c.good;
        RunClock(player, out, 5000);
        EXPECT_TRUE(player.IsFinished()) << c.good;
        EXPECT_EQ(out.GetFramesWritten(), c.good * kBlock) << "the failed read was not queued";
    }
}

}  // namespace
