// kvl view, run as a program: a screenshot of a real MD2 model (Debian's
// assimp-testmodels) read back from the PNG, the failure and usage cases, and the
// window mode on a private Xvfb ending cleanly when asked to quit.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "image/kvl_pngwriter.h"
#include "platform/xvfb_server.h"
#include "support/test_support.h"

namespace {

constexpr const char* kModel = "/usr/share/assimp/models/MD2/sydney.md2";
constexpr const char* kSkin = "/usr/share/assimp/models/MD2/sydney.bmp";

std::string Kvl(const std::string& args) { return "'" + testsupport::BinPath("kvl") + "' view " + args; }

int RunKvl(const std::string& args) { return testsupport::Run(Kvl(args) + " >/dev/null 2>&1"); }

// Pixels of the picture that differ from its top-left corner (the background).
int Foreground(const KVLImage& image) {
    int n = 0;
    for (int32_t i = 0; i < image.width * image.height; ++i) {
        n += image.pixels[i] != image.pixels[0];
    }
    return n;
}

TEST(KvlView, ScreenshotOfAModelWithItsSkin) {
    if (!testsupport::FileExists(kModel)) {
        ZARNOTH_SKIP_MISSING() << "assimp-testmodels is not installed";
    }
    testsupport::TempDir dir;
    const std::string a = dir.file("a.png");
    const std::string b = dir.file("b.png");
    const std::string red = dir.file("red.png");
    ASSERT_EQ(RunKvl(std::string(kModel) + " " + kSkin + " --screenshot " + a + " --frame 0"), 0);
    ASSERT_EQ(RunKvl(std::string(kModel) + " " + kSkin + " --screenshot " + b + " --frame 100"), 0);
    ASSERT_EQ(RunKvl(std::string(kModel) + " /nonexistent.pcx --screenshot " + red), 0);
    auto first = KVLReadPNG(a.c_str(), nullptr);
    auto other = KVLReadPNG(b.c_str(), nullptr);
    auto plain = KVLReadPNG(red.c_str(), nullptr);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(other, nullptr);
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(first->width, 640);
    EXPECT_EQ(first->height, 480);
    const int covered = Foreground(*first);
    EXPECT_GT(covered, 2000);        // the model is there
    EXPECT_LT(covered, 640 * 240);   // and does not fill the picture
    int changed = 0;
    for (int32_t i = 0; i < 640 * 480; ++i) {
        changed += first->pixels[i] != other->pixels[i];
    }
    EXPECT_GT(changed, 500);  // another pose
    // Without its skin the model is drawn in red plastic: red dominates its pixels.
    int reddish = 0;
    for (int32_t i = 0; i < 640 * 480; ++i) {
        const uint32_t p = plain->pixels[i];
        reddish += p != plain->pixels[0] && ((p >> 16) & 255) > 2 * ((p >> 8) & 255) + 20;
    }
    EXPECT_GT(reddish, covered / 2);
}

TEST(KvlView, FailuresAndUsage) {
    struct Case {
        std::string args;
        int status;
    };
    testsupport::TempDir dir;
    const std::string out = " --screenshot " + dir.file("x.png");
    const Case cases[] = {
        {"", 2},
        {std::string(kModel), 2},
        {std::string(kModel) + " " + kSkin + " --frames 9-3" + out, 2},
        {std::string(kModel) + " " + kSkin + " --frame 3", 2},
        {std::string(kModel) + " " + kSkin + " --bogus", 2},
        {"/nonexistent.md2 " + std::string(kSkin) + out, 1},
        {std::string(kSkin) + " " + kSkin + out, 1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(RunKvl(c.args), c.status) << c.args;
    }
    if (testsupport::FileExists(kModel)) {
        EXPECT_EQ(RunKvl(std::string(kModel) + " " + kSkin + out + " --frame 198"), 1);
        EXPECT_EQ(RunKvl(std::string(kModel) + " " + kSkin + " --frames 190-250"), 1);
    }
}

TEST(KvlView, WindowPlaysUntilAskedToQuit) {
    if (!testsupport::HaveProgram("Xvfb") || !testsupport::FileExists(kModel)) {
        ZARNOTH_SKIP_MISSING() << "Xvfb or assimp-testmodels is not installed";
    }
    testsupport::XvfbServer server;
    std::string error;
    ASSERT_TRUE(server.Start("640x480x16", &error)) << error;
    std::string output;
    // SIGTERM after two seconds of playing: the main loop sees the quit request and
    // the program ends normally. Sanitizer builds do not check this run for leaks:
    // Mesa's driver module is unloaded when SDL closes the X display, and the blocks
    // it still held then look lost (the screenshot runs above are checked).
    const int status = testsupport::Run("DISPLAY=" + server.display() +
                                            " ASAN_OPTIONS=detect_leaks=0 SDL_VIDEODRIVER=x11 timeout --preserve-status -s TERM 2 " +
                                            Kvl(std::string(kModel) + " " + kSkin + " --frames 40-45") + " 2>&1",
                                        &output);
    EXPECT_EQ(status, 0) << output;
    EXPECT_NE(output.find("range chosen: frames 40-45"), std::string::npos) << output;
}

}  // namespace
