// The show without a screen or a sound device: the program drives the ticks itself
// and renders offscreen, so the same options give the same pictures on every run.
//
// The show moves on at the step clock of ZRNShowStepper (ten frame steps per tick), the
// same for every picture rate; the pictures wanted are drawn at their steps and the
// steps in between run without drawing. The sound output (a WAV file) follows the
// steps whose pictures show or keep the music. --shot writes the picture shown at its
// tick (the same at every --fps); --capture writes every picture at the picture rate
// and keeps the soundtrack; --video encodes the pictures from the start to the end of
// the show (picture k at k / fps seconds) with the soundtrack as heard; a render-only
// run draws and reads back a video's pictures and drops them (to time the rendering).
//
// Pictures are rendered at size x ssaa, the show's 4:3 picture centred with black
// bars (see ZRNRendererOffscreen::SetPictureShape), and averaged down to size.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "show/zrn_show.h"
#include "show/zrn_showpicture.h"

struct ZRNShowOfflineOptions {
    int32_t fps = 60;
    // Shot: the tick and the PNG to write. Capture: the folder (empty: no capture).
    int32_t shotTick = -1;
    std::string shotPath;
    std::string captureDir;
    // A shot that draws every picture before its own at the picture rate and follows
    // the music all the way, as a capture does (the slow way; tests compare the two).
    bool drawEveryPicture = false;
    // Video: the file and the codec (empty path: no video).
    std::string videoPath;
    std::string videoCodec = "h264";
    // Every picture of a video drawn and read back, then dropped.
    bool renderOnly = false;
    // A part of a video: the pictures whose show time lies in [fromTick, toTick)
    // (negative: from the start / to the end), exactly as a whole run gives them,
    // tagged with their range; its sound is left to the join (ZRNJoinShowVideo).
    int32_t fromTick = -1;
    int32_t toTick = -1;
    // The soundtrack of the whole show as a video of it holds it, written as a WAV
    // file (the sound a join of parts takes); no pictures.
    std::string soundtrackPath;
    std::optional<std::string> videoPreset;
    std::optional<int32_t> videoCrf;
    ZRNShowPictureSize size;
    // "progress DONE/TOTAL" lines on standard output as pictures are done (what a
    // --jobs run reads from its parts).
    bool reportProgress = false;
};

// The reason why the options cannot give a video or a picture of their size (checked
// before any work); empty when they can.
std::string ZRNCheckShowOffline(const ZRNShowDescription& show, const ZRNShowOfflineOptions& options);

// The exit status: 0 done, 1 failure (already reported on standard error).
int ZRNRunShowOffline(const ZRNShowDescription& show, const ZRNShowOfflineOptions& options);

