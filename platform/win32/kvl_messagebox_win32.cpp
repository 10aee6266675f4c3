// The message box on Windows: MessageBoxA with a stop icon.
#include "platform/kvl_messagebox.h"

#include <windows.h>

bool KVLShowNativeMessageBox(const char* text, const char* caption) {
    return MessageBoxA(nullptr, text, caption, MB_OK | MB_ICONERROR) != 0;
}
