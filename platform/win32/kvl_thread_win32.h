// KVLThreadWin32: the worker on a Win32 thread.
//
// Create makes the thread suspended (CreateThread with CREATE_SUSPENDED) at normal
// priority; Start lets it run the worker body. A thread that was created but never
// started is let go at its next Create or destruction without running any callback,
// so no suspended thread outlives its object. Start acts once per Create; Stop and
// the destructor wait for the worker as KVLThread does, then for the thread itself,
// and close its handle. Called from the worker's own callbacks, Stop only clears
// running, so the loop ends after the current call.
#pragma once

#include <atomic>

#include "platform/kvl_thread.h"

class KVLThreadWin32 : public KVLThread {
public:
    KVLThreadWin32() = default;
    ~KVLThreadWin32() override;

    // Ends a previous worker first (stopping it when it runs). False, storing nothing,
    // when the thread cannot be made or its priority set.
    bool Create(int32_t argument, KVLThreadCallback begin, KVLThreadCallback loop, KVLThreadCallback end,
                void* context) override;
    void Start() override;
    bool Stop() override;

    // The system thread handle; null until Create.
    void* GetHandle() const { return m_handle; }

private:
    void Release();
    friend class KVLThreadWin32Body;

    void* m_handle = nullptr;
    unsigned long m_threadId = 0;
    bool m_started = false;                  // owner's side only
    std::atomic<bool> m_cancelled{false};    // set before a never-started thread is let go
};
