// The renderer and scene graph on a room-like scene: fifteen animated copies of a
// 198-frame MD2 character (the generated ones, with their PCX skins) on a textured
// floor under fog, a camera on a cycle animator, one cycle animator per character,
// all driven by a cycle visitor as the room scene does. Drawn offscreen at 640x480
// with Mesa's software renderer.
//
// Prints the frames per second of whole frames (clear, time walk, render walk, finish)
// and two peers measured in the same run: the same frames drawn through OpenGL
// immediate mode (one call per normal, texture coordinate and vertex, a new blended
// mesh per character per frame: how the renderer drew before it kept client arrays),
// and the same walks against a renderer that does nothing, the CPU time per frame the
// engine spends outside GL (frame blending, normals, tree walks). The immediate-mode
// peer covers one draw pass per mesh, which is all this scene has.
#include <chrono>
#include <cstdio>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include <GL/gl.h>

#include "assets/characters.h"
#include "core/kvl_memorystream.h"
#include "scene/zrn_animator.h"
#include "scene/zrn_builders.h"
#include "scene/internal/zrn_meshdraw.h"
#include "scene/zrn_renderer_offscreen.h"
#include "scene/zrn_rendervisitor.h"

namespace {

constexpr int kCharacters = 15;
constexpr int kFrames = 240;
constexpr int32_t kPeriod = 1750;

// Accepts every call and draws nothing: what is left is the engine's own work. A pose
// is blended and laid out as arrays as the GL renderer does it (the characters' skin
// is drawn by the textured smooth routine).
class NullRenderer : public ZRNRendererInterface {
public:
    bool Initialise() override { return true; }
    void Clear(const KVLVector3&) override {}
    void LookAt(const KVLVector3&, const KVLVector3&) override {}
    void SetMatrixMode(bool) override {}
    void LoadMatrix(const KVLMatrix34&) override {}
    void PushMatrix() override {}
    void PopMatrix() override {}
    void MultMatrix(const KVLMatrix34&) override {}
    void SetLight(const void*, const KVLVector3&, bool) override {}
    void SetFog(const ZRNFogSettings&) override {}
    void ApplyMaterial(const ZRNMaterial&) override {}
    void PushMaterial() override {}
    void PopMaterial() override {}
    void DrawMesh(const ZRNMesh& mesh) override { faces += mesh.GetFaceCount(); }
    void DrawMeshAt(const ZRNMesh& mesh, const ZRNFrameTime& time) override {
        if (mesh.BlendFrame(time, m_pose)) {
            ZRNBuildMeshArrays(ZRNDrawRoutine::TexturedSmooth, mesh, m_pose, m_arrays);
        }
        DrawMesh(mesh);
    }
    bool Present() override { return true; }
    int64_t faces = 0;

private:
    ZRNMeshFrame m_pose;
    ZRNMeshArrays m_arrays;
};

// The GL renderer with its meshes sent through glBegin/glEnd instead of client arrays;
// materials, matrices and everything else as the renderer does them.
class ImmediateRenderer : public ZRNRendererOffscreen {
public:
    using ZRNRendererOffscreen::ZRNRendererOffscreen;
    void DrawMeshAt(const ZRNMesh& mesh, const ZRNFrameTime& time) override {
        const std::unique_ptr<ZRNMesh> pose = mesh.FrameAt(time);
        DrawMesh(pose != nullptr ? *pose : mesh);
    }
    void DrawMesh(const ZRNMesh& mesh) override {
        const ZRNMaterial* current = GetTextureCache()->GetCurrent();
        struct Sink {
            void Normal(const float* n) { glNormal3fv(n); }
            void TexCoord(const float* t) { glTexCoord2fv(t); }
            void Vertex(const float* v) { glVertex3fv(v); }
        } sink;
        glBegin(GL_TRIANGLES);
        ZRNDrawMeshWith(ZRNRoutineForKind(current != nullptr ? current->kind : 3), mesh, sink);
        glEnd();
    }
};

std::shared_ptr<std::vector<uint8_t>> Bytes(const std::vector<AssetMember>& members, const std::string& name) {
    for (const AssetMember& m : members) {
        if (m.name == name) {
            return std::make_shared<std::vector<uint8_t>>(m.bytes);
        }
    }
    return nullptr;
}

double CpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

struct Room {
    ZRNPayloads payloads;
    ZRNCameraTrack camera;
    ZRNFogSettings fog{-20.0f, 20.0f, 0.2f, KVLVector3::White};
    std::vector<std::unique_ptr<ZRNTransformTrack>> tracks;
    std::vector<std::unique_ptr<ZRNCycleAnimator>> animators;
    std::unique_ptr<ZRNNode> root;
    std::unique_ptr<ZRNMaterial> floorMaterial;
    std::unique_ptr<ZRNMesh> floor;

