// The interface between DemoVideoWriter and the video module (app/ffmpeg), which the
// program loads with dlopen only when it makes a video. Both sides are built by the
// same compiler from the same tree, so C++ types cross the boundary; the entry
// points have C names so that dlsym finds them.
#pragma once

#include <cstdint>
#include <string>

#include "app/demo_video.h"

class DemoVideoEncoder {
public:
    virtual ~DemoVideoEncoder() = default;
    // As DemoVideoWriter's operations of the same names.
    virtual bool Open() = 0;
    virtual bool AddPicture(const KVLImage& picture) = 0;
    virtual bool AddSound(const int16_t* samples, int64_t frames) = 0;
    virtual bool Finish(int64_t soundFrames) = 0;
    virtual const std::string& Error() const = 0;
};

#define ZARNOTH_VIDEO_ENTRY __attribute__((visibility("default")))

// zarnoth_video_check: as CheckDemoVideo; the reason is left empty when the settings
// can be encoded. zarnoth_video_create: a new encoder (the caller deletes it).
using DemoVideoCheckEntry = void (*)(const DemoVideoSettings* settings, std::string* reason);
using DemoVideoCreateEntry = DemoVideoEncoder* (*)(const DemoVideoSettings* settings);
// zarnoth_video_join: as JoinDemoVideo; the reason is left empty when it succeeded.
using DemoVideoJoinEntry = void (*)(const DemoVideoJoin* join, std::string* reason);
inline constexpr const char* kDemoVideoModule = "zarnoth_video.so";
inline constexpr const char* kDemoVideoCheckName = "zarnoth_video_check";
inline constexpr const char* kDemoVideoCreateName = "zarnoth_video_create";
inline constexpr const char* kDemoVideoJoinName = "zarnoth_video_join";
