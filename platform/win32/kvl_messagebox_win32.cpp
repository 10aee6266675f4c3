// KVLMessageBox with MessageBoxA. The text always goes to standard error as well; with
// the environment variable ZARNOTH_NO_MESSAGE_BOX set (tests, unattended runs) no box
// is shown, so nothing ever waits for a user who is not there.
#include "platform/kvl_messagebox.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>

bool KVLMessageBox(const char* text, const char* caption) {
    if (text == nullptr) {
        text = "";
    }
    if (caption == nullptr) {
        caption = "";
    }
    std::fprintf(stderr, "%s: %s\n", caption, text);
    std::fflush(stderr);
    if (std::getenv("ZARNOTH_NO_MESSAGE_BOX") != nullptr) {
        return false;
    }
    return MessageBoxA(nullptr, text, caption, MB_OK | MB_ICONERROR) != 0;
}
