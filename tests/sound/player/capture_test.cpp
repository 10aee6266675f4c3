// Recording through SDL's disk capture driver: the capture names deliver the input
// file's frames in order, the one-capture rule, device index and format checks, and
// the wave-in slots after Stop.
#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "sound/sdl/kvl_soundcapture_sdl.h"
#include "sound/kvl_soundstreamer.h"
#include "support/test_support.h"

namespace {

// Frame i carries i: low 15 bits on the left, the rest on the right, so that any run
// of recorded frames tells where in the file it came from.
std::vector<uint8_t> CountingInput(int32_t frames) {
    std::vector<uint8_t> b;
    for (int32_t i = 0; i < frames; ++i) {
        const uint32_t l = static_cast<uint32_t>(i) & 0x7FFF;
        const uint32_t r = static_cast<uint32_t>(i) >> 15;
        b.insert(b.end(), {static_cast<uint8_t>(l), static_cast<uint8_t>(l >> 8),
                           static_cast<uint8_t>(r), static_cast<uint8_t>(r >> 8)});
    }
    return b;
}

int64_t FrameIndex(uint32_t frame) { return (frame & 0x7FFF) | static_cast<int64_t>(frame >> 16) << 15; }

class Capture : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::WriteFile(dir.file("in.raw"), CountingInput(44100 * 20));
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIOFILEIN", dir.file("in.raw").c_str(), 1);
        setenv("SDL_DISKAUDIOFILE", dir.file("out.raw").c_str(), 1);
    }
    testsupport::TempDir dir;
};

TEST_F(Capture, NamesRecordTheInputInOrder) {
    for (const char* name : {"0.dsoundcap", "-1.DSOUNDCAP", "0.mcicap", "-1.mcicap"}) {
        KVLSoundStreamerCapture streamer(nullptr);
        KVLString text;
        ASSERT_TRUE(streamer.OpenFile(name, &text)) << name << ": " << text.c_str();
        EXPECT_NE(std::string(text.c_str()).find(" - 44.1 kHz 16 bits stereo"), std::string::npos) << text.c_str();
        EXPECT_EQ(streamer.GetLength(), -1);
        EXPECT_FALSE(streamer.IsAtEnd());
        EXPECT_TRUE(streamer.Skip(1000)) << "a live source skips nothing";
        EXPECT_EQ(streamer.GetPosition(), 0);
        // 1.5 blocks per read, so reads cross the source's block edges.
        KVLSampleBlock* request = KVLCreateSampleBlock(3072);
        std::vector<uint32_t> got;
        for (int i = 0; i < 4; ++i) {
            ASSERT_EQ(streamer.Read(request), 3072) << name;
            got.insert(got.end(), request->data, request->data + 3072);
        }
        KVLReleaseSampleBlock(request);
        EXPECT_EQ(streamer.GetPosition(), 6 * 2048);
        const int64_t first = FrameIndex(got[0]);
        size_t breaks = 0;
        for (size_t i = 0; i < got.size(); ++i) {
            breaks += FrameIndex(got[i]) != first + static_cast<int64_t>(i);
        }
        EXPECT_EQ(breaks, 0u) << name << " from frame " << first;
        EXPECT_LT(first, 44100) << "recording starts near the start of the input";
    }
}

TEST_F(Capture, DeviceChecksAndTexts) {
    struct Case {
        bool dsound;
        int32_t device, rate, bits;
        const char* text;
    };
    const Case cases[] = {
        {true, 5, 44100, 16, "Invalid sound capture device"},
        {true, -2, 44100, 16, "Invalid sound capture device"},
        {true, 0, 48000, 16, "Unsupported audio format"},
        {true, 0, 44100, 24, "Unsupported audio format"},
        {false, 5, 44100, 16, "Invalid sound capture device"},
        {false, -2, 44100, 16, "Invalid sound capture device"},
        {false, 0, 32000, 16, "Unable to open audio device"},
    };
    for (const Case& c : cases) {
        KVLSoundSourceSDLRingCapture d(c.device, c.rate, c.bits, true, 2048);
        KVLSoundSourceSDLSlotCapture w(c.device, c.rate, c.bits, true, 2048);
        KVLSoundSource& s = c.dsound ? static_cast<KVLSoundSource&>(d) : w;
        KVLString text;
        EXPECT_FALSE(s.Open(&text));
        EXPECT_STREQ(text.c_str(), c.text) << c.device << " " << c.rate;
        EXPECT_EQ(s.NextBlock(), nullptr);
    }
    KVLSoundSourceSDLRingCapture first(0, 22050, 8, false, 512);
    KVLString text;
    ASSERT_TRUE(first.Open(&text)) << text.c_str();
    EXPECT_NE(std::string(text.c_str()).find(" - 22.1 kHz 8 bits mono"), std::string::npos);
    KVLSoundSourceSDLRingCapture second(0, 44100, 16, true, 2048);
    EXPECT_FALSE(second.Open(&text));
    EXPECT_STREQ(text.c_str(), "Too many Direct Sound capture opened");
    KVLSoundSourceSDLSlotCapture alongside(0, 44100, 16, true, 2048);
    EXPECT_TRUE(alongside.Open(&text)) << "wave-in has no process limit";
}

TEST_F(Capture, WaveInStartsAgainAtSlotZeroAfterStop) {
    KVLSoundSourceSDLSlotCapture source(-1, 44100, 16, true, 1024);
    ASSERT_TRUE(source.Open(nullptr));
    ASSERT_TRUE(source.Start());
    for (int i = 0; i < 6; ++i) {
        ASSERT_NE(source.NextBlock(), nullptr);
    }
    EXPECT_EQ(source.GetCurrentSlot(), 2);
    EXPECT_EQ(source.GetPosition(), 6 * 1024);
    ASSERT_TRUE(source.Stop());
    EXPECT_EQ(source.GetCurrentSlot(), 0);
    ASSERT_TRUE(source.Start());
    ASSERT_NE(source.NextBlock(), nullptr);
    EXPECT_EQ(source.GetCurrentSlot(), 1);
}

}  // namespace
