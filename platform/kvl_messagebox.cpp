// KVLMessageBox: the line on standard error and the unattended-run rule, the same on
// every backend; the box itself is the backend's (KVLShowNativeMessageBox).
#include "platform/kvl_messagebox.h"

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
    const char* unattended = std::getenv("ZARNOTH_NO_MESSAGE_BOX");
    if (unattended != nullptr && unattended[0] != '\0') {
        return false;
    }
    return KVLShowNativeMessageBox(text, caption);
}
