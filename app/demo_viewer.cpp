// What the viewer's keys do.
#include "app/demo_viewer.h"

#include <algorithm>

#include "platform/kvl_window.h"

namespace {

// Five seconds in whole ticks.
constexpr int64_t kSeekTicks = 5000 / DemoController::kTickMs;

}  // namespace

int32_t DemoViewerClampTick(int64_t tick) {
    const int64_t last = DemoController::kSwitchTicks.back() - 1;
    return static_cast<int32_t>(std::clamp<int64_t>(tick, 0, last));
}

DemoViewerAction DemoViewerKey(int32_t key, int32_t now) {
    DemoViewerAction action;
    if (key == ' ') {
        action.kind = DemoViewerAction::kTogglePause;
        return action;
    }
    int64_t to = -1;
    if (key == KVLKeyLeft) {
        to = now - kSeekTicks;
    } else if (key == KVLKeyRight) {
        to = now + kSeekTicks;
    } else if (key == KVLKeyHome) {
        to = 0;
    } else if (key >= '1' && key < '1' + DemoController::kSceneCount) {
        const int32_t scene = key - '1';
        to = scene == 0 ? 0 : DemoController::kSwitchTicks[static_cast<size_t>(scene - 1)];
    }
    if (to >= 0 || key == KVLKeyLeft) {
        action.kind = DemoViewerAction::kSeek;
        action.tick = DemoViewerClampTick(to);
    }
    return action;
}
