// DemoVideoModule: the video encoder module (zarnoth_video.so), loaded when a video is
// made. A build that has no module (Windows, the web page) refuses in Load with the
// reason, so the callers need no conditionals.
#pragma once

#include <memory>
#include <string>

#include "app/demo_video_encoder.h"

class DemoVideoModule {
public:
    DemoVideoModule() = default;
    ~DemoVideoModule();
    DemoVideoModule(const DemoVideoModule&) = delete;
    DemoVideoModule& operator=(const DemoVideoModule&) = delete;

    // False with the reason the module cannot be used.
    bool Load(std::string* error);
    // After a successful Load only.
    std::string Check(const DemoVideoSettings& settings) const;
    std::unique_ptr<DemoVideoEncoder> Create(const DemoVideoSettings& settings) const;
    // Empty when the parts were joined, else the reason.
    std::string Join(const DemoVideoJoin& join) const;

private:
    void* m_handle = nullptr;
    DemoVideoCheckEntry m_check = nullptr;
    DemoVideoCreateEntry m_create = nullptr;
    DemoVideoJoinEntry m_join = nullptr;
};
