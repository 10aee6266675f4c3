// The video module loaded with dlopen. Where: the first of these that exists is the
// one used, never another after it: next to the program (a build folder, or a program
// installed with its module beside it), then the installed module folder. A module
// whose interface (version and type sizes, zarnoth_video_interface) differs from the
// program's is refused with both versions named, so a build-tree program without a
// module of its own never runs an installed one of another layout, and a stale module
// beside the program is reported rather than passed over. It stays mapped after its
// last user (RTLD_NODELETE), because FFmpeg's libraries are not made to be unloaded.
#include "app/demo_video_module.h"

#include <dlfcn.h>
#include <unistd.h>

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
    const std::string need = "videos need " + std::string(kDemoVideoModule);
    for (const std::string& place : places) {
        if (::access(place.c_str(), F_OK) != 0) {
            continue;
        }
        m_handle = dlopen(place.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
        if (m_handle == nullptr) {
            const char* why = dlerror();
            *error = need + ", which cannot be loaded: " + (why != nullptr ? why : place);
            return false;
        }
        const auto version = reinterpret_cast<DemoVideoInterfaceEntry>(dlsym(m_handle, kDemoVideoInterfaceName));
        std::string problem;
        if (version == nullptr) {
            problem = place + " has no interface version (it is older than this zarnoth, which needs version " +
                      DescribeDemoVideoInterface(kDemoVideoInterface) + ")";
        } else if (const DemoVideoInterface found = version(); !(found == kDemoVideoInterface)) {
            problem = place + " has interface version " + DescribeDemoVideoInterface(found) +
                      ", this zarnoth needs version " + DescribeDemoVideoInterface(kDemoVideoInterface) +
                      ": build or install the two together";
        } else {
            m_check = reinterpret_cast<DemoVideoCheckEntry>(dlsym(m_handle, kDemoVideoCheckName));
            m_create = reinterpret_cast<DemoVideoCreateEntry>(dlsym(m_handle, kDemoVideoCreateName));
            m_join = reinterpret_cast<DemoVideoJoinEntry>(dlsym(m_handle, kDemoVideoJoinName));
            if (m_check != nullptr && m_create != nullptr && m_join != nullptr) {
                return true;
            }
            problem = place + " is not the video module";
        }
        dlclose(m_handle);
        m_handle = nullptr;
        *error = need + ", which cannot be used: " + problem;
        return false;
    }
    std::string where;
    for (const std::string& place : places) {
        where += (where.empty() ? "" : " nor ") + place;
    }
    *error = need + ", which cannot be loaded: " + (where.empty() ? "the program's folder is unknown" : "there is no " + where);
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
