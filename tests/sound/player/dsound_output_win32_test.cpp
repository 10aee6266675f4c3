// The DirectSound output on the system's device: opening and its texts, the one-output
// rule, chunk limits, the full threshold, the play position while the buffer plays and
// after an underrun, read-back of the frames ahead of the cursor, pause and reset.
#include <gtest/gtest.h>

#include <windows.h>
#include <dsound.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "sound/kvl_sounddevice.h"
#include "sound/win32/kvl_soundoutput_dsound.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Devices {
    std::string primary;
    std::vector<std::string> names;
};

BOOL CALLBACK Collect(LPGUID guid, LPCSTR description, LPCSTR, LPVOID context) {
    auto* devices = static_cast<Devices*>(context);
    if (guid == nullptr) {
        devices->primary = description;
    } else {
        devices->names.emplace_back(description);
    }
    return TRUE;
}

const Devices& SystemDevices() {
    static const Devices devices = [] {
        Devices d;
        DirectSoundEnumerateA(&Collect, &d);
        return d;
    }();
    return devices;
}

// Frame i of a stream: its index, so that any frame read back tells where it belongs.
std::vector<uint32_t> Frames(int32_t first, int32_t count) {
    std::vector<uint32_t> v(static_cast<size_t>(count));
    for (int32_t i = 0; i < count; ++i) {
        v[static_cast<size_t>(i)] = static_cast<uint32_t>(first + i) * 2654435761u | 1u;
    }
    return v;
}

