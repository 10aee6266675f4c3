// KVLGetProgramFolder on Linux: the target of /proc/self/exe.
#include "platform/kvl_programpath.h"

#include <unistd.h>

#include <string>

KVLString KVLGetProgramFolder() {
    char path[4096];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) {
        return KVLString();
    }
    path[n] = '\0';
    std::string dir(path);
    const size_t slash = dir.rfind('/');
    if (slash == std::string::npos) {
        return KVLString();
    }
    dir.resize(slash + 1);
    return KVLString(dir.c_str());
}
