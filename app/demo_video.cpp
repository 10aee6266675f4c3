// DemoVideoWriter and CheckDemoVideo: the video module is loaded once per writer or
// check (DemoVideoModule); a build without one refuses with the module's reason.
#include "app/demo_video.h"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/demo_video_encoder.h"
#include "app/demo_video_module.h"

std::string CheckDemoVideo(const DemoVideoSettings& settings) {
    DemoVideoModule module;
    std::string error;
    if (!module.Load(&error)) {
        return error;
    }
    return module.Check(settings);
}

DemoVideoWriter::DemoVideoWriter(const DemoVideoSettings& settings) : m_settings(settings) {}

DemoVideoWriter::~DemoVideoWriter() = default;

bool DemoVideoWriter::Fail(const std::string& what) {
    m_error = what;
    return false;
}

const std::string& DemoVideoWriter::Error() const {
    return m_encoder != nullptr && m_error.empty() ? m_encoder->Error() : m_error;
}

bool DemoVideoWriter::Open() {
    if (m_encoder != nullptr) {
        return Fail("the video file is open already");
    }
    auto module = std::make_unique<DemoVideoModule>();
    std::string error;
    if (!module->Load(&error)) {
        return Fail(error);
    }
    m_module = std::move(module);
    m_encoder = m_module->Create(m_settings);
    return m_encoder->Open();
}

bool DemoVideoWriter::AddPicture(const KVLImage& picture) {
    return m_encoder != nullptr ? m_encoder->AddPicture(picture) : Fail("the video file is not open");
}

bool DemoVideoWriter::AddSound(const int16_t* samples, int64_t frames) {
    return m_encoder != nullptr ? m_encoder->AddSound(samples, frames) : Fail("the video file is not open");
}

bool DemoVideoWriter::Finish(int64_t soundFrames) {
    return m_encoder != nullptr ? m_encoder->Finish(soundFrames) : Fail("the video file is not open");
}