// Polls until done() holds or the time runs out.
template <class Done>
bool WaitFor(Done done, int32_t ms) {
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (Clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

class DSoundOutput : public ::testing::Test {
protected:
    void SetUp() override {
        if (SystemDevices().names.empty()) {
            GTEST_SKIP() << "no DirectSound device (is an audio server running?)";
        }
    }
};

TEST_F(DSoundOutput, OpenTextsAndFormat) {
    struct Case {
        int32_t device, rate, bits;
        bool stereo;
        bool ok;
        std::string text;
    };
    const Devices& sys = SystemDevices();
    const int32_t count = static_cast<int32_t>(sys.names.size());
    const Case cases[] = {
        {-1, 44100, 16, true, true, sys.primary + " - 44.1 kHz 16 bits stereo"},
        {0, 22050, 8, false, true, sys.names[0] + " - 22.1 kHz 8 bits mono"},
        {-1, 48000, 16, false, true, sys.primary + " - 48.0 kHz 16 bits mono"},
        {-1, 0, 16, true, false, "Output device does not support 0 kHz - 16 bits - Stereo"},
        {-1, 44100, 12, false, false, "Output device does not support 44 kHz - 12 bits - Mono"},
        {-2, 44100, 16, true, false, "Unable to initialize Direct Sound device"},
        {count, 44100, 16, true, false, "Unable to initialize Direct Sound device"},
    };
    for (const Case& c : cases) {
        KVLSoundOutputDSound out(c.device);
        EXPECT_EQ(out.GetSampleRate(), -1);
        EXPECT_EQ(out.GetBitsPerSample(), -1);
        EXPECT_FALSE(out.IsStereo());
        EXPECT_EQ(out.GetPlayPosition(), 0);
        KVLString text;
        ASSERT_EQ(out.Open(c.rate, c.bits, c.stereo, 4096, &text), c.ok) << c.text;
        EXPECT_EQ(std::string(text.c_str()), c.text);
        if (c.ok) {
            EXPECT_EQ(out.GetSampleRate(), c.rate);
            EXPECT_EQ(out.GetBitsPerSample(), c.bits);
            EXPECT_EQ(out.IsStereo(), c.stereo);
        } else {
            EXPECT_FALSE(out.Write(Frames(0, 1).data(), 1));
        }
    }
}

TEST_F(DSoundOutput, OneOutputAtATime) {
    auto first = KVLCreateSoundOutput(-1);
    ASSERT_NE(dynamic_cast<KVLSoundOutputDSound*>(first.get()), nullptr);
    KVLString text;
    ASSERT_TRUE(first->Open(44100, 16, true, 8192, &text)) << text.c_str();
    KVLSoundOutputDSound second(-1);
    EXPECT_FALSE(second.Open(44100, 16, true, 8192, &text));
    EXPECT_STREQ(text.c_str(), "Too many Direct Sound device opened");
    EXPECT_FALSE(first->Open(44100, 16, true, 8192, &text)) << "the open output is the one";
    first.reset();
    EXPECT_TRUE(second.Open(44100, 16, true, 8192, &text)) << text.c_str();
    const std::vector<uint32_t> chunk = Frames(0, 8192);
    EXPECT_TRUE(second.Write(chunk.data(), 8192));
}

TEST_F(DSoundOutput, ChunkLimit) {
    KVLSoundOutputDSound out(-1);
    const std::vector<uint32_t> data = Frames(0, 8193);
    EXPECT_FALSE(out.Write(data.data(), 1)) << "not open";
    ASSERT_TRUE(out.Open(44100, 16, true, 8192, nullptr));
    EXPECT_FALSE(out.Write(data.data(), 8193));
    EXPECT_EQ(out.GetFramesWritten(), 0);
    EXPECT_FALSE(out.Write(nullptr, 10));
    EXPECT_TRUE(out.Write(data.data(), 8192));
    EXPECT_TRUE(out.Write(data.data(), 100)) << "a short chunk is taken";
    EXPECT_EQ(out.GetFramesWritten(), 8292);
}

// A write is refused exactly when the fill check finds 31 or more chunks queued. The
// cursor moves while the test runs, so each write is judged by the positions read just
// before and just after it: queued at the check lies between the two.
TEST_F(DSoundOutput, RefusedWhenThirtyOneChunksQueued) {
    constexpr int32_t kChunk = 8192;
    KVLSoundOutputDSound out(-1);
    // At 11025 Hz a chunk lasts 0.74 s, far longer than the test's writes.
    ASSERT_TRUE(out.Open(11025, 16, true, kChunk, nullptr));
    int32_t taken = 0;
    int32_t refused = 0;
    for (int32_t i = 0; i < 40; ++i) {
        const std::vector<uint32_t> chunk = Frames(taken * kChunk, kChunk);
        const int32_t written = out.GetFramesWritten();
        const int32_t before = out.GetPlayPosition();
        const bool ok = out.Write(chunk.data(), kChunk);
        const int32_t after = out.GetPlayPosition();
        if (i > 0 && written - before < KVLSoundFillRule::kFullChunks * kChunk) {
            EXPECT_TRUE(ok) << "write " << i << " with " << written - before << " frames queued";
        }
        if (written - after >= KVLSoundFillRule::kFullChunks * kChunk) {
            EXPECT_FALSE(ok) << "write " << i << " with " << written - after << " frames queued";
        }
        if (ok) {
            ++taken;
        } else {
            ++refused;
            EXPECT_EQ(out.GetFillState(), KVLSoundFillRule::kFull);
        }
    }
    EXPECT_GE(taken, 31);
    EXPECT_LE(taken, 32);
    EXPECT_EQ(refused, 40 - taken);
    EXPECT_EQ(out.GetFramesWritten(), taken * kChunk);
}

// Writes at an uneven pace for several trips round a small ring while another thread
// keeps asking for the position; then lets it drain. The position never goes back, never
// passes what was written, and reaches it in the end.
TEST_F(DSoundOutput, PlayPositionMonotonicAndBounded) {
    constexpr int32_t kChunk = 1024;  // 23 ms at 44100 Hz: the ring lasts 0.74 s
    KVLSoundOutputDSound out(-1);
    ASSERT_TRUE(out.Open(44100, 16, true, kChunk, nullptr));
    std::atomic<bool> stop{false};
    std::atomic<int32_t> violations{0};
    std::atomic<int32_t> otherLast{0};
    std::thread other([&] {
        while (!stop.load()) {
            const int32_t p = out.GetPlayPosition();
            if (p < otherLast.load()) {
                ++violations;
            }
            otherLast = p;
            std::this_thread::sleep_for(std::chrono::milliseconds(3));
        }
    });
    int32_t last = 0;
    int32_t written = 0;
    int32_t checks = 0;
    // Until the writer has gone round the ring three times (a busy machine may play
    // slower than real time, so the time allowed is generous).
    const auto end = Clock::now() + std::chrono::seconds(20);
    for (int32_t turn = 0; written < 3 * 32 * kChunk && Clock::now() < end; ++turn) {
        const std::vector<uint32_t> chunk = Frames(written, kChunk);
        if (out.Write(chunk.data(), kChunk)) {
            written += kChunk;
        }
        const int32_t p = out.GetPlayPosition();
        EXPECT_GE(p, last);
        EXPECT_LE(p, out.GetFramesWritten());
        last = p;
        ++checks;
        std::this_thread::sleep_for(std::chrono::milliseconds(turn % 7 == 0 ? 15 : 4));
    }
    EXPECT_EQ(out.GetFramesWritten(), written);
    EXPECT_GE(written, 3 * 32 * kChunk) << "the writer went round the ring three times";
    EXPECT_TRUE(WaitFor([&] { return out.GetPlayPosition() == written; }, 5000))
        << out.GetPlayPosition() << " of " << written;
    stop = true;
    other.join();
    EXPECT_EQ(violations.load(), 0);
    EXPECT_GT(checks, 100);
}

// The frames from the play position on are those written for it; frames not written yet
// and frames long played are zero.
TEST_F(DSoundOutput, ReadPlayingFollowsThePosition) {
    constexpr int32_t kChunk = 4096;
    KVLSoundOutputDSound out(-1);
    ASSERT_TRUE(out.Open(44100, 16, true, kChunk, nullptr));
    int32_t written = 0;
    for (int32_t i = 0; i < 12; ++i) {
        const std::vector<uint32_t> chunk = Frames(written, kChunk);
        ASSERT_TRUE(out.Write(chunk.data(), kChunk));
        written += kChunk;
    }
    std::vector<uint32_t> got(512);
    for (int32_t look = 0; look < 5; ++look) {
        std::this_thread::sleep_for(std::chrono::milliseconds(60));
        const int32_t p = out.GetPlayPosition();
        ASSERT_LT(p, written - 512);
        ASSERT_TRUE(out.ReadPlaying(p, got.data(), 512));
        EXPECT_EQ(got, Frames(p, 512)) << "at " << p;
    }
    ASSERT_TRUE(out.ReadPlaying(written - 8, got.data(), 16));
    EXPECT_EQ(std::vector<uint32_t>(got.begin(), got.begin() + 8), Frames(written - 8, 8));
    EXPECT_EQ(std::vector<uint32_t>(got.begin() + 8, got.begin() + 16), std::vector<uint32_t>(8, 0));
    ASSERT_TRUE(WaitFor([&] { return out.GetPlayPosition() > 2 * kChunk; }, 3000));
    ASSERT_TRUE(out.ReadPlaying(0, got.data(), 512));
    EXPECT_EQ(got, std::vector<uint32_t>(512, 0)) << "played frames are cleared";
}

// An underrun: the writer comes back with less than a chunk queued, so four chunks of
// silence go in; when it stops again the buffer is stopped with the notice; when it
// catches up, playback starts again and every frame written is heard.
TEST_F(DSoundOutput, UnderrunSilenceStopAndRestart) {
    constexpr int32_t kChunk = 8192;  // 186 ms at 44100 Hz
    const std::filesystem::path noticePath =
        std::filesystem::temp_directory_path() / "kvl_dsound_notice.txt";
    std::FILE* notice = std::fopen(noticePath.string().c_str(), "w+");
    ASSERT_NE(notice, nullptr);
    KVLSoundOutputDSound out(-1);
    out.SetNoticeFile(notice);
    ASSERT_TRUE(out.Open(44100, 16, true, kChunk, nullptr));
    int32_t written = 0;
    auto write = [&] {
        const std::vector<uint32_t> chunk = Frames(written, kChunk);
        const bool ok = out.Write(chunk.data(), kChunk);
        if (ok) {
            written += kChunk;
        }
        return ok;
    };
    for (int32_t i = 0; i < 5; ++i) {
        ASSERT_TRUE(write());
    }
    EXPECT_EQ(out.GetFillState(), KVLSoundFillRule::kRoom);
    // Less than a chunk left to hear: the next write bridges with silence.
    ASSERT_TRUE(WaitFor([&] { return out.GetQueuedFrames() < kChunk * 3 / 4; }, 5000));
    ASSERT_TRUE(write());
    EXPECT_EQ(out.GetFillState(), KVLSoundFillRule::kUnderrun);
    EXPECT_GT(out.GetQueuedFrames(), 4 * kChunk);
    const int32_t beforeSilence = written - kChunk;
    // While the silence plays (well over the one chunk after it still queued), the
    // position stays at the music heard before it.
    ASSERT_TRUE(WaitFor([&] { return out.GetPlayPosition() >= beforeSilence; }, 3000));
    int32_t looks = 0;
    while (out.GetQueuedFrames() > kChunk * 7 / 4) {
        ASSERT_EQ(out.GetPlayPosition(), beforeSilence);
        ++looks;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_GT(looks, 10);
    // The writer comes back with less than four chunks queued: the buffer stops.
    ASSERT_TRUE(write());
    EXPECT_EQ(out.GetFillState(), KVLSoundFillRule::kIdle);
    const int32_t queued = out.GetQueuedFrames();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(out.GetQueuedFrames(), queued) << "the buffer is stopped";
    EXPECT_EQ(out.GetPlayPosition(), beforeSilence);
    std::fflush(notice);
    std::rewind(notice);
    char line[16] = {};
    ASSERT_NE(std::fgets(line, sizeof line, notice), nullptr);
    EXPECT_STREQ(line, "stop\n");
    std::fclose(notice);
    std::filesystem::remove(noticePath);
    // Enough queued again: playback restarts and everything written is heard.
    for (int32_t i = 0; i < 4; ++i) {
        ASSERT_TRUE(write());
    }
    EXPECT_EQ(out.GetFillState(), KVLSoundFillRule::kRoom);
    EXPECT_TRUE(WaitFor([&] { return out.GetPlayPosition() == written; }, 5000))
        << out.GetPlayPosition() << " of " << written;
}

TEST_F(DSoundOutput, PauseResumeAndReset) {
    constexpr int32_t kChunk = 4096;
    KVLSoundOutputDSound out(-1);
    out.Pause();
    out.Resume();
    ASSERT_TRUE(out.Open(44100, 16, true, kChunk, nullptr));
    for (int32_t i = 0; i < 8; ++i) {
        const std::vector<uint32_t> chunk = Frames(i * kChunk, kChunk);
        ASSERT_TRUE(out.Write(chunk.data(), kChunk));
    }
    ASSERT_TRUE(WaitFor([&] { return out.GetPlayPosition() > 0; }, 2000));
    out.Pause();
    const int32_t paused = out.GetPlayPosition();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(out.GetPlayPosition(), paused);
    out.Resume();
    EXPECT_TRUE(WaitFor([&] { return out.GetPlayPosition() > paused; }, 2000));
    out.Reset();
    EXPECT_EQ(out.GetPlayPosition(), 0);
    EXPECT_EQ(out.GetFramesWritten(), 0);
    EXPECT_EQ(out.GetFillState(), KVLSoundFillRule::kIdle);
    std::vector<uint32_t> got(64, 7);
    ASSERT_TRUE(out.ReadPlaying(0, got.data(), 64));
    EXPECT_EQ(got, std::vector<uint32_t>(64, 0));
    const std::vector<uint32_t> chunk = Frames(0, kChunk);
    ASSERT_TRUE(out.Write(chunk.data(), kChunk));
    EXPECT_TRUE(WaitFor([&] { return out.GetPlayPosition() == kChunk; }, 2000));
}

}  // namespace
