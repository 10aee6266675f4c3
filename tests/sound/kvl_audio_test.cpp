// kvl audio: the WAV it writes, the lines it prints, its failures.
#include <gtest/gtest.h>

#include <cstring>

#include "sound/mpeg/mpeg_test_util.h"
#include "support/test_support.h"

namespace {

uint32_t U32(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

TEST(KvlAudio, WritesWavAndPrintsTheTag) {
    if (!testsupport::HavePosixShell()) {
        GTEST_SKIP() << testsupport::kNoPosixShell;
    }
    testsupport::TempDir dir;
    const std::string mp3 = dir.file("song.bin");  // any file name
    auto bytes = testsupport::ReadFile(testsupport::SourcePath("tests/sound/mpeg/vectors/l3-sin1k0db.bit"));
    std::vector<uint8_t> tag(128, 0);
    std::memcpy(tag.data(), "TAG", 3);
    std::memcpy(&tag[33], "Artist", 6);
    std::memcpy(&tag[63], "Album", 5);
    std::memcpy(&tag[93], "1997", 4);
    std::memcpy(&tag[97], "Note", 4);
    tag[127] = 17;
    bytes.insert(bytes.end(), tag.begin(), tag.end());
    testsupport::WriteFile(mp3, bytes);
    const std::string wav = dir.file("out.wav");
    std::string output;
    ASSERT_EQ(testsupport::Run(testsupport::BinPath("kvl") + " audio " + mp3 + " -o " + wav + " --full-band", &output), 0);
    EXPECT_EQ(output,
              "MP3 sound - 128.0 kbps 44.1 kHz stereo\nartist: Artist\nalbum: Album\nyear: 1997\ncomment: Note\n"
              "genre: Rock\n");
    const auto w = testsupport::ReadFile(wav);
    ASSERT_GT(w.size(), 44u);
    EXPECT_EQ(std::memcmp(w.data(), "RIFF", 4), 0);
    EXPECT_EQ(U32(w, 4), w.size() - 8);
    EXPECT_EQ(U32(w, 24), 44100u);
    EXPECT_EQ(w[22], 2);
    EXPECT_EQ(w[34], 16);
    EXPECT_EQ(U32(w, 40), w.size() - 44);
    // The samples: the reference decode, after the two frames whose main data lies
    // before the stream.
    const auto ref = mpegtest::ToSamples(
        testsupport::ReadFile(testsupport::SourcePath("tests/sound/mpeg/vectors/l3-sin1k0db.pcm")));
    const auto pcm = mpegtest::ToSamples(std::vector<uint8_t>(w.begin() + 44, w.end()));
    ASSERT_GE(pcm.size(), ref.size() + 4608);
    const auto diff = mpegtest::Compare(pcm.data() + 4608, ref.data(), ref.size());
    EXPECT_LT(diff.rms, 0.289);
    EXPECT_LE(diff.max, 2);
}

TEST(KvlAudio, Failures) {
    if (!testsupport::HavePosixShell()) {
        GTEST_SKIP() << testsupport::kNoPosixShell;
    }
    testsupport::TempDir dir;
    const std::string junk = dir.file("junk.mp3");
    testsupport::WriteFile(junk, std::string(1000, 'x'));
    const std::string kvl = testsupport::BinPath("kvl");
    std::string output;
    EXPECT_EQ(testsupport::Run(kvl + " audio " + junk + " -o " + dir.file("a.wav") + " 2>&1", &output), 1);
    EXPECT_NE(output.find("Not a MP3 file"), std::string::npos) << output;
    EXPECT_EQ(testsupport::Run(kvl + " audio " + dir.file("missing.mp3") + " -o " + dir.file("b.wav") + " 2>&1", &output), 1);
    EXPECT_NE(output.find("Unable to open file"), std::string::npos) << output;
    EXPECT_EQ(testsupport::Run(kvl + " audio " + junk + " 2>/dev/null"), 2);
}

}  // namespace
