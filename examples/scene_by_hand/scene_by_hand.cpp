// scene_by_hand: a Quake II model and its skin read from archive members, and the scene
// that shows it built node by node: camera, material, mesh.
//   scene_by_hand ARCHIVE.pak MODEL_MEMBER SKIN_MEMBER OUT.png   one picture offscreen
//   scene_by_hand ARCHIVE.pak MODEL_MEMBER SKIN_MEMBER           in a window until closed
// Member names are matched exactly, with backslashes: 'md2\ddz\m.md2'.
#include <cstdio>
#include <memory>

#include "zarnoth/core/kvl_filestream.h"
#include "zarnoth/core/kvl_pakstream.h"
#include "zarnoth/image/kvl_pngwriter.h"
#include "zarnoth/scene/readers/zrn_meshreader.h"
#include "zarnoth/scene/zrn_backend.h"
#include "zarnoth/scene/zrn_rendervisitor.h"

// The draw order: clear, the light on an identity modelview, the tree, present.
static void Draw(ZRNRendererInterface& renderer, ZRNNode& root) {
    renderer.Clear(KVLVector3(0.15f, 0.15f, 0.2f));
    renderer.SetMatrixMode(false);
    renderer.LoadMatrix(KVLMatrix34::Identity());
    renderer.SetLight(nullptr, KVLVector3(0.4f, 0.6f, 1.0f), kZRNLightDirectional);
    ZRNRenderVisitor visitor(&renderer);
    root.Accept(visitor);
    renderer.Present();
}

int main(int argc, char** argv) {
    if (argc != 4 && argc != 5) {
        std::fprintf(stderr, "usage: %s ARCHIVE.pak MODEL_MEMBER SKIN_MEMBER [OUT.png]\n", argv[0]);
        return 2;
    }
    const KVLFileStream archive(argv[1]);
    KVLPAKStream modelMember(archive, argv[2]);
    KVLPAKStream skinMember(archive, argv[3]);
    KVLString error;
    // The readers are chosen by the members' extensions; errors name the member.
    const std::unique_ptr<ZRNMesh> mesh = ZRNLoadMesh(modelMember, &error);
    const std::unique_ptr<KVLImage> skin = mesh ? KVLLoadImage(skinMember, nullptr, nullptr, &error) : nullptr;
    if (!skin) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    // The payloads (mesh, picture, material, camera) outlive the nodes that point at them.
    const ZRNMaterial material("skin", kZRNMaterialTexturedSmooth, false, skin.get());
    KVLVector3 lo, hi;
    ZRNMeshBounds(*mesh, {0}, &lo, &hi);
    const KVLVector3 middle = (lo + hi) * 0.5f;
    ZRNCameraTrack camera;
    camera.AddKey(middle + KVLVector3(0.0f, 0.0f, 1.2f * (hi - lo).Length()));
    camera.targets[0] = middle;
    ZRNNodeCamera root(&camera);
    ZRNNode* skinned = root.AddChild(std::make_unique<ZRNNodeMaterial>(&material));
    ZRNNode* model = skinned->AddChild(std::make_unique<ZRNNodeMesh>(mesh.get(), nullptr));
    model->OwnFrameTime() = ZRNFrameTime(0, 0, 0.0f);  // frame 0, exactly

    if (argc == 5) {
        ZRNBackendOffscreenRenderer renderer(320, 240);
        if (!renderer.Initialise()) {
            std::fprintf(stderr, "no offscreen OpenGL: %s\n", renderer.GetError().c_str());
            return 1;
        }
        Draw(renderer, root);
        const std::unique_ptr<KVLImage> picture = renderer.ReadPixels();
        if (!picture || !KVLWritePNG(*picture, argv[4], &error)) {
            std::fprintf(stderr, "%s: %s\n", argv[4], error.c_str());
            return 1;
        }
        return 0;
    }
    ZRNBackendWindow window("scene_by_hand", 640, 480, 32);
    window.SetFullScreen(false);
    ZRNBackendRenderer renderer(&window);  // made before the window opens
    if (!window.Open() || !renderer.Initialise()) {
        std::fprintf(stderr, "no window with OpenGL: %s\n", renderer.GetError().c_str());
        return 1;
    }
    for (;;) {  // PumpMessages is false once the window is closed
        ZRNBackendWaitForMessage();
        if (!ZRNBackendPumpMessages()) {
            break;
        }
        Draw(renderer, root);
    }
    return 0;
}
