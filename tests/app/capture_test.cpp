// --capture end to end, at one picture per second of show time so that it stays short:
// the numbered pictures of the whole show (640x480 PNG, each scene where the timeline
// puts it) and DIR/sound.wav, a 16-bit stereo WAV file that holds the soundtrack from
// its first sample to the end of the show.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/demo_show.h"
#include "show/zrn_showcontroller.h"
#include "app_support.h"

namespace {

using testsupport::TempDir;

constexpr int kFps = 1;

std::string FrameName(int k) {
    char name[32];
    std::snprintf(name, sizeof name, "frame_%05d.png", k);
    return name;
}

uint32_t U32(const std::vector<uint8_t>& b, size_t at) {
    return static_cast<uint32_t>(b[at]) | static_cast<uint32_t>(b[at + 1]) << 8 |
           static_cast<uint32_t>(b[at + 2]) << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}
uint16_t U16(const std::vector<uint8_t>& b, size_t at) {
    return static_cast<uint16_t>(b[at] | b[at + 1] << 8);
}

double Distance(const std::string& a, const std::string& b) {
    std::string out;
    testsupport::Run("compare-im6.q16 -metric RMSE '" + a + "' '" + b + "' null: 2>&1", &out);
    const size_t open = out.find('(');
    return open == std::string::npos ? -1.0 : std::atof(out.c_str() + open + 1);
}

}  // namespace

TEST(Capture, WritesEveryPictureAndTheSoundtrack) {
    ASSERT_TRUE(testsupport::HaveProgram("identify-im6.q16")) << "ImageMagick is part of the test set-up";
    TempDir dir;
    ASSERT_EQ(testsupport::Run("'" + testsupport::BinPath("zarnoth") + "' --capture '" + dir.path() + "' --fps " +
                               std::to_string(kFps) + " 2>'" + dir.file("err.txt") + "'"),
              0);
    // Standard error is no terminal here: no progress line.
    const std::vector<uint8_t> err = testsupport::ReadFile(dir.file("err.txt"));
    EXPECT_EQ(std::string(err.begin(), err.end()).find("pictures"), std::string::npos);

    // Picture k shows tick k * 1000 / (fps * 14); the last is the first to reach the
    // end of the show.
    const int32_t endTick = DemoShowDescription().GetEndTick();
    int last = 0;
    while (last * 1000 / (kFps * DemoShowDescription().tickMs) < endTick) {
        ++last;
    }
    for (int k = 0; k <= last; ++k) {
        ASSERT_TRUE(testsupport::FileExists(dir.file(FrameName(k)))) << FrameName(k);
    }
    EXPECT_FALSE(testsupport::FileExists(dir.file(FrameName(last + 1))));
    for (int k : {0, last / 2, last}) {
        std::string out;
        ASSERT_EQ(testsupport::Run("identify-im6.q16 -format '%m %wx%h' '" + dir.file(FrameName(k)) + "'", &out), 0);
        EXPECT_EQ(out, "PNG 640x480") << FrameName(k);
    }
    // Two seconds in: the "Parental" picture, as the shot test's reference shows it;
    // thirty seconds in: the room, something else entirely.
    ASSERT_EQ(testsupport::Run("convert-im6.q16 '" + dir.file(FrameName(2)) + "' -resize 160x120 -strip '" +
                               dir.file("small2.png") + "'"),
              0);
    ASSERT_EQ(testsupport::Run("convert-im6.q16 '" + dir.file(FrameName(30)) + "' -resize 160x120 -strip '" +
                               dir.file("small30.png") + "'"),
              0);
    const std::string parental = testsupport::SourcePath("tests/app/reference/shot_100_fps60.png");
    const double same = Distance(dir.file("small2.png"), parental);
    EXPECT_GE(same, 0.0);
    EXPECT_LE(same, 0.03);
    EXPECT_GT(Distance(dir.file("small30.png"), parental), 0.1);

    // The WAV file: PCM, stereo, 16-bit, 44.1 kHz, as long as the show (give or take
    // the one picture past its end), sample for sample the soundtrack from its start.
    const std::vector<uint8_t> wav = testsupport::ReadFile(dir.file("sound.wav"));
    ASSERT_GE(wav.size(), 44u);
    EXPECT_EQ(std::memcmp(wav.data(), "RIFF", 4), 0);
    EXPECT_EQ(std::memcmp(wav.data() + 8, "WAVEfmt ", 8), 0);
    EXPECT_EQ(U16(wav, 20), 1);
    EXPECT_EQ(U16(wav, 22), 2);
    EXPECT_EQ(U32(wav, 24), 44100u);
    EXPECT_EQ(U16(wav, 34), 16);
    ASSERT_EQ(std::memcmp(wav.data() + 36, "data", 4), 0);
    const uint32_t dataBytes = U32(wav, 40);
    ASSERT_EQ(dataBytes, wav.size() - 44);
    EXPECT_EQ(U32(wav, 4), wav.size() - 8);
    const double seconds = dataBytes / 4.0 / 44100.0;
    const double showSeconds = endTick * DemoShowDescription().tickMs / 1000.0;
    EXPECT_GE(seconds, showSeconds);
    EXPECT_LE(seconds, showSeconds + 1.0 / kFps);

    const std::vector<int16_t> expected = apptest::DecodeSoundtrack();
    const size_t samples = dataBytes / 2;
    ASSERT_GE(expected.size(), samples);
    std::vector<int16_t> heard(samples);
    std::memcpy(heard.data(), wav.data() + 44, samples * 2);
    size_t mismatches = 0;
    size_t firstMismatch = SIZE_MAX;
    for (size_t i = 0; i < samples; ++i) {
        if (heard[i] != expected[i]) {
            ++mismatches;
            firstMismatch = std::min(firstMismatch, i);
        }
    }
    EXPECT_EQ(mismatches, 0u) << "of " << samples << " samples, the first at " << firstMismatch;
}

#ifndef _WIN32
// A soundtrack that cannot be written (a full disk, here /dev/full) stops the run with
// status 1, naming the file, where the run had got to and the system's reason.
TEST(Capture, ASoundtrackThatCannotBeWrittenIsNamed) {
    TempDir dir;
    ASSERT_EQ(symlink("/dev/full", dir.file("sound.wav").c_str()), 0);
    const std::string zarnoth = "'" + testsupport::BinPath("zarnoth") + "'";
    const struct {
        std::string options;
        std::string message;
    } cases[] = {
        {" --capture '" + dir.path() + "' --fps 1 --size 64x64",
         "zarnoth: cannot write the soundtrack " + dir.file("sound.wav") +
             " up to picture 1 at tick 71 (0.99 s): No space left on device\n"},
        {" --soundtrack /dev/full --fps 1", "zarnoth: cannot write /dev/full: No space left on device\n"},
    };
    for (const auto& c : cases) {
        std::string err;
        EXPECT_EQ(testsupport::Run(zarnoth + c.options + " 2>&1", &err), 1) << c.options;
        EXPECT_EQ(err, c.message);
    }
}
#endif
