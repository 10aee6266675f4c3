// The SDL backend's workers run on threads of their own.
#include "platform/kvl_thread.h"

std::unique_ptr<KVLThread> KVLCreateWorkerThread() { return std::make_unique<KVLThreadStd>(); }
