// The builds without a video encoder (Windows, the web page): videos are refused with
// one message, before any work.
#include "show/zrn_showvideo_module.h"

ZRNShowVideoModule::~ZRNShowVideoModule() = default;

bool ZRNShowVideoModule::Load(std::string* error) {
    *error = "this build cannot write videos (it has no FFmpeg); use --capture";
    return false;
}

std::string ZRNShowVideoModule::Check(const ZRNShowVideoSettings&) const { return "no video module"; }

std::unique_ptr<ZRNShowVideoEncoder> ZRNShowVideoModule::Create(const ZRNShowVideoSettings&) const { return nullptr; }

std::string ZRNShowVideoModule::Join(const ZRNShowVideoJoin&) const { return "no video module"; }
