// The renderer core without a graphics API: the visibility test as a function of the
// matrices, and the core's rules (culling, posing, the pass loop, the letterbox, no
// calls without a context) through a device that records its hook calls.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "scene/internal/zrn_renderer_core.h"

namespace {

struct BoxCase {
    const char* what;
    KVLMatrix34 place;  // the modelview
    KVLVector3 lo;
    KVLVector3 hi;
    bool outside;
};

// The camera's projection at aspect 1: at distance d the view reaches d tan 30 deg
// (0.577 d) to each side; the near plane lies at 0.1, the far plane at 100.
TEST(BoxOutsideView, OnlyBoxesWhollyBeyondOnePlaneAreOutside) {
    const KVLMatrix44 projection = KVLMatrix44::Perspective(kZRNFieldOfView, 1.0, kZRNNearPlane, kZRNFarPlane);
    const KVLMatrix34 eye = KVLMatrix34::Identity();
    const BoxCase cases[] = {
        {"inside", eye, {-0.5f, -0.5f, -5.0f}, {0.5f, 0.5f, -4.0f}, false},
        {"beyond the right plane", eye, {10.0f, -0.5f, -5.0f}, {11.0f, 0.5f, -4.0f}, true},
        {"beyond the left plane", eye, {-11.0f, -0.5f, -5.0f}, {-10.0f, 0.5f, -4.0f}, true},
        {"beyond the top plane", eye, {-0.5f, 10.0f, -5.0f}, {0.5f, 11.0f, -4.0f}, true},
        {"beyond the bottom plane", eye, {-0.5f, -11.0f, -5.0f}, {0.5f, -10.0f, -4.0f}, true},
        {"beyond the far plane", eye, {-0.5f, -0.5f, -1000.0f}, {0.5f, 0.5f, -500.0f}, true},
        {"between the eye and the near plane", eye, {-0.01f, -0.01f, -0.05f}, {0.01f, 0.01f, -0.02f}, true},
        {"behind the eye", eye, {-0.5f, -0.5f, 2.0f}, {0.5f, 0.5f, 3.0f}, true},
        {"behind the eye and wide", eye, {-50.0f, -50.0f, 2.0f}, {50.0f, 50.0f, 3.0f}, true},
        {"straddling the right plane", eye, {2.0f, -0.5f, -5.0f}, {4.0f, 0.5f, -4.0f}, false},
        {"corners beyond left and right", eye, {-20.0f, -0.5f, -5.0f}, {20.0f, 0.5f, -4.0f}, false},
        {"straddling the near plane", eye, {-0.5f, -0.5f, -5.0f}, {0.5f, 0.5f, 1.0f}, false},
        {"around the eye", eye, {-1.0f, -1.0f, -1.0f}, {1.0f, 1.0f, 1.0f}, false},
        {"moved out by the modelview", KVLMatrix34::Translation(KVLVector3(100.0f, 0.0f, -5.0f)),
         {-0.5f, -0.5f, -0.5f}, {0.5f, 0.5f, 0.5f}, true},
        {"moved in by the modelview", KVLMatrix34::Translation(KVLVector3(100.0f, 0.0f, -5.0f)),
         {-100.5f, -0.5f, -0.5f}, {-99.5f, 0.5f, 0.5f}, false},
        {"turned behind the eye", KVLMatrix34::RotationY(3.14159265f), {-0.5f, -0.5f, 4.0f}, {0.5f, 0.5f, 5.0f},
         false},
        {"turned away", KVLMatrix34::RotationY(3.14159265f), {-0.5f, -0.5f, -5.0f}, {0.5f, 0.5f, -4.0f}, true},
    };
    for (const BoxCase& c : cases) {
        EXPECT_EQ(ZRNBoxOutsideView(projection, KVLMatrix44::From(c.place), c.lo, c.hi), c.outside) << c.what;
    }
    // Under an identity projection the clip volume is the cube of side 2: a box that
    // the perspective shows (x from 2 to 3 at depth 5) lies beyond x = 1, and one that
    // only touches that plane is never left out.
    const KVLMatrix44 identity = KVLMatrix44::Identity();
    const KVLMatrix44 view = KVLMatrix44::From(eye);
    EXPECT_FALSE(ZRNBoxOutsideView(projection, view, {2.0f, 0.0f, -5.0f}, {2.5f, 0.5f, -4.0f}));
    EXPECT_TRUE(ZRNBoxOutsideView(identity, view, {2.0f, 0.0f, -0.5f}, {2.5f, 0.5f, 0.5f}));
    EXPECT_FALSE(ZRNBoxOutsideView(identity, view, {1.0f, 0.0f, -0.5f}, {2.0f, 0.5f, 0.5f}));
}

TEST(MeshBounds, CoversTheListedFrames) {
    auto grid = ZRNMesh::MakeGrid(2.0f, 2.0f, 2);
    KVLVector3 lo;
    KVLVector3 hi;
    ASSERT_TRUE(ZRNMeshBounds(*grid, {0}, &lo, &hi));
    EXPECT_FLOAT_EQ(lo.y, -1.0f);
    EXPECT_FLOAT_EQ(hi.y, 1.0f);
    // Frame 1 is frame 0 moved up by one cell.
    ASSERT_TRUE(ZRNMeshBounds(*grid, {0, 1}, &lo, &hi));
    EXPECT_FLOAT_EQ(lo.y, -1.0f);
    EXPECT_FLOAT_EQ(hi.y, 2.0f);
    EXPECT_FLOAT_EQ(lo.x, -1.0f);
    EXPECT_FLOAT_EQ(hi.x, 1.0f);
    ZRNMesh empty;
    EXPECT_FALSE(ZRNMeshBounds(empty, {0}, &lo, &hi));
    EXPECT_FALSE(ZRNMeshBounds(*grid, {7}, &lo, &hi));
}

// A renderer whose device records its hook calls as short lines.
class RecordingCore : public ZRNRendererCore {
public:
    RecordingCore() : ZRNRendererCore(nullptr) {}
    bool Present() override { return true; }
    using ZRNRendererCore::ReleaseGL;

