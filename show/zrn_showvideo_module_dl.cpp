// The video module loaded with dlopen. Where: a file named by ZARNOTH_VIDEO_MODULE is
// the only place looked at (set and unusable, that is the error). Otherwise the first
// of these that exists is the one used, never another after it: next to the program (a
// build folder, or a program installed with its module beside it), then where an
// install puts it relative to the program's own folder (BINDIR/../LIBDIR/zarnoth: an
// installed engine moved to another prefix), then the module folder of the prefix the
// engine was built for. When none is there, the message names every place looked at. A
// module whose interface (version and type sizes, zarnoth_video_interface) differs from
// the program's is refused with both versions named, so a build-tree program without a
// module of its own never runs an installed one of another layout, and a stale module
// beside the program is reported rather than passed over. The messages do not name the
// program: the show's program name starts the line they end up in. A module stays
// mapped after its last user (RTLD_NODELETE), because FFmpeg's libraries are not made
// to be unloaded.
#include "show/zrn_showvideo_module.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <vector>

#include "platform/kvl_programpath.h"

namespace {

// The places to look at, in order, without the same one twice.
std::vector<std::string> ModulePlaces() {
    namespace fs = std::filesystem;
    std::vector<std::string> places;
    const auto add = [&places](const fs::path& place) {
        const std::string normal = place.lexically_normal().string();
        for (const std::string& p : places) {
            std::error_code ec;
            if (p == normal || fs::equivalent(p, normal, ec)) {
                return;
            }
        }
        places.push_back(normal);
    };
    const KVLString folder = KVLGetProgramFolder();
    if (!folder.IsEmpty()) {
        add(fs::path(folder.c_str()) / kZRNShowVideoModule);
#if defined(ZARNOTH_MODULE_FROM_PROGRAM)
        add(fs::path(folder.c_str()) / ZARNOTH_MODULE_FROM_PROGRAM / kZRNShowVideoModule);
#endif
    }
#if defined(ZARNOTH_MODULE_DIR)
    add(fs::path(ZARNOTH_MODULE_DIR) / kZRNShowVideoModule);
#endif
    return places;
}

}  // namespace

ZRNShowVideoModule::~ZRNShowVideoModule() {
    if (m_handle != nullptr) {
        dlclose(m_handle);
    }
}

bool ZRNShowVideoModule::Load(std::string* error) {
    const char* named = std::getenv("ZARNOTH_VIDEO_MODULE");
    std::vector<std::string> places;
    if (named != nullptr && *named != '\0') {
        // Made absolute: dlopen would search the library path for a bare name.
        std::error_code ec;
        const std::filesystem::path absolute = std::filesystem::absolute(named, ec);
        places.push_back(ec ? std::string(named) : absolute.lexically_normal().string());
    } else {
        places = ModulePlaces();
    }
    const std::string need = "videos need " + std::string(kZRNShowVideoModule);
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
        const auto version = reinterpret_cast<ZRNShowVideoInterfaceEntry>(dlsym(m_handle, kZRNShowVideoInterfaceName));
        std::string problem;
        if (version == nullptr) {
            problem = place + " has no interface version (it is older than this program, which needs version " +
                      ZRNDescribeShowVideoInterface(kZRNShowVideoInterface) + ")";
        } else if (const ZRNShowVideoInterface found = version(); !(found == kZRNShowVideoInterface)) {
            problem = place + " has interface version " + ZRNDescribeShowVideoInterface(found) +
                      ", this program needs version " + ZRNDescribeShowVideoInterface(kZRNShowVideoInterface) +
                      ": build or install the two together";
        } else {
            m_check = reinterpret_cast<ZRNShowVideoCheckEntry>(dlsym(m_handle, kZRNShowVideoCheckName));
            m_create = reinterpret_cast<ZRNShowVideoCreateEntry>(dlsym(m_handle, kZRNShowVideoCreateName));
            m_join = reinterpret_cast<ZRNShowVideoJoinEntry>(dlsym(m_handle, kZRNShowVideoJoinName));
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
    if (named != nullptr && *named != '\0') {
        where += " (named by ZARNOTH_VIDEO_MODULE)";
    }
    *error = need + ", which cannot be loaded: " + (where.empty() ? "the program's folder is unknown" : "there is no " + where);
    return false;
}

std::string ZRNShowVideoModule::Check(const ZRNShowVideoSettings& settings) const {
    std::string reason;
    m_check(&settings, &reason);
    return reason;
}

std::unique_ptr<ZRNShowVideoEncoder> ZRNShowVideoModule::Create(const ZRNShowVideoSettings& settings) const {
    return std::unique_ptr<ZRNShowVideoEncoder>(m_create(&settings));
}

std::string ZRNShowVideoModule::Join(const ZRNShowVideoJoin& join) const {
    std::string reason;
    m_join(&join, &reason);
    return reason;
}
