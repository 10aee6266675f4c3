// ZRNShowDescription: what a show is, as data. A show built on the engine gives its
// title, where its files are, its music and its scenes in order, each with the tick
// at which it is left and a name (the chapters a viewer jumps to); the show runtime
// gives it the rest: the window and its keys, the step clock, shots, captures, videos
// (in parts, across processes), the command line and the web page.
//
// Time: a show counts ticks of its own length (14 ms unless it says otherwise), and its
// animators run at so many ticks to their second; the scenes' end ticks must rise, and
// the last is the end of the show. Between two scenes
// the screen keeps the last picture for a switch gap of a few frame steps, in which
// the old scene is deleted and the next installed.
//
// Ownership: the description outlives everything made from it; the streams that
// music() hands out belong to the show (the runtime opens clones of them).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/kvl_stream.h"
#include "show/zrn_showtime.h"
#include "show/zrn_showtimeline.h"

class ZRNRendererInterface;
class ZRNRenderVisitor;
class ZRNAnimVisitor;
class KVLSoundPlayer;
class ZRNShowScene;

// What a scene is made with: the renderer and the shared visitors (owned by the
// controller) and the music's player, for scenes that show the music being played.
struct ZRNShowSceneContext {
    ZRNRendererInterface* renderer = nullptr;
    ZRNRenderVisitor* renderVisitor = nullptr;
    ZRNAnimVisitor* tickVisitor = nullptr;
    KVLSoundPlayer* player = nullptr;
};

// One scene of the show: its name (a chapter), the tick at which the show leaves it,
// and how to make it (called again when a viewer seeks back: a fresh scene each time).
struct ZRNShowChapter {
    std::string name;
    int32_t endTick = 0;
    std::function<std::unique_ptr<ZRNShowScene>(const ZRNShowSceneContext&)> create;
};

struct ZRNShowDescription {
    // The window's title, and the program's name as messages and --help show it.
    std::string title;
    std::string program;
    std::string version;
    // One line under --help's usage: what the program plays.
    std::string about;
    // The show's files: the archive's (or folder's) file name, looked for next to the
    // program and then in dataDir; found tells the show where it is, before any scene
    // is made. Empty: the show finds its own files.
    std::string archive;
    std::string dataDir;
    std::function<void(const std::string& path)> found;
    // Drops what the show holds of its files once a run is over (the web page frees
    // them between runs); may be empty.
    std::function<void()> release;
    // The soundtrack (MP3 or 16-bit PCM WAV, told apart by its first bytes): a stream of
    // the show's, not opened. Every show has one: the music is what the show's clock
    // plays against.
    std::function<const KVLStream*()> music;
    // The picture's shape (the window's size; offline pictures keep its aspect).
    int32_t width = 640;
    int32_t height = 480;
    int32_t bitsPerPixel = 16;
    // Frame steps from leaving a scene to showing the next.
    int32_t gapSteps = 10;
    // The length of a tick in milliseconds (1 to 1000), and the ticks to a second of the
    // animators' time (models' frames, keyed tracks): 0 for the ticks a second really
    // has (1000 / tickMs, rounded). A show whose animations were timed to a rounder
    // count gives it (ZARNOTH 3D's 14 ms ticks run its animators at 70 a second).
    int32_t tickMs = ZRNShowTime::kDefaultTickMs;
    int32_t animationTicksPerSecond = 0;
    std::vector<ZRNShowChapter> chapters;

    // The tick at which the show ends (the last scene's end tick), 0 without scenes.
    int32_t GetEndTick() const { return chapters.empty() ? 0 : chapters.back().endTick; }
    std::vector<int32_t> GetSwitchTicks() const;
    ZRNShowTime GetTime() const { return ZRNShowTime(tickMs); }
    // The switch ticks with the show's time: what the runtime steps the show by (and
    // where scene counts and start ticks are asked).
    ZRNShowTimeline GetTimeline() const { return ZRNShowTimeline(GetSwitchTicks(), GetTime()); }
    int32_t GetAnimationTicksPerSecond() const;
    // The show as a page shows it, in JSON: {"title", "tickMs", "endTick", "chapters":
    // [{"name", "tick"}, ...]}, each chapter with its first tick.
    std::string GetPageInfo() const;
    // Why this is not a show that can play (no program name, no music, no scenes, end
    // ticks that do not rise, a scene without a maker, a gap under two steps, a tick
    // length or animation rate out of range); empty when it can.
    std::string Check() const;
};
