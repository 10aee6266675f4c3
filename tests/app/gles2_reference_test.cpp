// The show drawn by the shader renderer (OpenGL ES 2) and by the OpenGL 1.1 renderer
// at once, compared at the reference ticks of the shot tests: each picture pair must
// be within PSNR 35 dB.
//
// One run of the show feeds both: a tee renderer passes every call to the two
// offscreen renderers (each made current for its share), so that both draw exactly
// the same frames. Show time advances picture by picture like the program's offline
// path through the show's step clock (ticks delivered, the sound's WAV output moved along,
// the steps between the pictures run without drawing); a picture is the one presented
// at the reference tick.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/demo_show.h"
#include "show/zrn_showstepper.h"
#include "app_support.h"
#include "support/picture_metrics.h"
#include "scene/zrn_renderer_gles2_offscreen.h"
#include "scene/zrn_renderer_offscreen.h"

namespace {

constexpr int32_t kWidth = 640;
constexpr int32_t kHeight = 480;

// Every call goes to the OpenGL 1.1 renderer, then to the shader renderer.
class TeeRenderer : public ZRNRendererInterface {
public:
    bool Initialise() override { return gl.Initialise() && es.Initialise(); }
    void Clear(const KVLVector3& colour) override {
        Both([&](ZRNRendererInterface& r) { r.Clear(colour); });
    }
    void LookAt(const KVLVector3& eye, const KVLVector3& centre) override {
        Both([&](ZRNRendererInterface& r) { r.LookAt(eye, centre); });
    }
    void SetMatrixMode(bool projection) override {
        Both([&](ZRNRendererInterface& r) { r.SetMatrixMode(projection); });
    }
    void LoadMatrix(const KVLMatrix34& m) override {
        Both([&](ZRNRendererInterface& r) { r.LoadMatrix(m); });
    }
    void PushMatrix() override {
        Both([](ZRNRendererInterface& r) { r.PushMatrix(); });
    }
    void PopMatrix() override {
        Both([](ZRNRendererInterface& r) { r.PopMatrix(); });
    }
    void MultMatrix(const KVLMatrix34& m) override {
        Both([&](ZRNRendererInterface& r) { r.MultMatrix(m); });
    }
    void SetLight(const void* tag, const KVLVector3& vector, bool positional) override {
        Both([&](ZRNRendererInterface& r) { r.SetLight(tag, vector, positional); });
    }
    void SetFog(const ZRNFogSettings& fog) override {
        Both([&](ZRNRendererInterface& r) { r.SetFog(fog); });
    }
    void ApplyMaterial(const ZRNMaterial& material) override {
        Both([&](ZRNRendererInterface& r) { r.ApplyMaterial(material); });
    }
    void PushMaterial() override {
        Both([](ZRNRendererInterface& r) { r.PushMaterial(); });
    }
    void PopMaterial() override {
        Both([](ZRNRendererInterface& r) { r.PopMaterial(); });
    }
    void DrawMesh(const ZRNMesh& mesh) override {
        Both([&](ZRNRendererInterface& r) { r.DrawMesh(mesh); });
    }
    void ResetTextures() override {
        Both([](ZRNRendererInterface& r) { r.ResetTextures(); });
    }
    bool Present() override {
        const bool ok = gl.MakeCurrent() && gl.Present();
        if (keep) {
            shownGL = gl.ReadPixels();
        }
        if (!es.MakeCurrent() || !es.Present()) {
            return false;
        }
        if (keep) {
            shownES = es.ReadPixels();
        }
        return ok;
    }

    ZRNRendererOffscreen gl{kWidth, kHeight};
    ZRNRendererGLES2Offscreen es{kWidth, kHeight};
    // Present reads both pictures back while keep is set (only the frames compared).
    bool keep = false;
    std::unique_ptr<KVLImage> shownGL;
    std::unique_ptr<KVLImage> shownES;

private:
    template <class F>
    void Both(F&& f) {
        gl.MakeCurrent();
        f(gl);
        es.MakeCurrent();
        f(es);
    }
};

// Number of distinct colours, up to a limit: a picture of some content has many.
size_t Colours(const KVLImage& image, size_t limit) {
    std::vector<uint32_t> seen;
    const size_t n = static_cast<size_t>(image.width) * image.height;
    for (size_t i = 0; i < n && seen.size() < limit; ++i) {
        if (std::find(seen.begin(), seen.end(), image.pixels[i]) == seen.end()) {
            seen.push_back(image.pixels[i]);
        }
    }
    return seen.size();
}

TEST(GLES2Reference, EachReferenceTickMatchesTheOpenGLRenderer) {
    const struct {
        int32_t tick;
        const char* what;
    } cases[] = {
        {100, "Parental picture"}, {1000, "oscilloscope and credits"}, {2000, "room"},
        {3090, "tunnel ride"},     {3300, "tunnel cut 2"},             {5700, "EndSaRace picture"},
    };
    testsupport::TempDir dir;
    apptest::CatalogueAt at{apptest::GeneratedArchive()};
    TeeRenderer tee;
    DemoShowController controller(nullptr, &tee, nullptr);
    controller.UseWAVOutput(KVLString(dir.file("sound.wav").c_str()));
    if (!controller.Init()) {
        ZARNOTH_SKIP_MISSING() << "no offscreen OpenGL or OpenGL ES 2: " << tee.gl.GetError().c_str() << " "
                               << tee.es.GetError().c_str();
    }
    KVLSoundOutputWAV* wav = controller.GetWAVOutput();
    ASSERT_NE(wav, nullptr);
    const int64_t rate = wav->GetSampleRate();
    int64_t played = 0;
    ZRNShowStepper stepper(&controller);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const int64_t target = ZRNShowTime::StepOfTick(c.tick);
        // The steps of the picture and its leads are drawn; every reference tick's
        // step presents a picture.
        const auto draw = [&](int64_t s) {
            tee.keep = s == target;
            return s >= target - ZRNShowStepper::kLeadSteps;
        };
        // The music's output follows the show clock, so that the oscilloscope has
        // something to read; what it shows is the same for both renderers.
        const auto follow = [&](int64_t s) {
            const int64_t heard = DemoTimeline().GetTime().SoundFrameOfStep(s, rate);
            if (heard > played && !wav->Advance(static_cast<int32_t>(heard - played))) {
                return false;
            }
            played = std::max(played, heard);
            return true;
        };
        tee.shownGL.reset();
        tee.shownES.reset();
        const bool reached = stepper.RunTo(target, draw, follow);
        ASSERT_TRUE(reached);
        tee.keep = false;
        ASSERT_TRUE(tee.shownGL && tee.shownES);
        EXPECT_GE(Colours(*tee.shownGL, 16), 16u) << "the picture shows something";
        const double psnr = testsupport::PSNR(*tee.shownGL, *tee.shownES);
        std::printf("tick %d (%s): PSNR %.1f dB\n", c.tick, c.what, psnr);
        EXPECT_GE(psnr, 35.0);
    }
    controller.OnDestroying();
}

}  // namespace
