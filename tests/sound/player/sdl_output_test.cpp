// The SDL output through SDL's disk audio driver: the player's music reaches the device
// file whole, in order and once, the end is found, and only one output opens at a time.
#include <gtest/gtest.h>

#include <algorithm>

#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

#include "sound/sdl/kvl_soundoutput_sdl.h"
#include "sound/kvl_soundplayer.h"
#include "sound/player/sound_test_util.h"
#include "support/test_support.h"

namespace {

TEST(SoundOutputSDL, DescriptionAndOneOutputPerProcess) {
    testsupport::TempDir dir;
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", dir.file("disk.raw").c_str(), 1);
    KVLString text;
    {
        KVLSoundOutputSDL first(-1);
        ASSERT_TRUE(first.Open(44100, 16, true, 8192, &text)) << text.c_str();
        const std::string description = text.c_str();
        EXPECT_NE(description.find(" - 44.1 kHz 16 bits stereo"), std::string::npos) << description;
        EXPECT_GT(description.find(" - "), 0u) << "the device's name comes first";
        KVLSoundOutputSDL second(-1);
        EXPECT_FALSE(second.Open(44100, 16, true, 8192, &text));
        EXPECT_STREQ(text.c_str(), "Too many Direct Sound device opened");
    }
    {
        KVLSoundOutputSDL bad(7);
        EXPECT_FALSE(bad.Open(44100, 16, true, 8192, &text));
        EXPECT_STREQ(text.c_str(), "Unable to initialize Direct Sound device");
    }
    KVLSoundOutputSDL again(0);
    EXPECT_TRUE(again.Open(22050, 16, false, 4096, &text)) << text.c_str();
    KVLSoundOutputSDL zero(-1);
    EXPECT_FALSE(zero.Open(0, 16, true, 8192, &text));
}

TEST(SoundOutputSDL, PlayerMusicReachesTheDeviceOnceAndInOrder) {
    testsupport::TempDir dir;
    soundtest::WriteToneWav(dir.file("t.wav"), 44100 * 3 / 2, 44100);
    if (!soundtest::EncodeMp3(dir.file("t.wav"), dir.file("t.mp3"))) {
        ZARNOTH_SKIP_MISSING() << "lame is not available";
    }
    const std::vector<uint32_t> reference = soundtest::DecodeWithStreamer(dir.file("t.mp3"));
    ASSERT_GT(reference.size(), 60000u);
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", dir.file("disk.raw").c_str(), 1);
    {
        KVLSoundOutputSDL out(-1);
        KVLSoundStreamerMP3 streamer;
        ASSERT_TRUE(streamer.OpenFile(dir.file("t.mp3").c_str(), nullptr));
        KVLSoundPlayer player(&out, 2);
        ASSERT_TRUE(player.Play(&streamer, nullptr));
        // The disk driver plays in real time: 1.5 s of music; give it ten times that.
        for (int i = 0; i < 15000 && !player.IsFinished(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        ASSERT_TRUE(player.IsFinished());
        EXPECT_EQ(player.GetState(), KVLSoundPlayer::kDone);
        EXPECT_GE(out.GetPlayPosition(), static_cast<int32_t>(reference.size()));
        // Let the ring come round once more: what it plays now must be silence.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    const std::vector<uint32_t> disk = soundtest::RawFrames(testsupport::ReadFile(dir.file("disk.raw")));
    size_t firstRef = 0;
    while (firstRef < reference.size() && reference[firstRef] == 0) ++firstRef;
    size_t firstDisk = 0;
    while (firstDisk < disk.size() && disk[firstDisk] == 0) ++firstDisk;
    ASSERT_LT(firstRef, reference.size());
    ASSERT_GE(firstDisk, firstRef);
    const size_t start = firstDisk - firstRef;  // silence the device played before the music
    ASSERT_GE(disk.size(), start + reference.size());
    size_t mismatches = 0;
    for (size_t i = 0; i < reference.size(); ++i) {
        mismatches += disk[start + i] != reference[i];
    }
    EXPECT_EQ(mismatches, 0u);
    size_t after = 0;
    for (size_t i = start + reference.size(); i < disk.size(); ++i) {
        after += disk[i] != 0;
    }
    EXPECT_EQ(after, 0u) << "nothing of the music is played twice";
}

// A hold on the SDL device (disk driver, real time): the play position stands while
// held (the device is paused and the ring hands out nothing), and once released the
// music goes on and reaches its end with nothing lost on the device.
TEST(SoundOutputSDL, HoldStopsTheDeviceAndGoesOnFromTheSameFrame) {
    testsupport::TempDir dir;
    soundtest::WriteToneWav(dir.file("t.wav"), 44100, 44100);
    if (!soundtest::EncodeMp3(dir.file("t.wav"), dir.file("t.mp3"))) {
        ZARNOTH_SKIP_MISSING() << "lame is not available";
    }
    const std::vector<uint32_t> reference = soundtest::DecodeWithStreamer(dir.file("t.mp3"));
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", dir.file("disk.raw").c_str(), 1);
    {
        KVLSoundOutputSDL out(-1);
        KVLSoundStreamerMP3 streamer;
        ASSERT_TRUE(streamer.OpenFile(dir.file("t.mp3").c_str(), nullptr));
        KVLSoundPlayer player(&out, 2);
        ASSERT_TRUE(player.Play(&streamer, nullptr));
        for (int i = 0; i < 5000 && out.GetPlayPosition() < 8192; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        ASSERT_GE(out.GetPlayPosition(), 8192);
        player.SetPaused(true);
        const int32_t held = out.GetPlayPosition();
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        EXPECT_EQ(out.GetPlayPosition(), held) << "the position moved during the hold";
        EXPECT_FALSE(player.IsFinished());
        player.SetPaused(false);
        for (int i = 0; i < 15000 && !player.IsFinished(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        ASSERT_TRUE(player.IsFinished());
        EXPECT_GE(out.GetPlayPosition(), static_cast<int32_t>(reference.size()));
    }
    // What the device played, without its silences, is the music in order.
    std::vector<uint32_t> disk = soundtest::RawFrames(testsupport::ReadFile(dir.file("disk.raw")));
    std::vector<uint32_t> music(reference);
    disk.erase(std::remove(disk.begin(), disk.end(), 0u), disk.end());
    music.erase(std::remove(music.begin(), music.end(), 0u), music.end());
    EXPECT_EQ(disk, music);
}

}  // namespace
