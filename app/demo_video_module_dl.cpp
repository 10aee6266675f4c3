// The video module loaded with dlopen: next to the program first (a build folder), then
// the installed module folder. It stays mapped after its last user (RTLD_NODELETE),
// because FFmpeg's libraries are not made to be unloaded.
#include "app/demo_video_module.h"

#include <dlfcn.h>

#include <vector>

#include "platform/kvl_programpath.h"

DemoVideoModule::~DemoVideoModule() {
    if (m_handle != nullptr) {
        dlclose(m_handle);
    }
}

bool DemoVideoModule::Load(std::string* error) {
    std::vector<std::string> places;
    const KVLString folder = KVLGetProgramFolder();
    if (!folder.IsEmpty()) {
        places.push_back(std::string(folder.c_str()) + kDemoVideoModule);
    }
#if defined(ZARNOTH_MODULE_DIR)
    places.push_back(std::string(ZARNOTH_MODULE_DIR "/") + kDemoVideoModule);
#endif
    std::string reason = "not found next to the program";
    for (const std::string& place : places) {
        m_handle = dlopen(place.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
        if (m_handle == nullptr) {
            const char* why = dlerror();
            reason = why != nullptr ? why : place;
            continue;
        }
        m_check = reinterpret_cast<DemoVideoCheckEntry>(dlsym(m_handle, kDemoVideoCheckName));
        m_create = reinterpret_cast<DemoVideoCreateEntry>(dlsym(m_handle, kDemoVideoCreateName));
        m_join = reinterpret_cast<DemoVideoJoinEntry>(dlsym(m_handle, kDemoVideoJoinName));
        if (m_check != nullptr && m_create != nullptr && m_join != nullptr) {
            return true;
        }
        reason = place + " is not the video module";
        dlclose(m_handle);
        m_handle = nullptr;
    }
    *error = "videos need " + std::string(kDemoVideoModule) + ", which cannot be loaded: " + reason;
    return false;
}

std::string DemoVideoModule::Check(const DemoVideoSettings& settings) const {
    std::string reason;
    m_check(&settings, &reason);
    return reason;
}

std::unique_ptr<DemoVideoEncoder> DemoVideoModule::Create(const DemoVideoSettings& settings) const {
    return std::unique_ptr<DemoVideoEncoder>(m_create(&settings));
}

std::string DemoVideoModule::Join(const DemoVideoJoin& join) const {
    std::string reason;
    m_join(&join, &reason);
    return reason;
}
