// FrameAt on a model the size of the demo's characters (198 frames, about 500
// vertices): the time per call, what fifteen calls (one per animated character) cost
// in a 60 fps frame, and the ratio against a peer in the same run — a blend of the
// same vertices into a buffer that already exists, without the new mesh and normals.
// Also BlendFrame, what the renderer calls instead: the same pose with its normals into
// lists that are reused from call to call, and FrameAt's ratio to it.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <vector>

#include "scene/zrn_mesh.h"

namespace {

constexpr int kFrames = 198;
constexpr int kRings = 20;
constexpr int kSegments = 25;  // 20 x 25 = 500 vertices, 950 triangles

std::unique_ptr<ZRNMesh> MakeModel() {
    auto mesh = std::make_unique<ZRNMesh>();
    mesh->SetFrameCount(kFrames);
    for (int f = 0; f < kFrames; ++f) {
        const float sway = 0.1f * std::sin(static_cast<float>(f) * 0.2f);
        for (int r = 0; r < kRings; ++r) {
            for (int s = 0; s < kSegments; ++s) {
                const float a = 6.2831853f * static_cast<float>(s) / kSegments;
                const float y = static_cast<float>(r) * 0.1f;
                mesh->AddVertex({std::cos(a) * (0.5f + sway * y), y, std::sin(a) * 0.5f + sway}, f);
            }
        }
    }
    for (int r = 0; r + 1 < kRings; ++r) {
        for (int s = 0; s < kSegments; ++s) {
            const auto a = static_cast<uint16_t>(r * kSegments + s);
            const auto b = static_cast<uint16_t>(r * kSegments + (s + 1) % kSegments);
            const auto c = static_cast<uint16_t>(a + kSegments);
            const auto d = static_cast<uint16_t>(b + kSegments);
            mesh->AddFace(a, b, d, kZRNNoIndex, 0, 0, 0, kZRNNoIndex);
            mesh->AddFace(a, d, c, kZRNNoIndex, 0, 0, 0, kZRNNoIndex);
        }
    }
    mesh->AddTexCoord(0, 0);
    mesh->ComputeNormals();
    return mesh;
}

using Clock = std::chrono::steady_clock;

}  // namespace

int main() {
    const std::unique_ptr<ZRNMesh> model = MakeModel();
    const int calls = 20000;
    std::printf("model: %d frames, %d vertices, %d faces\n", model->GetFrameCount(), model->GetVertexCount(),
                model->GetFaceCount());

    // Warm-up, then the engine's FrameAt.
    double sink = 0;
    for (int i = 0; i < 200; ++i) {
        sink += model->FrameAt({i % kFrames, (i + 1) % kFrames, 0.5f})->GetVertices(0)[0].x;
    }
    const auto t0 = Clock::now();
    for (int i = 0; i < calls; ++i) {
        const ZRNFrameTime t(i % kFrames, (i + 1) % kFrames, static_cast<float>(i % 7) / 7.0f + 0.01f);
        std::unique_ptr<ZRNMesh> m = model->FrameAt(t);
        sink += m->GetVertexNormals(0)[i % 500].y;
    }
    const double engine = std::chrono::duration<double, std::micro>(Clock::now() - t0).count() / calls;

    // Peer: the same blend into a buffer that is reused, no normals, no allocation.
    std::vector<KVLVector3> out(static_cast<size_t>(model->GetVertexCount()));
    const auto t1 = Clock::now();
    for (int i = 0; i < calls; ++i) {
        const auto& a = model->GetVertices(i % kFrames);
        const auto& b = model->GetVertices((i + 1) % kFrames);
        const float f = static_cast<float>(i % 7) / 7.0f + 0.01f;
        for (int j = 0; j < model->GetVertexCount(); ++j) {
            out[static_cast<size_t>(j)] = KVLLerp(a[j], b[j], f);
        }
        sink += out[static_cast<size_t>(i % 500)].y;
    }
    const double peer = std::chrono::duration<double, std::micro>(Clock::now() - t1).count() / calls;

    // BlendFrame: the same pose and normals as FrameAt, into reused lists.
    ZRNMeshFrame pose;
    const auto t2 = Clock::now();
    for (int i = 0; i < calls; ++i) {
        const ZRNFrameTime t(i % kFrames, (i + 1) % kFrames, static_cast<float>(i % 7) / 7.0f + 0.01f);
        if (model->BlendFrame(t, pose)) {
            sink += pose.vertexNormals[i % 500].y;
        }
    }
    const double blend = std::chrono::duration<double, std::micro>(Clock::now() - t2).count() / calls;

    const double budget = 1e6 / 60.0;
    std::printf("FrameAt: %.2f us per call; 15 calls: %.1f us = %.2f%% of a 60 fps frame (%.0f us)\n", engine,
                15 * engine, 100.0 * 15 * engine / budget, budget);
    std::printf("peer (blend into a reused buffer, no normals): %.2f us per call\n", peer);
    std::printf("ratio FrameAt / peer: %.1f\n", engine / peer);
    std::printf("BlendFrame (pose and normals into reused lists): %.2f us per call\n", blend);
    std::printf("ratio FrameAt / BlendFrame: %.2f\n", engine / blend);
    std::printf("(checksum %.3f)\n", sink);
    return 0;
}
