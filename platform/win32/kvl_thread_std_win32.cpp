// The Win32 backend's workers run on threads of their own (std::thread).
#include "platform/kvl_thread.h"

std::unique_ptr<KVLThread> KVLCreateWorkerThread() { return std::make_unique<KVLThreadStd>(); }
