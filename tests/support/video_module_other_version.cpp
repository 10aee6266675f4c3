// A video module as a build of another interface version would make it: the entry
// points of the real one, with the version after the program's. The loader must refuse
// it before calling anything else; if it does not, every call says so.
#include "app/demo_video_encoder.h"

extern "C" ZARNOTH_VIDEO_ENTRY DemoVideoInterface zarnoth_video_interface() {
    DemoVideoInterface other = kDemoVideoInterface;
    ++other.version;
    return other;
}

extern "C" ZARNOTH_VIDEO_ENTRY void zarnoth_video_check(const DemoVideoSettings*, std::string* reason) {
    *reason = "a module of another version was used";
}

extern "C" ZARNOTH_VIDEO_ENTRY DemoVideoEncoder* zarnoth_video_create(const DemoVideoSettings*) { return nullptr; }

extern "C" ZARNOTH_VIDEO_ENTRY void zarnoth_video_join(const DemoVideoJoin*, std::string* reason) {
    *reason = "a module of another version was used";
}
