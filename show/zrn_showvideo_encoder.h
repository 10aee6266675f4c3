// The interface between ZRNShowVideoWriter and the video module (app/ffmpeg), which the
// program loads with dlopen only when it makes a video. C++ types cross the boundary
// (the settings, std::string, the encoder's virtual calls), so both sides must come
// from the same tree and compiler: the module answers zarnoth_video_interface (plain
// C data) before anything else is called, and the loader refuses a module whose
// answer differs from its own. The entry points have C names so that dlsym finds them.
#pragma once

#include <cstdint>
#include <string>

#include "show/zrn_showvideo.h"

class ZRNShowVideoEncoder {
public:
    virtual ~ZRNShowVideoEncoder() = default;
    // As ZRNShowVideoWriter's operations of the same names.
    virtual bool Open() = 0;
    virtual bool AddPicture(const KVLImage& picture) = 0;
    virtual bool AddSound(const int16_t* samples, int64_t frames) = 0;
    virtual bool Finish(int64_t soundFrames) = 0;
    virtual const std::string& Error() const = 0;
};

#define ZARNOTH_VIDEO_ENTRY __attribute__((visibility("default")))

// The interface's version, and the sizes of the types that cross it: a module built
// from another layout of the settings differs in one of them even when the number was
// not raised. Raise kZRNShowVideoInterfaceVersion with every change to the types or the
// entry points of this file.
struct ZRNShowVideoInterface {
    int32_t version;
    int32_t settingsBytes;
    int32_t joinBytes;
    int32_t stringBytes;
};
inline constexpr int32_t kZRNShowVideoInterfaceVersion = 4;
inline constexpr ZRNShowVideoInterface kZRNShowVideoInterface = {
    kZRNShowVideoInterfaceVersion, static_cast<int32_t>(sizeof(ZRNShowVideoSettings)),
    static_cast<int32_t>(sizeof(ZRNShowVideoJoin)), static_cast<int32_t>(sizeof(std::string))};

inline bool operator==(const ZRNShowVideoInterface& a, const ZRNShowVideoInterface& b) {
    return a.version == b.version && a.settingsBytes == b.settingsBytes && a.joinBytes == b.joinBytes &&
           a.stringBytes == b.stringBytes;
}

// "2 (settings 168 B, join 96 B, string 32 B)".
inline std::string ZRNDescribeShowVideoInterface(const ZRNShowVideoInterface& i) {
    return std::to_string(i.version) + " (settings " + std::to_string(i.settingsBytes) + " B, join " +
           std::to_string(i.joinBytes) + " B, string " + std::to_string(i.stringBytes) + " B)";
}

// zarnoth_video_interface: the module's kZRNShowVideoInterface, as it was built.
extern "C" {
typedef ZRNShowVideoInterface (*ZRNShowVideoInterfaceEntry)();
}

// zarnoth_video_check: as ZRNCheckShowVideo; the reason is left empty when the settings
// can be encoded. zarnoth_video_create: a new encoder (the caller deletes it).
using ZRNShowVideoCheckEntry = void (*)(const ZRNShowVideoSettings* settings, std::string* reason);
using ZRNShowVideoCreateEntry = ZRNShowVideoEncoder* (*)(const ZRNShowVideoSettings* settings);
// zarnoth_video_join: as ZRNJoinShowVideo; the reason is left empty when it succeeded.
using ZRNShowVideoJoinEntry = void (*)(const ZRNShowVideoJoin* join, std::string* reason);
inline constexpr const char* kZRNShowVideoModule = "zarnoth_video.so";
inline constexpr const char* kZRNShowVideoInterfaceName = "zarnoth_video_interface";
inline constexpr const char* kZRNShowVideoCheckName = "zarnoth_video_check";
inline constexpr const char* kZRNShowVideoCreateName = "zarnoth_video_create";
inline constexpr const char* kZRNShowVideoJoinName = "zarnoth_video_join";
