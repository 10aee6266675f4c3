// The decoder against the ISO compliance streams and their reference decodes: every
// stream must reach full accuracy with full-band, rounded output.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>

#include "sound/mpeg/mpeg_test_util.h"
#include "support/test_support.h"

namespace {

struct Stream {
    const char* name;
    int layer;
    size_t skipValues;  // leading values of our output with no counterpart in the reference
};

const Stream kStreams[] = {
    {"l1-fl1", 1, 0},          {"l1-fl2", 1, 0},          {"l1-fl3", 1, 0},
    {"l1-fl4", 1, 0},          {"l1-fl5", 1, 0},          {"l1-fl6", 1, 0},
    {"l2-fl10", 2, 0},         {"l2-fl11", 2, 0},         {"l2-fl12", 2, 0},
    {"l2-fl13", 2, 0},         {"l2-fl14", 2, 0},         {"l2-test32", 2, 0},
    {"l3-compl", 3, 0},        {"l3-he_32khz", 3, 0},     {"l3-he_44khz", 3, 0},
    {"l3-he_48khz", 3, 0},     {"l3-hecommon", 3, 0},     {"l3-si", 3, 0},
    {"l3-si_block", 3, 0},     {"l3-sin1k0db", 3, 4608},  {"M2L3_bitrate_16_all", 3, 0},
    {"M2L3_bitrate_22_all", 3, 0}, {"M2L3_bitrate_24_all", 3, 0}, {"M2L3_compl24", 3, 0},
};

class Compliance : public ::testing::TestWithParam<Stream> {};

TEST_P(Compliance, FullAccuracy) {
    const Stream& s = GetParam();
    const std::string base = testsupport::SourcePath(std::string("tests/sound/mpeg/vectors/") + s.name);
    const auto bits = testsupport::ReadFile(base + ".bit");
    const auto ref = mpegtest::ToSamples(testsupport::ReadFile(base + ".pcm"));
    ASSERT_FALSE(bits.empty());
    ASSERT_FALSE(ref.empty());
    for (const bool fullBand : {true, false}) {
        const auto d = mpegtest::DecodeBytes(bits, fullBand);
        ASSERT_TRUE(d.opened);
        ASSERT_GT(d.pcm.size(), s.skipValues);
        const size_t ours = d.pcm.size() - s.skipValues;
        if (s.layer < 3) {
            // The references are padded past the end of the stream.
            EXPECT_LE(ours, ref.size());
        } else {
            // The references may leave out the last frame or two.
            EXPECT_LE(ref.size(), ours);
            EXPECT_LE(ours - std::min(ours, ref.size()), 2304u);
        }
        const size_t n = std::min(ours, ref.size());
        const auto diff = mpegtest::Compare(d.pcm.data() + s.skipValues, ref.data(), n);
        std::printf("%-22s %s  values %8zu (ref %8zu)  rms %.4f LSB  max %d\n", s.name,
                    fullBand ? "full-band" : "default  ", n, ref.size(), diff.rms, diff.max);
        if (fullBand) {
            EXPECT_LT(diff.rms, 0.289) << s.name;
            EXPECT_LE(diff.max, 2) << s.name;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Streams, Compliance, ::testing::ValuesIn(kStreams),
                         [](const ::testing::TestParamInfo<Stream>& info) {
                             std::string n = info.param.name;
                             for (char& c : n) {
                                 if (!std::isalnum(static_cast<unsigned char>(c))) {
                                     c = '_';
                                 }
                             }
                             return n;
                         });

}  // namespace
