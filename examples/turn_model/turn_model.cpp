// turn_model: loads an MD2 model with its skin and turns it.
//   turn_model MODEL.md2 SKIN            in a window until it is closed
//   turn_model MODEL.md2 SKIN --frames N offscreen: N pictures, turn_0.png ...
// The offscreen way needs no display (EGL on Mesa's surfaceless platform).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "zarnoth/image/kvl_pngwriter.h"
#include "zarnoth/scene/zrn_backend.h"
#include "zarnoth/scene/zrn_modelpreview.h"

static int Offscreen(ZRNModelPreview& scene, int count) {
    ZRNBackendOffscreenRenderer renderer(320, 240);
    if (!renderer.Initialise()) {
        std::fprintf(stderr, "no offscreen OpenGL: %s\n", renderer.GetError().c_str());
        return 1;
    }
    for (int i = 0; i < count; ++i) {
        scene.SetPose(0, 6.2831853f * float(i) / float(count));  // one whole turn
        scene.Draw(renderer);
        renderer.Present();
        const std::unique_ptr<KVLImage> picture = renderer.ReadPixels();
        const std::string name = "turn_" + std::to_string(i) + ".png";
        KVLString error;
        if (picture == nullptr || !KVLWritePNG(*picture, name.c_str(), &error)) {
            std::fprintf(stderr, "%s: %s\n", name.c_str(), error.c_str());
            return 1;
        }
        std::printf("%s\n", name.c_str());
    }
    return 0;
}

static int InWindow(ZRNModelPreview& scene) {
    ZRNBackendWindow window("turn_model", 640, 480, 32);
    window.SetFullScreen(false);
    ZRNBackendRenderer renderer(&window);  // draws into the window; made before Open
    if (!window.Open() || !renderer.Initialise()) {
        std::fprintf(stderr, "no window with OpenGL: %s %s\n", ZRNBackendLastError().c_str(),
                     renderer.GetError().c_str());
        return 1;
    }
    const auto start = std::chrono::steady_clock::now();
    // One pass per message round; PumpMessages is false once the window is closed.
    for (;;) {
        ZRNBackendWaitForMessage();
        if (!ZRNBackendPumpMessages()) {
            break;
        }
        const std::chrono::duration<float> seconds = std::chrono::steady_clock::now() - start;
        scene.SetPose(0, seconds.count());  // a radian a second
        scene.Draw(renderer);
        renderer.Present();
    }
    return 0;
}

int main(int argc, char** argv) {
    const bool offscreen = argc == 5 && std::strcmp(argv[3], "--frames") == 0;
    if (argc != 3 && !offscreen) {
        std::fprintf(stderr, "usage: %s MODEL.md2 SKIN [--frames N]\n", argv[0]);
        return 2;
    }
    ZRNModelPreview scene;  // the model's tree, a camera and a turning transformation
    KVLString error;
    if (!scene.Build(nullptr, nullptr, KVLString(argv[1]), KVLString(argv[2]), &error)) {
        std::fprintf(stderr, "%s: %s\n", argv[1], error.c_str());
        return 1;
    }
    std::printf("%s\n", scene.info.c_str());  // what was loaded (and a skin that was not)
    return offscreen ? Offscreen(scene, std::atoi(argv[4])) : InWindow(scene);
}