    ZRNNode* Transform(ZRNNode* parent, int32_t type, const KVLVector3& key) {
        tracks.push_back(std::make_unique<ZRNTransformTrack>(type, false));
        tracks.back()->keys.Add(key);
        return parent->AddChild(std::make_unique<ZRNNodeTransformation>(tracks.back().get()));
    }

    bool Build(std::string* error) {
        const std::vector<AssetMember> members = BuildCharacters();
        auto model = Bytes(members, "md2\\ld\\m.md2");
        auto skin = Bytes(members, "md2\\ld\\l1.pcx");
        if (model == nullptr || skin == nullptr) {
            *error = "the generated characters are missing";
            return false;
        }
        KVLMemoryStream modelStream(model);
        KVLMemoryStream skinStream(skin);
        ZRNQuake2Builder builder(&modelStream, &skinStream);
        KVLString text;
        std::unique_ptr<ZRNNode> character = builder.Build(&text);
        payloads.Adopt(builder);
        if (character == nullptr || !text.IsEmpty()) {
            *error = std::string("character: ") + text.c_str();
            return false;
        }
        std::printf("model: %d frames, %d vertices, %d faces\n", payloads.meshes[0]->GetFrameCount(),
                    payloads.meshes[0]->GetVertexCount(), payloads.meshes[0]->GetFaceCount());

        const KVLVector3 eyes[] = {{1.0f, 1.9f, -6.0f}, {-0.3f, -0.3f, 1.0f}, {0.3f, 1.0f, -3.0f}, {0.3f, 1.2f, 0.3f}};
        auto cameraAnimator = std::make_unique<ZRNCycleAnimator>(70, false);
        for (int32_t k = 0; k < 4; ++k) {
            camera.AddKey(eyes[k]);
            camera.targets[k] = {0.0f, 0.0f, 2.0f};
            cameraAnimator->AddKey(k);
        }
        root = std::make_unique<ZRNNodeCamera>(&camera);
        root->SetTimeSource(cameraAnimator.get());
        animators.push_back(std::move(cameraAnimator));

        // A floor of 10 x 10 textured tiles, then fog for everything after it.
        auto tile = KVLImage::Create(64, 64);
        for (int32_t i = 0; i < 64 * 64; ++i) {
            tile->pixels[i] = ((i / 8 + i / 512) & 1) != 0 ? 0xFF806040u : 0xFF402010u;
        }
        floorMaterial = std::make_unique<ZRNMaterial>("Floor", 4, false, tile.get());
        floor = ZRNMesh::MakeGrid(20.0f, 20.0f, 10);
        ZRNNode* down = Transform(root.get(), ZRNTransformTranslate, {0.0f, -0.5f, 0.0f});
        ZRNNode* flat = Transform(down, ZRNTransformRotate, {1.5707964f, 0.0f, 0.0f});
        ZRNNode* floorNode = flat->AddChild(std::make_unique<ZRNNodeMaterial>(floorMaterial.get()));
        floorNode->AddChild(std::make_unique<ZRNNodeMesh>(floor.get(), nullptr));
        root->AddChild(std::make_unique<ZRNNodeFog>(&fog));

        for (int c = 0; c < kCharacters; ++c) {
            auto animator = std::make_unique<ZRNCycleAnimator>(13, true);
            for (int32_t f = 0; f < 40; ++f) {
                animator->AddKey((f + c * 7) % 40);
            }
            const float x = static_cast<float>(c % 5) * 0.5f - 1.0f;
            const float z = static_cast<float>(c / 5) * 1.5f - 1.0f;
            ZRNNode* place = Transform(root.get(), ZRNTransformTranslate, {x, 0.0f, z});
            ZRNNode* turn = Transform(place, ZRNTransformRotate, {0.0f, 1.5707964f, 0.0f});
            std::unique_ptr<ZRNNode> copy = character->Clone();
            ZRNAttachTimeSource(copy.get(), animator.get(), "ZRNNodeMesh", kZRNQuake2MeshNodeName);
            turn->AddChild(std::move(copy));
            animators.push_back(std::move(animator));
        }
        return true;
    }

