// The decoder against libmpg123, an independent decoder, on streams that lame
// (Layer III: MPEG-1, MPEG-2, MPEG-2.5 at each of their rates, mono and stereo, CBR
// and VBR) and twolame (Layer II, MPEG-1 and MPEG-2) make here from synthesised
// music. With full-band rounded output both decoders must agree to full accuracy.
#include <gtest/gtest.h>
#include <mpg123.h>

#include <cstdio>

#include "sound/mpeg/mpeg_test_util.h"
#include "sound/mpeg/music.h"
#include "support/test_support.h"

namespace {

std::vector<int16_t> DecodeWithMpg123(const std::vector<uint8_t>& bytes, int rate, int channels) {
    std::vector<int16_t> pcm;
    mpg123_handle* mh = mpg123_new(nullptr, nullptr);
    if (mh == nullptr) {
        return pcm;
    }
    mpg123_param(mh, MPG123_REMOVE_FLAGS, MPG123_GAPLESS, 0.0);
    mpg123_param(mh, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_IGNORE_INFOFRAME, 0.0);
    mpg123_format_none(mh);
    mpg123_format(mh, rate, channels, MPG123_ENC_SIGNED_16);
    if (mpg123_open_feed(mh) == MPG123_OK && mpg123_feed(mh, bytes.data(), bytes.size()) == MPG123_OK) {
        unsigned char buf[16384];
        for (;;) {
            size_t done = 0;
            const int r = mpg123_read(mh, buf, sizeof(buf), &done);
            const auto* s = reinterpret_cast<const int16_t*>(buf);
            pcm.insert(pcm.end(), s, s + done / 2);
            if (r == MPG123_NEW_FORMAT || (r == MPG123_OK && done > 0)) {
                continue;
            }
            break;
        }
    }
    mpg123_delete(mh);
    return pcm;
}

struct Encoding {
    const char* tool;  // "lame" or "twolame"
    int rate;
    int channels;
    const char* options;
};

class Mpg123Compare : public ::testing::TestWithParam<Encoding> {};

TEST_P(Mpg123Compare, FullAccuracy) {
    const Encoding& e = GetParam();
    if (!testsupport::HaveProgram(e.tool)) {
        ZARNOTH_SKIP_MISSING() << e.tool << " is not installed";
    }
    testsupport::TempDir dir;
    const std::string wav = dir.file("in.wav");
    const std::string mp = dir.file("out.mp");
    mpegtest::WriteWav(wav, e.rate, e.channels, mpegtest::MakeMusic(e.rate, e.channels, 3.0, 5));
    std::string cmd;
    if (std::string(e.tool) == "lame") {
        cmd = std::string("lame --quiet -t ") + e.options + (e.channels == 1 ? " -m m " : " ") + wav + " " + mp;
    } else {
        const bool modeGiven = std::string(e.options).find("-m ") != std::string::npos;
        cmd = std::string("twolame --quiet ") + e.options + (modeGiven ? " " : (e.channels == 1 ? " -m m " : " -m s ")) +
              wav + " " + mp;
    }
    ASSERT_EQ(testsupport::Run(cmd + " 2>&1"), 0) << cmd;
    const auto bytes = testsupport::ReadFile(mp);
    ASSERT_GT(bytes.size(), 1000u);
    const auto ours = mpegtest::DecodeBytes(bytes, true);
    ASSERT_TRUE(ours.opened);
    EXPECT_EQ(ours.rate, e.rate);
    EXPECT_EQ(ours.channels, e.channels);
    const auto theirs = DecodeWithMpg123(bytes, e.rate, e.channels);
    ASSERT_FALSE(theirs.empty());
    // Both decode every frame; allow one frame of difference at the end.
    const size_t frameValues = static_cast<size_t>(ours.pcm.size() / std::max(ours.frames, 1));
    EXPECT_LE(ours.pcm.size() > theirs.size() ? ours.pcm.size() - theirs.size() : theirs.size() - ours.pcm.size(),
              frameValues);
    const size_t n = std::min(ours.pcm.size(), theirs.size());
    const auto diff = mpegtest::Compare(ours.pcm.data(), theirs.data(), n);
    std::printf("%-7s %5d Hz %d ch %-14s frames %4d  rms %.4f LSB  max %d\n", e.tool, e.rate, e.channels, e.options,
                ours.frames, diff.rms, diff.max);
    EXPECT_LT(diff.rms, 0.289);
    EXPECT_LE(diff.max, 2);
}

std::vector<Encoding> Encodings() {
    std::vector<Encoding> list;
    struct Rate {
        int rate;
        const char* cbr;
    };
    static const Rate kLameRates[] = {
        {44100, "-b 128"}, {48000, "-b 160"}, {32000, "-b 96"},                      // MPEG-1
        {22050, "-b 64"},  {24000, "-b 64"},  {16000, "-b 48"},                      // MPEG-2
        {11025, "-b 32"},  {12000, "-b 32"},  {8000, "-b 24"},                       // MPEG-2.5
    };
    for (const Rate& r : kLameRates) {
        for (const int ch : {1, 2}) {
            list.push_back({"lame", r.rate, ch, r.cbr});
            list.push_back({"lame", r.rate, ch, "-V 2"});
        }
    }
    static const Rate kTwolameRates[] = {
        {44100, "-b 192"}, {48000, "-b 256"}, {32000, "-b 160"},
        {22050, "-b 96"},  {24000, "-b 112"}, {16000, "-b 64"},
    };
    for (const Rate& r : kTwolameRates) {
        list.push_back({"twolame", r.rate, 1, r.rate >= 32000 ? "-b 96" : "-b 48"});
        list.push_back({"twolame", r.rate, 2, r.cbr});
    }
    // Joint stereo (subbands above the bound shared by both channels) and CRC words.
    list.push_back({"twolame", 44100, 2, "-b 128 -m j"});
    list.push_back({"twolame", 22050, 2, "-b 64 -m j -p"});
    list.push_back({"lame", 44100, 2, "-b 128 -p"});
    // Free format: the frame length is measured from the repeating headers.
    list.push_back({"lame", 44100, 2, "--freeformat -b 200"});
    list.push_back({"lame", 22050, 1, "--freeformat -b 40"});
    return list;
}

INSTANTIATE_TEST_SUITE_P(Encoders, Mpg123Compare, ::testing::ValuesIn(Encodings()),
                         [](const ::testing::TestParamInfo<Encoding>& info) {
                             std::string n = std::string(info.param.tool) + "_" + std::to_string(info.param.rate) +
                                             "_" + std::to_string(info.param.channels) + "ch_" + info.param.options;
                             for (char& c : n) {
                                 if (!std::isalnum(static_cast<unsigned char>(c))) {
                                     c = '_';
                                 }
                             }
                             return n;
                         });

}  // namespace
