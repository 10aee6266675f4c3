// What the viewer's keys do.
#include "show/zrn_showviewer.h"

#include <algorithm>

#include "platform/kvl_window.h"

int32_t ZRNShowViewerClampTick(const ZRNShowTimeline& timeline, int64_t tick) {
    const int64_t last = timeline.GetEndTick() - 1;
    return static_cast<int32_t>(std::clamp<int64_t>(tick, 0, last));
}

ZRNShowViewerAction ZRNShowViewerKey(const ZRNShowTimeline& timeline, int32_t key, int32_t now) {
    ZRNShowViewerAction action;
    if (key == ' ') {
        action.kind = ZRNShowViewerAction::kTogglePause;
        return action;
    }
    // Five seconds in whole ticks.
    const int64_t seekTicks = timeline.GetTime().TicksIn(5000);
    int64_t to = -1;
    if (key == KVLKeyLeft) {
        to = now - seekTicks;
    } else if (key == KVLKeyRight) {
        to = now + seekTicks;
    } else if (key == KVLKeyHome) {
        to = 0;
    } else if (key >= '1' && key <= '9' && key - '1' < timeline.GetSceneCount()) {
        to = timeline.GetStartTick(key - '1');
    }
    if (to >= 0 || key == KVLKeyLeft) {
        action.kind = ZRNShowViewerAction::kSeek;
        action.tick = ZRNShowViewerClampTick(timeline, to);
    }
    return action;
}
