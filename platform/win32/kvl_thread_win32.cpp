// KVLThreadWin32: CreateThread (suspended), SetThreadPriority, ResumeThread.
#include "platform/win32/kvl_thread_win32.h"

#include <windows.h>

class KVLThreadWin32Body {
public:
    static DWORD WINAPI Main(LPVOID parameter) {
        KVLThreadWin32* self = static_cast<KVLThreadWin32*>(parameter);
        if (self->m_cancelled.load()) {
            return 0;
        }
        self->Body();
        // The owner waits for this thread to end before it lets the object go, so the
        // exit code can still be read here.
        return static_cast<DWORD>(self->GetExitCode());
    }
};

KVLThreadWin32::~KVLThreadWin32() { Release(); }

void KVLThreadWin32::Release() {
    if (m_handle == nullptr) {
        return;
    }
    HANDLE handle = static_cast<HANDLE>(m_handle);
    if (m_started) {
        WaitUntilFinished();
    } else {
        // Never started: let the suspended thread run just far enough to see that it
        // is cancelled.
        m_cancelled.store(true);
        ResumeThread(handle);
    }
    WaitForSingleObject(handle, INFINITE);
    CloseHandle(handle);
    m_handle = nullptr;
    m_threadId = 0;
    m_started = false;
}

bool KVLThreadWin32::Create(int32_t argument, KVLThreadCallback begin, KVLThreadCallback loop, KVLThreadCallback end,
                            void* context) {
    Release();
    m_cancelled.store(false);
    DWORD id = 0;
    HANDLE handle = CreateThread(nullptr, 0, &KVLThreadWin32Body::Main, this, CREATE_SUSPENDED, &id);
    if (handle == nullptr) {
        return false;
    }
    m_handle = handle;
    m_threadId = id;
    if (!SetThreadPriority(handle, THREAD_PRIORITY_NORMAL)) {
        Release();
        return false;
    }
    return KVLThread::Create(argument, begin, loop, end, context);
}

void KVLThreadWin32::Start() {
    if (m_handle == nullptr || m_started) {
        return;
    }
    m_started = true;
    KVLThread::Start();
    ResumeThread(static_cast<HANDLE>(m_handle));
}

bool KVLThreadWin32::Stop() {
    if (m_threadId != 0 && m_threadId == GetCurrentThreadId()) {
        m_running.store(false);
        return true;
    }
    return KVLThread::Stop();
}
