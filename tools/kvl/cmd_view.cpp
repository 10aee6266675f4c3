// kvl view: shows an MD2 model with its skin through the engine's renderer, in a
// window playing its animation, or rendered offscreen into a PNG file.
//
// The scene is the one the demo builds for a model: the Quake II builder's tree (skin
// material over the mesh node) under a turning transformation and a camera, animated
// by a loop animator driven by a tick visitor at 70 ticks per second, 10 key frames
// per second. Models of the usual 198 frames play the standard Quake II animation
// ranges (stand, run, attack, ...); other models play all their frames as one range.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "core/kvl_filestream.h"
#include "image/kvl_pngwriter.h"
#include "scene/zrn_animator.h"
#include "scene/zrn_backend.h"
#include "scene/zrn_builders.h"
#include "scene/zrn_modelpreview.h"
#include "scene/zrn_renderer_offscreen.h"
#include "scene/zrn_rendervisitor.h"
#include "tools/kvl/kvl_command.h"

namespace {

extern const KvlCommand kViewCommand;

constexpr int32_t kWidth = 640;
constexpr int32_t kHeight = 480;
constexpr int32_t kTicksPerSecond = 70;
constexpr int32_t kFramesPerSecond = 10;
constexpr float kTurnStep = 0.2617994f;  // 15 degrees

struct Range {
    const char* name;
    int32_t first;
    int32_t last;
};

// The animation ranges of a standard 198-frame Quake II player model.
constexpr Range kQuake2Ranges[] = {
    {"stand", 0, 39},     {"run", 40, 45},       {"attack", 46, 53},    {"pain1", 54, 57},
    {"pain2", 58, 61},    {"pain3", 62, 65},     {"jump", 66, 71},      {"flip", 72, 83},
    {"salute", 84, 94},   {"taunt", 95, 111},    {"wave", 112, 122},    {"point", 123, 134},
    {"crstand", 135, 153}, {"crwalk", 154, 159}, {"crattack", 160, 168}, {"crpain", 169, 172},
    {"crdeath", 173, 177}, {"death1", 178, 183}, {"death2", 184, 189},  {"death3", 190, 197},
};

bool ParseRange(const std::string& text, int32_t& first, int32_t& last) {
    const size_t dash = text.find('-');
    return dash != std::string::npos && KvlParseCount(text.substr(0, dash), first) &&
           KvlParseCount(text.substr(dash + 1), last) && first <= last;
}

int Screenshot(ZRNModelPreview& scene, const std::string& model, int32_t frame, const std::string& output) {
    if (frame >= scene.frames) {
        return KvlFail(model + ": frame " + std::to_string(frame) + " is outside the model (" +
                       std::to_string(scene.frames) + " frames)");
    }
    ZRNRendererOffscreen renderer(kWidth, kHeight);
    if (!renderer.Initialise()) {
        return KvlFail(std::string("no offscreen OpenGL: ") + renderer.GetError().c_str());
    }
    scene.meshNode->OwnFrameTime() = ZRNFrameTime(frame, frame, 0.0f);
    scene.Draw(renderer);
    renderer.Present();
    std::unique_ptr<KVLImage> picture = renderer.ReadPixels();
    KVLString error;
    if (picture == nullptr || !KVLWritePNG(*picture, output.c_str(), &error)) {
        return KvlFail(output + ": " + error.c_str());
    }
    return kKvlOk;
}

class ViewWindow : public KVLWindowListener {
public:
    std::vector<Range> ranges;
    int32_t current = 0;
    bool running = true;
    bool turning = true;
    bool changed = true;
    float angle = 0.0f;