    void Frame(ZRNRendererInterface& renderer, ZRNCycleVisitor& time, int32_t tick) {
        renderer.Clear(KVLVector3(0.1f, 0.1f, 0.1f));
        renderer.SetMatrixMode(false);
        renderer.LoadMatrix(KVLMatrix34::Identity());
        time.SetTick(tick);
        root->Accept(time);
        ZRNRenderVisitor visitor(&renderer);
        root->Accept(visitor);
        renderer.Present();
    }
};

using Clock = std::chrono::steady_clock;

// Whole frames through the renderer: wall-clock and process CPU seconds.
struct Timing {
    double seconds = 0.0;
    double cpu = 0.0;
};

Timing Run(Room& room, ZRNRendererInterface& renderer, ZRNCycleVisitor& time) {
    const double cpu0 = CpuSeconds();
    const Clock::time_point start = Clock::now();
    for (int i = 0; i < kFrames; ++i) {
        room.Frame(renderer, time, 10 + i * 3);
    }
    return {std::chrono::duration<double>(Clock::now() - start).count(), CpuSeconds() - cpu0};
}

}  // namespace

int main() {
    Room room;
    std::string error;
    if (!room.Build(&error)) {
        std::fprintf(stderr, "bench_render: %s\n", error.c_str());
        return 1;
    }
    ZRNRendererOffscreen gl(640, 480);
    ImmediateRenderer immediate(640, 480);
    for (ZRNRendererOffscreen* r : {static_cast<ZRNRendererOffscreen*>(&gl), static_cast<ZRNRendererOffscreen*>(&immediate)}) {
        if (!r->Initialise()) {
            std::fprintf(stderr, "bench_render: no offscreen OpenGL: %s\n", r->GetError().c_str());
            return 1;
        }
    }
    ZRNCycleVisitor time(0.0f, 70, kPeriod);
    // Warm-up (textures, driver code paths), then the two GL renderers in turn, each
    // made current for its own runs; two rounds so that neither gains from going last.
    Timing arrays;
    Timing old;
    for (int round = 0; round < 2; ++round) {
        for (ZRNRendererOffscreen* r : {static_cast<ZRNRendererOffscreen*>(&gl), static_cast<ZRNRendererOffscreen*>(&immediate)}) {
            r->MakeCurrent();
            for (int i = 0; i < 10; ++i) {
                room.Frame(*r, time, i);
            }
            const Timing t = Run(room, *r, time);
            Timing& sum = r == &gl ? arrays : old;
            sum.seconds += t.seconds / 2;
            sum.cpu += t.cpu / 2;
        }
    }

    NullRenderer null;
    const Timing outside = Run(room, null, time);

    const double frameMs = 1000.0 * arrays.seconds / kFrames;
    const double oldMs = 1000.0 * old.seconds / kFrames;
    const double outsideMs = 1000.0 * outside.seconds / kFrames;
    std::printf("%d characters, %d frames at 640x480 (Mesa software GL, offscreen)\n", kCharacters, kFrames);
    std::printf("whole frames:   %.2f ms per frame, %.1f fps (process CPU %.2f ms per frame, all threads)\n",
                frameMs, 1000.0 / frameMs, 1000.0 * arrays.cpu / kFrames);
    std::printf("immediate mode: %.2f ms per frame, %.1f fps (process CPU %.2f ms per frame, all threads)\n",
                oldMs, 1000.0 / oldMs, 1000.0 * old.cpu / kFrames);
    std::printf("outside GL:     %.3f ms per frame wall, %.3f ms CPU (%lld faces per frame)\n", outsideMs,
                1000.0 * outside.cpu / kFrames, static_cast<long long>(null.faces / kFrames));
    std::printf("ratio whole frame / immediate-mode frame: %.3f\n", frameMs / oldMs);
    std::printf("ratio outside GL / whole frame: %.3f\n", outsideMs / frameMs);
    return 0;
}
