// Recording on the system's devices: the capture names' open errors, the one DirectSound
// capture rule, what is recorded from a device that hears the DirectSound output (the
// monitor of the audio server's sink, where there is one), and the waveIn slots.
#include <gtest/gtest.h>

#include <windows.h>
#include <mmsystem.h>
#include <dsound.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "sound/win32/kvl_soundcapture_dsound.h"
#include "sound/win32/kvl_soundcapture_wavein.h"
#include "sound/win32/kvl_soundoutput_dsound.h"
#include "sound/kvl_soundstreamer.h"

namespace {

struct CaptureDevices {
    std::string primary;
    int count = 0;
};

BOOL CALLBACK Collect(LPGUID guid, LPCSTR description, LPCSTR, LPVOID context) {
    auto* devices = static_cast<CaptureDevices*>(context);
    if (guid == nullptr) {
        devices->primary = description;
    } else {
        ++devices->count;
    }
    return TRUE;
}

const CaptureDevices& SystemCapture() {
    static const CaptureDevices devices = [] {
        CaptureDevices d;
        DirectSoundCaptureEnumerateA(&Collect, &d);
        return d;
    }();
    return devices;
}

std::string WaveInMapperName() {
    WAVEINCAPSA caps{};
    return waveInGetDevCapsA(WAVE_MAPPER, &caps, sizeof caps) == MMSYSERR_NOERROR ? caps.szPname
                                                                                   : "";
}

int32_t Peak(const std::vector<uint32_t>& frames) {
    int32_t peak = 0;
    for (uint32_t f : frames) {
        peak = std::max({peak, std::abs(static_cast<int16_t>(f & 0xFFFF)),
                         std::abs(static_cast<int16_t>(f >> 16))});
    }
    return peak;
}

class Capture : public ::testing::Test {
protected:
    void SetUp() override {
        if (SystemCapture().count == 0 || waveInGetNumDevs() == 0) {
            GTEST_SKIP() << "no capture device (is an audio server running?)";
        }
    }
};

TEST_F(Capture, OpenErrors) {
    const int dsound = SystemCapture().count;
    const auto wavein = static_cast<int>(waveInGetNumDevs());
    struct Case {
        std::string name;
        const char* text;
    };
    const Case cases[] = {
        {std::to_string(dsound) + ".dsoundcap", "Invalid sound capture device"},
        {"-2.dsoundcap", "Invalid sound capture device"},
        {std::to_string(wavein) + ".mcicap", "Invalid sound capture device"},
        {"5.MCICAP", wavein > 5 ? nullptr : "Invalid sound capture device"},
        {"-3.mcicap", "Invalid sound capture device"},
        {"0.wav", "Invalid file"},
    };
    for (const Case& c : cases) {
        if (c.text == nullptr) {
            continue;
        }
        KVLSoundStreamerCapture streamer(nullptr);
        KVLString text;
        EXPECT_FALSE(streamer.OpenFile(c.name.c_str(), &text)) << c.name;
        EXPECT_STREQ(text.c_str(), c.text) << c.name;
    }
    KVLSoundSourceDSoundCapture odd(-1, 8000, 16, true, 2048);
    KVLString text;
    EXPECT_FALSE(odd.Open(&text));
    EXPECT_STREQ(text.c_str(), "Unsupported audio format");
}

TEST_F(Capture, OneDirectSoundCaptureAtATime) {
    const std::string expected = SystemCapture().primary + " - 44.1 kHz 16 bits stereo";
    auto first = std::make_unique<KVLSoundStreamerCapture>(nullptr);
    KVLString text;
    ASSERT_TRUE(first->OpenFile("-1.dsoundcap", &text)) << text.c_str();
    EXPECT_EQ(std::string(text.c_str()), expected);
    EXPECT_EQ(first->GetSampleRate(), 44100);
    EXPECT_EQ(first->GetLength(), -1);
    EXPECT_FALSE(first->IsAtEnd());
    EXPECT_TRUE(first->Skip(5000));
    EXPECT_EQ(first->GetPosition(), 0) << "a live source skips nothing";
    {
        KVLSoundStreamerCapture second(nullptr);
        EXPECT_FALSE(second.OpenFile("0.dsoundcap", &text));
        EXPECT_STREQ(text.c_str(), "Too many Direct Sound capture opened");
        KVLSoundStreamerCapture wave(nullptr);
        EXPECT_TRUE(wave.OpenFile("-1.mcicap", &text)) << "waveIn has no such rule";
        EXPECT_EQ(std::string(text.c_str()), WaveInMapperName() + " - 44.1 kHz 16 bits stereo");
    }
    first.reset();
    KVLSoundStreamerCapture third(nullptr);
    EXPECT_TRUE(third.OpenFile("0.dsoundcap", &text)) << text.c_str();
}

// A square wave played through the DirectSound output comes back through the capture
// device when that device is the monitor of the sink the output plays on.
TEST_F(Capture, RecordsWhatTheOutputPlays) {
    constexpr int32_t kChunk = 4096;
    KVLSoundOutputDSound out(-1);
    ASSERT_TRUE(out.Open(44100, 16, true, kChunk, nullptr));
    std::vector<uint32_t> tone(kChunk);
    for (int32_t i = 0; i < kChunk; ++i) {
        const auto s = static_cast<uint16_t>((i / 50) % 2 == 0 ? 12000 : -12000);
        tone[static_cast<size_t>(i)] = s | static_cast<uint32_t>(s) << 16;
    }
    for (int i = 0; i < 24; ++i) {
        ASSERT_TRUE(out.Write(tone.data(), kChunk));
    }
    KVLSoundStreamerCapture streamer(nullptr);
    KVLString text;
    ASSERT_TRUE(streamer.OpenFile("-1.dsoundcap", &text)) << text.c_str();
    std::vector<uint32_t> data(3000);
    KVLSampleBlock request;
    request.frames = 3000;
    request.data = data.data();
    int32_t peak = 0;
    int32_t bestExact = 0;
    // Reads that hold nothing but the tone with every run between the first and the
    // last exactly 50 frames long. One such read proves that samples pass unchanged and
    // in order; a loaded machine may still lose a stretch of some other read (the
    // capture device overruns), which merges two runs there.
    int32_t wholeReads = 0;
    for (int i = 0; i < 30; ++i) {
        ASSERT_EQ(streamer.Read(&request), 3000) << "read " << i;
        peak = std::max(peak, Peak(data));
        int32_t exact = 0;
        std::vector<int32_t> runs;
        for (size_t k = 0; k < data.size(); ++k) {
            const uint32_t f = data[k];
            const bool value = f == tone[0] || f == tone[50];
            exact += value ? 1 : 0;
            if (k > 0 && f == data[k - 1] && !runs.empty()) {
                ++runs.back();
            } else {
                runs.push_back(1);
            }
        }
        bestExact = std::max(bestExact, exact);
        const bool inner50 = runs.size() > 2 && std::all_of(runs.begin() + 1, runs.end() - 1,
                                                            [](int32_t run) { return run == 50; });
        wholeReads += exact == 3000 && inner50 ? 1 : 0;
        while (out.GetFramesWritten() - out.GetPlayPosition() < 20 * kChunk) {
            ASSERT_TRUE(out.Write(tone.data(), kChunk));
        }
    }
    // Whole blocks only: 30 reads of 3000 frames took 44 blocks of 2048.
    EXPECT_EQ(streamer.GetPosition(), 44 * 2048);
    if (peak == 0) {
        GTEST_SKIP() << "the capture device does not hear the output";
    }
    EXPECT_EQ(peak, 12000);
    EXPECT_EQ(bestExact, 3000) << "frames of the tone in the best read";
    EXPECT_GE(wholeReads, 1) << "reads of the unchanged tone in runs of 50";
}

TEST_F(Capture, WaveInSlotsAndRestart) {
    KVLSoundSourceWaveIn source(-1, 44100, 16, true, 1024);
    KVLString text;
    ASSERT_TRUE(source.Open(&text)) << text.c_str();
    EXPECT_EQ(source.GetLength(), -1);
    ASSERT_TRUE(source.Start());
    for (int32_t i = 0; i < 6; ++i) {
        EXPECT_EQ(source.GetCurrentSlot(), i % 4);
        ASSERT_NE(source.NextBlock(), nullptr) << "block " << i;
    }
    EXPECT_EQ(source.GetPosition(), 6 * 1024);
    ASSERT_TRUE(source.Stop());
    EXPECT_EQ(source.GetCurrentSlot(), 0);
    ASSERT_TRUE(source.Start());
    const void* block = source.NextBlock();
    ASSERT_NE(block, nullptr) << "recording goes on after Stop and Start";
    EXPECT_EQ(source.GetCurrentSlot(), 1);
    EXPECT_EQ(source.GetPosition(), 7 * 1024);
    ASSERT_TRUE(source.Stop());
    // Stopped: nothing will be recorded, and NextBlock says so instead of waiting.
    EXPECT_EQ(source.NextBlock(), nullptr);
}

TEST_F(Capture, DirectSoundCaptureThatIsNotStartedGivesUp) {
    KVLSoundSourceDSoundCapture source(-1, 22050, 8, false, 512);
    KVLString text;
    ASSERT_TRUE(source.Open(&text)) << text.c_str();
    EXPECT_EQ(std::string(text.c_str()), SystemCapture().primary + " - 22.1 kHz 8 bits mono");
    EXPECT_EQ(source.NextBlock(), nullptr);
    ASSERT_TRUE(source.Start());
    for (int i = 0; i < 10; ++i) {
        ASSERT_NE(source.NextBlock(), nullptr) << "block " << i;
    }
    EXPECT_EQ(source.GetPosition(), 10 * 512);
    EXPECT_TRUE(source.Stop());
}

}  // namespace
