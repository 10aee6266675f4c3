// The demo's show description.
#include "app/demo_show.h"

#include "app/demo_resources.h"
#include "app/scenes/scene_oscilloscope.h"
#include "app/scenes/scene_pictures.h"
#include "app/scenes/scene_room.h"
#include "app/scenes/scene_tunnel.h"

#if !defined(ZARNOTH_VERSION)
#define ZARNOTH_VERSION "unknown"
#endif

namespace {

constexpr uint32_t kMusicId = 100;

// A chapter whose scene is made from the context's renderer and visitors.
template <class Scene>
ZRNShowChapter Chapter(const char* name, int32_t endTick) {
    return {name, endTick, [](const ZRNShowSceneContext& c) -> std::unique_ptr<ZRNShowScene> {
                return std::make_unique<Scene>(c.renderer, c.renderVisitor, c.tickVisitor);
            }};
}

ZRNShowDescription Describe() {
    ZRNShowDescription show;
    show.title = "ZARNOTH 3D";
    show.program = "zarnoth";
    show.version = ZARNOTH_VERSION;
    show.about = "Plays the ZARNOTH 3D demo (82 seconds) from quorvel.pak next to the program.";
    show.archive = "quorvel.pak";
#if defined(ZARNOTH_DATA_DIR)
    show.dataDir = ZARNOTH_DATA_DIR;
#endif
    show.found = [](const std::string& path) { SetDemoArchivePath(KVLString(path.c_str())); };
    show.release = [] { ReleaseDemoResources(); };
    show.music = [] { return static_cast<const KVLStream*>(GetDemoResource(kMusicId)); };
    // 14 ms ticks; the models' and tracks' animations were timed at 70 ticks a second.
    show.tickMs = 14;
    show.animationTicksPerSecond = 70;
    show.chapters = {
        Chapter<ParentalScene>("Parental picture", 280),
        {"oscilloscope and credits", 1120,
         [](const ZRNShowSceneContext& c) -> std::unique_ptr<ZRNShowScene> {
             return std::make_unique<OscilloCreditsScene>(c.renderer, c.renderVisitor, c.tickVisitor, c.player);
         }},
        Chapter<RoomScene>("room", 2870),
        Chapter<TunnelScene>("tunnel ride", 5530),
        Chapter<EndSaRaceScene>("EndSaRace picture", 5880),
    };
    return show;
}

}  // namespace

const ZRNShowDescription& DemoShowDescription() {
    static const ZRNShowDescription show = Describe();
    return show;
}

const ZRNShowTimeline& DemoTimeline() {
    static const ZRNShowTimeline timeline = DemoShowDescription().GetTimeline();
    return timeline;
}
