// The show without a screen or a sound device: the program drives the ticks itself
// and renders offscreen, so the same options give the same pictures on every run.
//
// Show time advances one picture at a time at a fixed rate (fps). Before each picture
// the ticks up to that time are delivered, the sound output is advanced to that time
// (it plays into a WAV file), and frame steps run until a picture is drawn or the
// switch gap is over; a switch gap therefore takes no show time. The picture taken is
// the one last presented, what a window would show: a frame that presents nothing (the
// oscilloscope scene's hold, a switch gap) leaves it as it was. --shot stops at its
// tick and writes that picture; --capture writes every picture and keeps the
// soundtrack; --video encodes the pictures from the start to the end of the show
// (picture k at k / fps seconds) with the soundtrack as heard into a video file.
//
// Pictures are rendered at size x ssaa, the show's 4:3 picture centred with black
// bars (see ZRNRendererOffscreen::SetPictureShape), and averaged down to size.
//
// A shot steps the pictures before its own with the scenes' drawing off (every
// animation, counter and view moves on as when drawn) and draws only those it can
// show: its own and the last picture of each scene, which the screen keeps through
// the switch gap and the oscilloscope scene's hold, the only frames that present
// nothing. The music (which plays no faster than the sound worker's pace) is followed
// only as far as a drawn picture shows it. Late ticks thus take seconds, not minutes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "app/demo_picture.h"

struct DemoOfflineOptions {
    int32_t fps = 60;
    // Shot: the tick and the PNG to write. Capture: the folder (empty: no capture).
    int32_t shotTick = -1;
    std::string shotPath;
    std::string captureDir;
    // A shot that draws every picture before its own and follows the music all the
    // way, as a capture does (the slow way; tests compare the two).
    bool drawEveryPicture = false;
    // Video: the file and the codec (empty path: no video).
    std::string videoPath;
    std::string videoCodec = "h264";
    std::optional<std::string> videoPreset;
    std::optional<int32_t> videoCrf;
    DemoPictureSize size;
};

// The reason why the options cannot give a video or a picture of their size (checked
// before any work); empty when they can.
std::string CheckDemoOffline(const DemoOfflineOptions& options);

// The exit status: 0 done, 1 failure (already reported on standard error).
int RunDemoOffline(const DemoOfflineOptions& options);
