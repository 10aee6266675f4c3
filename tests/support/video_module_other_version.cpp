// A video module as a build of another interface version would make it: the entry
// points of the real one, with the version after the program's. The loader must refuse
// it before calling anything else; if it does not, every call says so.
#include "show/zrn_showvideo_encoder.h"

extern "C" ZARNOTH_VIDEO_ENTRY ZRNShowVideoInterface zarnoth_video_interface() {
    ZRNShowVideoInterface other = kZRNShowVideoInterface;
    ++other.version;
    return other;
}

extern "C" ZARNOTH_VIDEO_ENTRY void zarnoth_video_check(const ZRNShowVideoSettings*, std::string* reason) {
    *reason = "a module of another version was used";
}

extern "C" ZARNOTH_VIDEO_ENTRY ZRNShowVideoEncoder* zarnoth_video_create(const ZRNShowVideoSettings*) { return nullptr; }

extern "C" ZARNOTH_VIDEO_ENTRY void zarnoth_video_join(const ZRNShowVideoJoin*, std::string* reason) {
    *reason = "a module of another version was used";
}
