// KVLGetProgramFolder on Windows: GetModuleFileNameA of the program's own module.
#include "platform/kvl_programpath.h"

#include <windows.h>

#include <string>

KVLString KVLGetProgramFolder() {
    char path[MAX_PATH + 1];
    const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    // 0: failure; MAX_PATH: the name was cut short and cannot be trusted.
    if (n == 0 || n >= MAX_PATH) {
        return KVLString();
    }
    path[n] = '\0';
    std::string dir(path);
    const size_t slash = dir.find_last_of("\\/");
    if (slash == std::string::npos) {
        return KVLString();
    }
    dir.resize(slash + 1);
    return KVLString(dir.c_str());
}