    void OnDestroyed() override { running = false; }
    void OnKeyDown(int32_t key) override {
        const int32_t count = static_cast<int32_t>(ranges.size());
        switch (key) {
            case KVLKeyEscape:
            case 'q':
                running = false;
                break;
            case KVLKeyRight:
            case KVLKeyPageDown:
            case 'n':
                current = (current + 1) % count;
                changed = true;
                break;
            case KVLKeyLeft:
            case KVLKeyPageUp:
            case 'p':
                current = (current + count - 1) % count;
                changed = true;
                break;
            case 'r':
                turning = !turning;
                break;
            case KVLKeyUp:
                angle += kTurnStep;
                break;
            case KVLKeyDown:
                angle -= kTurnStep;
                break;
            default:
                break;
        }
    }
};

int Show(ZRNModelPreview& scene, const std::vector<Range>& ranges) {
    ZRNBackendWindow window("kvl view", kWidth, kHeight, 16);
    window.SetFullScreen(false);
    ViewWindow view;
    view.ranges = ranges;
    window.AddListener(&view);
    ZRNBackendRenderer renderer(&window);
    if (!window.Open()) {
        window.RemoveListener(&view);
        return KvlFail(std::string("unable to open a window: ") + ZRNBackendLastError().c_str());
    }
    if (!renderer.Initialise()) {
        window.RemoveListener(&view);
        return KvlFail(std::string("unable to create an OpenGL context: ") + renderer.GetError().c_str());
    }
    std::printf("%s\nkeys: n/Right next range, p/Left previous range, r turn on/off, Up/Down turn, q/Escape quit\n",
                scene.info.IsEmpty() ? "" : scene.info.c_str());
    std::unique_ptr<ZRNLoopAnimator> animator;
    ZRNTickVisitor ticks(kTicksPerSecond);
    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    int64_t last = 0;
    while (view.running) {
        ZRNBackendWaitForMessage();
        if (!ZRNBackendPumpMessages() || !view.running) {
            break;
        }
        if (view.changed) {
            const Range& r = view.ranges[static_cast<size_t>(view.current)];
            animator = std::make_unique<ZRNLoopAnimator>(kFramesPerSecond);
            for (int32_t f = r.first; f <= r.last; ++f) {
                animator->AddKey(f);
            }
            scene.meshNode->SetTimeSource(animator.get());
            std::printf("range %s: frames %d-%d\n", r.name, r.first, r.last);
            std::fflush(stdout);
            view.changed = false;
        }
        // Milliseconds since the loop began.
        const int64_t now = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
        if (view.turning) {
            view.angle += static_cast<float>(now - last) * 0.0008f;
        }
        last = now;
        scene.turn.keys[0] = {0.0f, view.angle, 0.0f};
        ticks.SetTick(static_cast<int32_t>(now * kTicksPerSecond / 1000));
        scene.root->Accept(ticks);
        scene.Draw(renderer);
        renderer.Present();
    }
    scene.meshNode->SetTimeSource(nullptr);
    window.RemoveListener(&view);
    return kKvlOk;
}

int RunView(const std::vector<std::string>& args) {
    std::vector<std::string> files;
    std::string output;
    int32_t frame = -1;
    int32_t first = -1;
    int32_t last = -1;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (KvlIsHelp(a)) {
            std::fputs(kViewCommand.help, stdout);
            return kKvlOk;
        }
        const bool hasValue = i + 1 < args.size();
        if (a == "--frames" && hasValue) {
            if (!ParseRange(args[++i], first, last)) {
                return KvlUsageError(kViewCommand, "--frames takes A-B with A <= B");
            }
        } else if (a == "--frame" && hasValue) {
            if (!KvlParseCount(args[++i], frame)) {
                return KvlUsageError(kViewCommand, "--frame takes a frame number");
            }
        } else if (a == "--screenshot" && hasValue) {
            output = args[++i];
        } else if (!a.empty() && a[0] == '-') {
            return KvlUsageError(kViewCommand, "unknown or incomplete option " + a);
        } else {
            files.push_back(a);
        }
    }
    if (files.size() != 2) {
        return KvlUsageError(kViewCommand, "give a model and its skin");
    }
    if (frame >= 0 && output.empty()) {
        return KvlUsageError(kViewCommand, "--frame goes with --screenshot");
    }
    ZRNModelPreview scene;
    KVLString error;
    // A skin that does not read fails Build but leaves the scene, the model in red
    // plastic: the viewer shows it, with the reason (in info).
    if (!scene.Build(nullptr, nullptr, KVLString(files[0].c_str()), KVLString(files[1].c_str()), &error) &&
        scene.root == nullptr) {
        return KvlFail(files[0] + ": " + error.c_str());
    }
    if (!scene.info.IsEmpty()) {
        std::fprintf(stderr, "%s\n", scene.info.c_str());
    }
    if (first >= 0 && last >= scene.frames) {
        return KvlFail(files[0] + ": frames " + std::to_string(first) + "-" + std::to_string(last) +
                       " are outside the model (" + std::to_string(scene.frames) + " frames)");
    }
    if (!output.empty()) {
        return Screenshot(scene, files[0], frame >= 0 ? frame : std::max(first, 0), output);
    }
    std::vector<Range> ranges;
    if (first >= 0) {
        ranges.push_back({"chosen", first, last});
    } else if (scene.frames == 198) {
        ranges.assign(std::begin(kQuake2Ranges), std::end(kQuake2Ranges));
    } else {
        ranges.push_back({"all", 0, scene.frames - 1});
    }
    return Show(scene, ranges);
}

const KvlCommand kViewCommand = {
    "view",
    "show an MD2 model with its skin in a window, or render one frame to PNG",
    "usage:\n"
    "  kvl view MODEL.md2 SKIN [--frames A-B]\n"
    "                         open a window playing the model's animation under its skin\n"
    "                         (a 198-frame model plays the standard Quake II ranges, others\n"
    "                         all frames; --frames plays A to B only)\n"
    "                         keys: n or Right next range, p or Left previous range,\n"
    "                         r turning on/off, Up/Down turn by hand, q or Escape quit\n"
    "  kvl view MODEL.md2 SKIN --screenshot OUT.png [--frame N]\n"
    "                         render frame N (default 0, or A of --frames) offscreen at\n"
    "                         640x480 and write it as PNG; opens no window\n"
    "\n"
    "The skin may be PCX, JPEG, BMP or TGA; when it does not read the model is drawn red.\n"
    "Exit status: 0 success, 1 failure, 2 usage error.\n",
    &RunView,
};

const KvlCommandRegistration kRegistration(kViewCommand);

}  // namespace
