// ZRNShowVideoModule: the video encoder module (zarnoth_video.so), loaded when a video is
// made. A build that has no module (Windows, the web page) refuses in Load with the
// reason, so the callers need no conditionals.
#pragma once

#include <memory>
#include <string>

#include "show/zrn_showvideo_encoder.h"

class ZRNShowVideoModule {
public:
    ZRNShowVideoModule() = default;
    ~ZRNShowVideoModule();
    ZRNShowVideoModule(const ZRNShowVideoModule&) = delete;
    ZRNShowVideoModule& operator=(const ZRNShowVideoModule&) = delete;

    // False with the reason the module cannot be used.
    bool Load(std::string* error);
    // After a successful Load only.
    std::string Check(const ZRNShowVideoSettings& settings) const;
    std::unique_ptr<ZRNShowVideoEncoder> Create(const ZRNShowVideoSettings& settings) const;
    // Empty when the parts were joined, else the reason.
    std::string Join(const ZRNShowVideoJoin& join) const;

private:
    // Unused where the build has no module (the refusing Load).
    [[maybe_unused]] void* m_handle = nullptr;
    [[maybe_unused]] ZRNShowVideoCheckEntry m_check = nullptr;
    [[maybe_unused]] ZRNShowVideoCreateEntry m_create = nullptr;
    [[maybe_unused]] ZRNShowVideoJoinEntry m_join = nullptr;
};
