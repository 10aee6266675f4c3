// The Win32 backend's main-loop helpers (see scene/zrn_backend.h).
#include "scene/zrn_backend.h"

#include <windows.h>

void ZRNBackendWaitForMessage() { KVLWindowWin32::WaitForMessage(); }

bool ZRNBackendPumpMessages() { return KVLWindowWin32::PumpMessages(); }

KVLString ZRNBackendLastError() {
    const DWORD code = GetLastError();
    if (code == 0) {
        return KVLString();
    }
    char text[256] = {};
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                                   sizeof text, nullptr);
    KVLString result;
    if (n == 0) {
        result.Format("error %lu", static_cast<unsigned long>(code));
        return result;
    }
    // The system's text ends with a line break.
    size_t end = n;
    while (end > 0 && (text[end - 1] == '\r' || text[end - 1] == '\n' || text[end - 1] == ' ' || text[end - 1] == '.')) {
        --end;
    }
    text[end] = '\0';
    result.Format("%s (%lu)", text, static_cast<unsigned long>(code));
    return result;
}

void ZRNBackendRunLoop(std::function<bool()> pass, std::function<void()> done) {
    while (pass()) {
    }
    done();
}
