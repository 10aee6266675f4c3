// The JPEG reader against libjpeg-turbo's own djpeg on files ImageMagick writes.
#include <gtest/gtest.h>

#include "core/kvl_filestream.h"
#include "image/kvl_imagereader_jpg.h"
#include "image_test_util.h"
#include "support/test_support.h"

using namespace imagetest;

namespace {

struct JpegCase {
    const char* name;
    const char* options;
    int width;
    int height;
    bool grey;
    size_t cutTo;  // 0: whole file; else keep only the first cutTo bytes
};

const JpegCase kCases[] = {
    {"colour", "-quality 85", 640, 480, false, 0},
    {"colour_odd_size_subsampled", "-quality 70 -sampling-factor 2x2", 53, 29, false, 0},
    {"grey", "-colorspace gray -quality 90", 64, 48, true, 0},
    {"progressive", "-interlace JPEG -quality 80", 120, 90, false, 0},
    {"truncated_scan", "-quality 85", 200, 150, false, 3000},
};

class JpegCompare : public ::testing::TestWithParam<JpegCase> {};

TEST_P(JpegCompare, MatchesDjpeg) {
    if (!testsupport::HavePosixShell()) {
        GTEST_SKIP() << testsupport::kNoPosixShell;
    }
    ASSERT_TRUE(testsupport::HaveProgram(kConvert));
    ASSERT_TRUE(testsupport::HaveProgram("djpeg"));
    const JpegCase& c = GetParam();
    testsupport::TempDir dir;
    WritePAM(dir.file("s.pam"), MakePicture(c.width, c.height, false, 11), c.width, c.height);
    const std::string path = dir.file("p.jpg");
    ASSERT_EQ(testsupport::Run(std::string(kConvert) + " '" + dir.file("s.pam") + "' -alpha off " + c.options +
                               " '" + path + "'"),
              0);
    if (c.cutTo > 0) {
        std::vector<uint8_t> bytes = testsupport::ReadFile(path);
        ASSERT_GT(bytes.size(), c.cutTo);
        bytes.resize(c.cutTo);
        testsupport::WriteFile(path, bytes);
    }
    int w = 0;
    int h = 0;
    const std::vector<uint32_t> reference = DjpegPixels(path, &w, &h);
    ASSERT_FALSE(reference.empty());
    Loaded got = LoadPath(path);
    ASSERT_TRUE(got.image) << got.text;
    EXPECT_EQ(got.text, "JPEG picture - " + std::to_string(c.width) + "x" + std::to_string(c.height) + "x24");
    EXPECT_EQ(got.format, kKVLPixelFormatXRGB8888);
    ASSERT_EQ(got.image->width, w);
    ASSERT_EQ(got.image->height, h);
    const std::vector<uint32_t> ours = Pixels(*got.image);
    EXPECT_EQ(ours, reference);
    if (c.grey) {
        for (uint32_t p : ours) {
            ASSERT_EQ(p >> 24, 255u);
            ASSERT_EQ((p >> 16) & 255, p & 255);
            ASSERT_EQ((p >> 8) & 255, p & 255);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Files, JpegCompare, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<JpegCase>& info) { return std::string(info.param.name); });

TEST(Jpeg, BadInputFails) {
    const std::vector<std::vector<uint8_t>> inputs = {
        {},                                        // empty member
        {0xFF, 0xD8},                              // start of image and nothing else
        {'n', 'o', 't', ' ', 'a', ' ', 'j', 'p'},  // no markers at all
        {0xFF, 0xD8, 0xFF, 0xC0, 0x00, 0x02, 0xFF, 0xD9},  // frame header too short
    };
    for (const auto& bytes : inputs) {
        Loaded got = LoadBytes(bytes, "jpeg");
        EXPECT_FALSE(got.image);
        EXPECT_EQ(got.text, "Unable to load file");
        EXPECT_EQ(got.format, kKVLPixelFormatNone);
    }
}

TEST(Jpeg, CmykRowsStayOpaqueBlack) {
    if (!testsupport::HavePosixShell()) {
        GTEST_SKIP() << testsupport::kNoPosixShell;
    }
    ASSERT_TRUE(testsupport::HaveProgram(kConvert));
    testsupport::TempDir dir;
    WritePAM(dir.file("s.pam"), MakePicture(16, 8, false, 2), 16, 8);
    const std::string path = dir.file("cmyk.jpg");
    ASSERT_EQ(testsupport::Run(std::string(kConvert) + " '" + dir.file("s.pam") + "' -alpha off -colorspace CMYK '" +
                               path + "'"),
              0);
    Loaded got = LoadPath(path);
    ASSERT_TRUE(got.image);
    EXPECT_EQ(got.text, "JPEG picture - 16x8x24");
    EXPECT_EQ(Pixels(*got.image), std::vector<uint32_t>(16 * 8, 0xFF000000u));
}

TEST(Jpeg, StreamThatDoesNotOpenFails) {
    KVLImageReaderJPG reader;
    KVLPixelFormat format = kKVLPixelFormatRGB565;
    KVLString text = "untouched";
    EXPECT_FALSE(reader.ReadFile("/nonexistent/file.jpg", &format, nullptr, &text));
    EXPECT_EQ(text, "Unable to load file");
    EXPECT_EQ(format, kKVLPixelFormatNone);
}

}  // namespace
