// The builds without a video encoder (Windows, the web page): videos are refused with
// one message, before any work.
#include "app/demo_video_module.h"

DemoVideoModule::~DemoVideoModule() = default;

bool DemoVideoModule::Load(std::string* error) {
    *error = "this build of zarnoth cannot write videos (it has no FFmpeg); use --capture";
    return false;
}

std::string DemoVideoModule::Check(const DemoVideoSettings&) const { return "no video module"; }

std::unique_ptr<DemoVideoEncoder> DemoVideoModule::Create(const DemoVideoSettings&) const { return nullptr; }

std::string DemoVideoModule::Join(const DemoVideoJoin&) const { return "no video module"; }
