// kvl play and kvl record through SDL's disk audio driver: the recording holds the
// input file's samples, the played music reaches the device file whole.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace {

using testsupport::TempDir;

std::string Kvl(const std::string& env, const std::string& args) {
    return "SDL_AUDIODRIVER=disk " + env + " '" + testsupport::BinPath("kvl") + "' " + args + " 2>/dev/null";
}

std::vector<uint8_t> Pcm(size_t frames) {
    std::vector<uint8_t> b;
    const std::vector<uint8_t> noise = testsupport::PatternBytes(frames, 11);
    for (size_t i = 0; i < frames; ++i) {
        const auto l = static_cast<int16_t>(9000 * std::sin(i * 0.043) + (noise[i] - 128) * 4);
        const auto r = static_cast<int16_t>(7000 * std::sin(i * 0.017));
        b.insert(b.end(), {static_cast<uint8_t>(l), static_cast<uint8_t>(l >> 8), static_cast<uint8_t>(r),
                           static_cast<uint8_t>(r >> 8)});
    }
    return b;
}

std::vector<uint8_t> WavFile(const std::vector<uint8_t>& pcm) {
    std::vector<uint8_t> h = testsupport::WavHeader(static_cast<uint32_t>(pcm.size()), 44100, 2);
    h.insert(h.end(), pcm.begin(), pcm.end());
    return h;
}

TEST(KvlRecord, RecordsTheInputFilesSamples) {
    TempDir dir;
    const std::vector<uint8_t> input = Pcm(44100 * 3);
    testsupport::WriteFile(dir.file("in.raw"), input);
    for (const char* name : {"0.dsoundcap", "-1.mcicap"}) {
        std::string out;
        ASSERT_EQ(testsupport::Run(Kvl("SDL_DISKAUDIOFILEIN='" + dir.file("in.raw") + "'",
                                       "record " + std::string(name) + " --seconds 0.5 -o '" + dir.file("rec.wav") + "'"),
                                   &out),
                  0)
            << name;
        EXPECT_NE(out.find("44.1 kHz 16 bits stereo"), std::string::npos) << out;
        const std::vector<uint8_t> wav = testsupport::ReadFile(dir.file("rec.wav"));
        ASSERT_EQ(wav.size(), 44u + 22050 * 4) << name;
        EXPECT_TRUE(std::equal(wav.begin() + 44, wav.end(), input.begin())) << name;
    }
    int status = testsupport::Run(Kvl("", "record song.wav --seconds 1 -o '" + dir.file("x.wav") + "'"));
    EXPECT_EQ(status, 1);
    status = testsupport::Run(Kvl("", "record 0.dsoundcap --seconds 0 -o '" + dir.file("x.wav") + "'"));
    EXPECT_EQ(status, 2);
}

TEST(KvlPlay, PlaysTheWholeSongOnceAndEnds) {
    TempDir dir;
    if (!testsupport::HaveProgram("lame")) {
        ZARNOTH_SKIP_MISSING() << "lame is not available";
    }
    testsupport::WriteFile(dir.file("t.wav"), WavFile(Pcm(44100)));
    ASSERT_EQ(testsupport::Run("lame --quiet '" + dir.file("t.wav") + "' '" + dir.file("t.mp3") + "'"), 0);
    ASSERT_EQ(testsupport::Run("'" + testsupport::BinPath("kvl") + "' audio '" + dir.file("t.mp3") + "' -o '" +
                               dir.file("ref.wav") + "' >/dev/null"),
              0);
    std::string out;
    ASSERT_EQ(testsupport::Run(Kvl("SDL_DISKAUDIOFILE='" + dir.file("out.raw") + "'", "play '" + dir.file("t.mp3") + "'"),
                               &out),
              0);
    EXPECT_NE(out.find("MP3 sound - "), std::string::npos) << out;
    EXPECT_NE(out.find(" / 00:01."), std::string::npos) << out;
    const std::vector<uint8_t> ref = testsupport::ReadFile(dir.file("ref.wav"));
    const std::vector<uint8_t> disk = testsupport::ReadFile(dir.file("out.raw"));
    ASSERT_GT(ref.size(), 44u + 4 * 44100);
    // The device played silence before the music started: find where it begins.
    size_t r = 44;
    while (r < ref.size() && ref[r] == 0) ++r;
    size_t d = 0;
    while (d < disk.size() && disk[d] == 0) ++d;
    ASSERT_LT(r, ref.size());
    ASSERT_GE(d + 44, r);
    const size_t start = d - (r - 44);
    ASSERT_GE(disk.size(), start + ref.size() - 44);
    EXPECT_TRUE(std::equal(ref.begin() + 44, ref.end(), disk.begin() + static_cast<long>(start)));
}

}  // namespace
