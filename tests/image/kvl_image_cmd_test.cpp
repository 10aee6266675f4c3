// kvl image: the description line, the PNG it writes (read back by ImageMagick), and
// its failures.
#include <gtest/gtest.h>

#include "image_test_util.h"
#include "support/test_support.h"

using namespace imagetest;

namespace {

TEST(KvlImage, WritesRGBAPngWithAlphaAsDecoded) {
    ASSERT_TRUE(testsupport::HaveProgram(kConvert));
    testsupport::TempDir dir;
    const int w = 21;
    const int h = 9;
    WritePAM(dir.file("s.pam"), MakePicture(w, h, true, 4), w, h);
    const std::string tga = dir.file("in.tga");
    ASSERT_EQ(testsupport::Run(std::string(kConvert) + " '" + dir.file("s.pam") + "' -compress rle '" + tga + "'"), 0);
    const std::string png = dir.file("out.png");
    std::string out;
    ASSERT_EQ(testsupport::Run("'" + testsupport::BinPath("kvl") + "' image '" + tga + "' -o '" + png + "'", &out), 0);
    EXPECT_EQ(out, "Targa picture - 21x9x32\n");
    int rw = 0;
    int rh = 0;
    const std::vector<uint32_t> written = MagickPixels(png, &rw, &rh);
    const std::vector<uint32_t> reference = MagickPixels(tga, &rw, &rh);
    ASSERT_FALSE(reference.empty());
    EXPECT_EQ(written, reference);
    std::string depth;
    ASSERT_EQ(testsupport::Run(std::string(kConvert) + " '" + png + "' -format '%[channels] %z' info:", &depth), 0);
    EXPECT_EQ(depth, "srgba 8");
}

TEST(KvlImage, ExtensionOptionAndFailures) {
    testsupport::TempDir dir;
    // A 1 x 1 top-down 24-bit Targa stored under a name without a known extension.
    std::vector<uint8_t> tga(18, 0);
    tga[2] = 2;
    tga[12] = 1;
    tga[14] = 1;
    tga[16] = 24;
    tga.insert(tga.end(), {1, 2, 3});
    testsupport::WriteFile(dir.file("pic.dat"), tga);
    const std::string kvl = "'" + testsupport::BinPath("kvl") + "' image ";
    std::string out;
    EXPECT_EQ(testsupport::Run(kvl + "'" + dir.file("pic.dat") + "' --ext tga -o '" + dir.file("a.png") + "'", &out), 0);
    EXPECT_EQ(out, "Targa picture - 1x1x24\n");
    EXPECT_TRUE(testsupport::FileExists(dir.file("a.png")));

    out.clear();
    EXPECT_EQ(testsupport::Run(kvl + "'" + dir.file("pic.dat") + "' -o '" + dir.file("b.png") + "' 2>&1", &out), 1);
    EXPECT_NE(out.find("Unknown file type"), std::string::npos) << out;
    out.clear();
    testsupport::WriteFile(dir.file("bad.bmp"), std::string("BMnot really"));
    EXPECT_EQ(testsupport::Run(kvl + "'" + dir.file("bad.bmp") + "' -o '" + dir.file("c.png") + "' 2>&1", &out), 1);
    EXPECT_NE(out.find("Unable to load file"), std::string::npos) << out;
    EXPECT_FALSE(testsupport::FileExists(dir.file("c.png")));
    EXPECT_EQ(testsupport::Run(kvl + "'" + dir.file("pic.dat") + "' 2>/dev/null"), 2);
}

}  // namespace
