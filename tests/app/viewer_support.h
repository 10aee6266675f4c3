// The viewer tests' helpers, shared by the scripted tests and the soak: the live show on
// a private Xvfb with SDL's disk audio, its window's picture taken off the X screen with
// ImageMagick's import and compared with the program's own shot of a tick, and the music
// at the output's play position found in the program's decode of the soundtrack.
#pragma once

#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "show/zrn_showapp.h"
#include "app/demo_show.h"
#include "app_support.h"
#include "platform/xvfb_server.h"
#include "sound/kvl_soundsource.h"
#include "support/test_support.h"

namespace viewertest {

// The window's picture as ImageMagick takes it off the X screen.
inline std::string Grab(const std::string& display, const std::string& path) {
    EXPECT_EQ(testsupport::Run("import -display " + display + " -window root '" + path + "' 2>/dev/null"), 0);
    return path;
}

inline double PSNR(const std::string& a, const std::string& b) {
    std::string out;
    testsupport::Run("compare-im6.q16 -metric PSNR '" + a + "' '" + b + "' null: 2>&1", &out);
    return out.find("inf") != std::string::npos ? 1000.0 : std::atof(out.c_str());
}

// Where the 256 frames at the play position lie in the soundtrack, searched from
// 'from' over 'span' frames; -1 when not found.
inline int64_t FindMusic(ZRNShowController* controller, const std::vector<int16_t>& track, int64_t from, int64_t span) {
    std::vector<uint32_t> now(256);
    KVLSampleBlock block;
    block.frames = 256;
    block.data = now.data();
    controller->GetPlayer()->GetCurrentSamples(&block);
    for (int64_t f = std::max<int64_t>(0, from); f < from + span && (f + 256) * 2 <= static_cast<int64_t>(track.size()); ++f) {
        bool same = true;
        for (int i = 0; i < 256 && same; ++i) {
            const uint32_t v = static_cast<uint16_t>(track[static_cast<size_t>((f + i) * 2)]) |
                               (static_cast<uint32_t>(static_cast<uint16_t>(track[static_cast<size_t>((f + i) * 2 + 1)])) << 16);
            same = v == now[static_cast<size_t>(i)];
        }
        if (same) {
            return f;
        }
    }
    return -1;
}

class ViewerShow : public ::testing::Test {
protected:
    void SetUp() override {
        if (!testsupport::HaveProgram("Xvfb") || !testsupport::HaveProgram("import")) {
            ZARNOTH_SKIP_MISSING() << "Xvfb and ImageMagick are part of the test set-up";
        }
        std::string error;
        ASSERT_TRUE(server.Start("640x480x24", &error)) << error;
        setenv("DISPLAY", server.display().c_str(), 1);
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIOFILE", dir.file("audio.raw").c_str(), 1);
        track = apptest::DecodeSoundtrack();
        ASSERT_FALSE(track.empty());
    }
    // The program's own shot (another process: this one holds the window's context).
    std::string ShotOf(int32_t tick) {
        const std::string path = dir.file("shot_" + std::to_string(tick) + ".png");
        EXPECT_EQ(testsupport::Run("'" + testsupport::BinPath("zarnoth") + "' --shot " + std::to_string(tick) + " -o '" +
                                   path + "' 2>/dev/null"),
                  0);
        return path;
    }
    // A few passes of the loop (a paused one draws nothing new).
    static void Passes(ZRNShowApp& app, int n) {
        for (int i = 0; i < n; ++i) {
            app.Step(nullptr);
        }
    }
    // The music at the play position is the soundtrack at the tick's frame, or up to
    // 'late' frames after it, or (a show that runs) 'early' before it.
    void ExpectMusicAt(ZRNShowController* controller, int32_t tick, int64_t early = 0, int64_t late = 44100 / 4) {
        const int64_t frame = static_cast<int64_t>(tick) * 14 * 44100 / 1000;
        const int64_t found = FindMusic(controller, track, frame - early, early + late);
        EXPECT_GE(found, frame - early) << "tick " << tick;
        EXPECT_LT(found, frame + late) << "tick " << tick << ": the music is where the picture is";
    }

    testsupport::XvfbServer server;
    testsupport::TempDir dir;
    apptest::CatalogueAt at{apptest::GeneratedArchive()};
    std::vector<int16_t> track;
};

}  // namespace viewertest
