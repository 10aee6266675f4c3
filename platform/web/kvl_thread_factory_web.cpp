// The web backend's workers are stepped by the page's main loop.
#include "platform/web/kvl_thread_web.h"

std::unique_ptr<KVLThread> KVLCreateWorkerThread() { return std::make_unique<KVLThreadStepped>(); }