    std::vector<std::string> calls;
    // Corners per DrawArrays call.
    std::vector<int32_t> draws;

protected:
    KVLRect PictureRect(int32_t width, int32_t height) const override {
        return KVLLetterbox(width, height, 4, 3);
    }
    bool StartDevice(KVLString*) override { return Log("Start"); }
    void ReleaseDevice(bool inContext) override { Log(inContext ? "Release" : "Forget"); }
    void SetEnabled(Capability c, bool on) override {
        Log(std::string(c == Capability::Scissor ? "Scissor" : c == Capability::Cull ? "Cull" : "Blend") +
            (on ? " on" : " off"));
    }
    void ClearBuffers(const KVLVector3&, bool depth) override { Log(depth ? "Clear all" : "Clear colour"); }
    void SetViewport(const KVLRect& r) override { Log("Viewport " + std::to_string(r.width) + "x" + std::to_string(r.height)); }
    void MatrixChanged(bool projection) override { Log(projection ? "Projection" : "Modelview"); }
    void SetLightState(const KVLVector3&, bool) override { Log("Light"); }
    void SetFogState(const ZRNFogSettings&) override { Log("Fog"); }
    void SetMaterialState(const ZRNMaterialState&) override { Log("Material"); }
    void BindTextureName(uint32_t t) override { Log("Bind " + std::to_string(t)); }
    uint32_t CreateTexture(const KVLImage*, bool shared) override {
        Log(shared ? "Create shared" : "Create");
        return ++m_names;
    }
    void UploadSharedPicture(const KVLImage&) override { Log("Upload"); }
    void DeleteTextures(int32_t count, const uint32_t*) override { Log("Delete " + std::to_string(count)); }
    void DrawArrays(const ZRNMeshArrays& arrays) override {
        draws.push_back(arrays.GetCornerCount());
        Log("Draw");
    }
    void ReadPixelsRGBA(int32_t, int32_t, uint8_t*) override { Log("Read"); }

private:
    bool Log(const std::string& line) {
        calls.push_back(line);
        return true;
    }
    uint32_t m_names = 0;
};

TEST(RendererCore, NoHookIsCalledWithoutAContext) {
    RecordingCore r;
    auto grid = ZRNMesh::MakeGrid(1.0f, 1.0f, 1);
    r.OnResize(40, 30);
    r.Clear(KVLVector3::White);
    r.SetMatrixMode(true);
    r.LoadMatrix(KVLMatrix34::Identity());
    r.PushMatrix();
    r.SetLight(nullptr, KVLVector3::UnitZ, true);
    r.SetFog(ZRNFogSettings());
    r.ApplyMaterial(ZRNRedPlastic());
    r.PushMaterial();
    r.PopMaterial();
    r.DrawMesh(*grid);
    r.DrawMeshAt(*grid, ZRNFrameTime(0, 1, 0.5f));
    r.ResetTextures();
    EXPECT_TRUE(r.calls.empty());
    EXPECT_EQ(r.GetTextureCache(), nullptr);
    ASSERT_TRUE(r.Initialise());
    r.ReleaseGL();
    r.calls.clear();
    r.DrawMesh(*grid);
    r.Clear(KVLVector3::White);
    EXPECT_TRUE(r.calls.empty());
}

// A size heard before the context is applied at Initialise; the letterbox bars are
// cleared with the scissor off.
TEST(RendererCore, LetterboxedClearKeepsTheBarsBlack) {
    RecordingCore r;
    r.OnResize(80, 30);
    ASSERT_TRUE(r.Initialise());
    r.calls.clear();
    r.OnResize(80, 30);
    EXPECT_EQ(r.calls, (std::vector<std::string>{"Viewport 40x30", "Scissor on", "Projection"}));
    r.calls.clear();
    r.Clear(KVLVector3::White);
    EXPECT_EQ(r.calls, (std::vector<std::string>{"Scissor off", "Clear colour", "Scissor on", "Clear all"}));
    r.OnResize(40, 30);
    r.calls.clear();
    r.Clear(KVLVector3::White);
    EXPECT_EQ(r.calls, (std::vector<std::string>{"Clear all"}));
}

// A mesh wholly outside the view draws nothing, but its passes still leave their
// material state; a pose is culled by the frames it blends, not by frame 0 alone.
TEST(RendererCore, MeshesOutsideTheViewAreNotDrawn) {
    RecordingCore r;
    ASSERT_TRUE(r.Initialise());
    auto grid = ZRNMesh::MakeGrid(2.0f, 2.0f, 1);
    auto picture = KVLImage::Create(2, 2);
    ZRNMaterial under("under", 4, false, picture.get());
    ZRNMaterial over("over", 6, false, picture.get());
    r.ApplyMaterial(under);
    r.PushMaterial();
    r.ApplyMaterial(over);
    r.PushMaterial();
    struct Case {
        const char* what;
        KVLVector3 at;
        bool posed;
        size_t draws;
    };
    const Case cases[] = {
        {"in front", {0.0f, 0.0f, -5.0f}, false, 2},
        {"far to the right", {50.0f, 0.0f, -5.0f}, false, 0},
        {"behind", {0.0f, 0.0f, 5.0f}, false, 0},
        {"posed, in front", {0.0f, 0.0f, -5.0f}, true, 2},
        // Frame 0 lies below the view, frame 1 (up by 2) reaches into it.
        {"posed up into the view", {0.0f, -4.5f, -5.0f}, true, 2},
        {"posed, below the view", {0.0f, -40.0f, -5.0f}, true, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        r.LoadMatrix(KVLMatrix34::Translation(c.at));
        r.draws.clear();
        r.calls.clear();
        if (c.posed) {
            r.DrawMeshAt(*grid, ZRNFrameTime(0, 1, 0.75f));
        } else {
            r.DrawMesh(*grid);
        }
        EXPECT_EQ(r.draws.size(), c.draws);
        // Two passes: the second one's material is applied whether drawn or not.
        EXPECT_EQ(std::count(r.calls.begin(), r.calls.end(), "Material"), 1);
        EXPECT_EQ(r.GetTextureCache()->GetCurrent(), &under);
        r.ApplyMaterial(over);
    }
}

// The matrix stacks hold 32 entries, as OpenGL's; pops past the bottom are ignored,
// and every change of a top reaches the device.
TEST(RendererCore, MatrixStacksAreBounded) {
    RecordingCore r;
    ASSERT_TRUE(r.Initialise());
    r.LoadMatrix(KVLMatrix34::Translation(KVLVector3(1.0f, 0.0f, 0.0f)));
    for (int i = 0; i < 40; ++i) {
        r.PushMatrix();
        r.MultMatrix(KVLMatrix34::Translation(KVLVector3(1.0f, 0.0f, 0.0f)));
    }
    // 31 pushes took; the top was moved 40 times.
    EXPECT_FLOAT_EQ(r.GetModelView().m[12], 41.0f);
    for (int i = 0; i < 30; ++i) {
        r.PopMatrix();
    }
    EXPECT_FLOAT_EQ(r.GetModelView().m[12], 2.0f);
    r.PopMatrix();
    EXPECT_FLOAT_EQ(r.GetModelView().m[12], 1.0f);
    r.calls.clear();
    r.PopMatrix();
    EXPECT_TRUE(r.calls.empty());
    EXPECT_FLOAT_EQ(r.GetModelView().m[12], 1.0f);
}

// Cached textures are made once per name and deleted with the cache; shared pictures
// go into one texture of their own, uploaded at every application.
TEST(RendererCore, TexturesByNameAndTheSharedPicture) {
    RecordingCore r;
    ASSERT_TRUE(r.Initialise());
    auto picture = KVLImage::Create(2, 2);
    ZRNMaterial a("a", 4, false, picture.get());
    ZRNMaterial again("a", 5, false, picture.get());
    ZRNMaterial film("film", 4, false, picture.get(), true);
    r.calls.clear();
    r.ApplyMaterial(a);
    r.ApplyMaterial(again);
    r.ApplyMaterial(film);
    r.ApplyMaterial(film);
    const std::vector<std::string> expected = {
        "Cull off", "Blend off", "Material", "Create",       "Cull off", "Blend off", "Material", "Bind 1",
        "Cull off", "Blend off", "Material", "Create shared", "Upload",  "Cull off",  "Blend off", "Material",
        "Bind 2",   "Upload"};
    EXPECT_EQ(r.calls, expected);
    r.calls.clear();
    r.ResetTextures();
    r.ReleaseGL();
    EXPECT_EQ(r.calls, (std::vector<std::string>{"Delete 1", "Delete 1", "Release"}));
}

}  // namespace
