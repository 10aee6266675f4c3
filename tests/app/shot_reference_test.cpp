// Offscreen shots against reference pictures kept with the tests (scaled down to
// 160x120): one tick inside each scene and one inside a tunnel cut, and one inside the
// oscilloscope scene's first 300 frames, which present nothing. The comparison
// is ImageMagick's normalised RMSE on the scaled pictures, so small differences of
// the software rasteriser between machines pass and a wrong scene or state does not.
// A shot draws only the pictures it can show; at a few late ticks its picture must be,
// byte for byte, the one a shot drawing every picture writes, and a tick's picture is
// the same at every picture rate.
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "app/demo_show.h"
#include "show/zrn_showoffline.h"
#include "app_support.h"

namespace {

using testsupport::TempDir;

constexpr double kTolerance = 0.03;

// Normalised RMSE between two pictures of the same size, or -1.
double Distance(const std::string& a, const std::string& b) {
    std::string out;
    testsupport::Run("compare-im6.q16 -metric RMSE '" + a + "' '" + b + "' null: 2>&1", &out);
    const size_t open = out.find('(');
    return open == std::string::npos ? -1.0 : std::atof(out.c_str() + open + 1);
}

// The shot of a tick as the program sees it, scaled down to 160x120 in dir as name.
void Shot(const TempDir& dir, int tick, int fps, const std::string& name) {
    const std::string full = dir.file("full_" + name);
    ASSERT_EQ(testsupport::Run("'" + testsupport::BinPath("zarnoth") + "' --shot " + std::to_string(tick) +
                               " --fps " + std::to_string(fps) + " -o '" + full + "' 2>/dev/null"),
              0)
        << tick;
    ASSERT_EQ(testsupport::Run("convert-im6.q16 '" + full + "' -resize 160x120 -strip '" + dir.file(name) + "'"), 0);
}

TEST(ShotReference, EachSceneMatchesItsReference) {
    ASSERT_TRUE(testsupport::HaveProgram("compare-im6.q16")) << "ImageMagick is part of the test set-up";
    const struct {
        int tick;
        int fps;
        const char* what;
    } cases[] = {
        {100, 60, "Parental picture"},  {1000, 60, "oscilloscope and credits"}, {2000, 20, "room"},
        {3090, 20, "tunnel ride"},      {3300, 20, "tunnel cut 2"},             {5700, 10, "EndSaRace picture"},
    };
    TempDir dir;
    std::string refs[std::size(cases)];
    for (size_t i = 0; i < std::size(cases); ++i) {
        const auto& c = cases[i];
        const std::string name = "shot_" + std::to_string(c.tick) + "_fps" + std::to_string(c.fps) + ".png";
        refs[i] = testsupport::SourcePath("tests/app/reference/" + name);
        Shot(dir, c.tick, c.fps, name);
        const double d = Distance(dir.file(name), refs[i]);
        EXPECT_GE(d, 0.0) << c.what;
        EXPECT_LE(d, kTolerance) << c.what;
    }
    // The references themselves show different things.
    for (size_t i = 0; i + 1 < std::size(cases); ++i) {
        EXPECT_GT(Distance(refs[i], refs[i + 1]), 0.1) << cases[i].what << " / " << cases[i + 1].what;
    }
}

// The oscilloscope scene starts at tick 280 and presents nothing for its first 300
// frames, at ten frame steps a tick about 30 ticks: tick 300 is inside. The screen
// keeps the "Parental" picture meanwhile, and so does the shot.
TEST(ShotReference, OscilloscopeHoldKeepsThePreviousPicture) {
    ASSERT_TRUE(testsupport::HaveProgram("compare-im6.q16")) << "ImageMagick is part of the test set-up";
    TempDir dir;
    Shot(dir, 300, 60, "hold.png");
    const double d = Distance(dir.file("hold.png"), testsupport::SourcePath("tests/app/reference/shot_100_fps60.png"));
    EXPECT_GE(d, 0.0);
    EXPECT_LE(d, kTolerance);
}

// The switch gap after the oscilloscope (its last picture, trace and all, stays on
// screen), the first picture after that gap, the room after its characters have
// switched, and the end of the show.
TEST(ShotReference, DrawingOnlyWhatIsShownGivesTheSamePicture) {
    const apptest::CatalogueAt catalogue(apptest::GeneratedArchive());
    const struct {
        int32_t tick;
        int32_t fps;
    } cases[] = {{1120, 60}, {1121, 30}, {2420, 10}, {5900, 5}};
    TempDir dir;
    for (const auto& c : cases) {
        std::vector<uint8_t> pictures[2];
        for (const bool every : {false, true}) {
            ZRNShowOfflineOptions options;
            options.fps = c.fps;
            options.shotTick = c.tick;
            options.shotPath = dir.file("shot.png");
            options.drawEveryPicture = every;
            ASSERT_EQ(ZRNRunShowOffline(DemoShowDescription(), options), 0) << c.tick;
            pictures[every] = testsupport::ReadFile(options.shotPath);
        }
        EXPECT_FALSE(pictures[0].empty()) << c.tick;
        EXPECT_TRUE(pictures[0] == pictures[1]) << c.tick;
    }
}

// The show steps at one rate whatever the picture rate, so a tick's picture does not
// depend on it: drawing every picture at 10, 30 or 60 pictures a second before the
// tick gives the same bytes. A tick in each scene and two inside the oscilloscope's
// first second (its hold ends about 0.42 s in).
TEST(ShotReference, ATicksPictureIsTheSameAtEveryPictureRate) {
    const apptest::CatalogueAt catalogue(apptest::GeneratedArchive());
    const int32_t ticks[] = {150, 300, 330, 1000, 2000, 3300};
    TempDir dir;
    for (const int32_t tick : ticks) {
        std::vector<uint8_t> first;
        for (const int32_t fps : {10, 30, 60}) {
            ZRNShowOfflineOptions options;
            options.fps = fps;
            options.shotTick = tick;
            options.shotPath = dir.file("shot.png");
            options.drawEveryPicture = true;
            // Small pictures: drawing every one of them stays quick.
            options.size.width = 160;
            options.size.height = 120;
            ASSERT_EQ(ZRNRunShowOffline(DemoShowDescription(), options), 0) << tick;
            const std::vector<uint8_t> picture = testsupport::ReadFile(options.shotPath);
            ASSERT_FALSE(picture.empty()) << tick;
            if (first.empty()) {
                first = picture;
            } else {
                EXPECT_TRUE(picture == first) << "tick " << tick << " at " << fps << " pictures a second";
            }
        }
    }
}

}  // namespace
