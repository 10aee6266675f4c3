// The message box on the page: the page shows the text over the canvas (its "message"
// event); the console has the line from KVLMessageBox already. It does not wait: the
// page has no modal box that keeps the program's one thread.
#include "platform/kvl_messagebox.h"
#include "platform/web/kvl_page_web.h"

#include <string>

bool KVLShowNativeMessageBox(const char* text, const char* caption) {
    KVLWebPageEvent("message", (std::string(caption) + ": " + text).c_str());
    return true;
}
