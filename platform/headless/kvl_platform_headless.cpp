// The platform pieces for programs without a display or sound device that use only
// the multimedia layers (pictures, archives, animations, sound decoding), installed as
// Zarnoth::kvlplatform_headless: workers on threads of their own, and no message box
// (KVLMessageBox's line on standard error is all there is). Never linked beside a
// display backend, which defines the same two functions.
#include "platform/kvl_messagebox.h"
#include "platform/kvl_thread.h"

std::unique_ptr<KVLThread> KVLCreateWorkerThread() { return std::make_unique<KVLThreadStd>(); }

bool KVLShowNativeMessageBox(const char*, const char*) { return false; }
