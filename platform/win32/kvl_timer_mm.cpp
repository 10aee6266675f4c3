// KVLTimerMM: timeSetEvent / timeKillEvent and the callback trampoline.
#include "platform/win32/kvl_timer_mm.h"

#include <windows.h>
#include <mmsystem.h>

class KVLTimerMMTrampoline {
public:
    static void CALLBACK Callback(UINT eventId, UINT, DWORD_PTR user, DWORD_PTR, DWORD_PTR) {
        reinterpret_cast<KVLTimerMM*>(user)->Fire(eventId);
    }
};

KVLTimerMM::~KVLTimerMM() { Stop(); }

void KVLTimerMM::Setup(int32_t periodMs, int32_t argument, KVLTimerCallback callback, void* context) {
    Stop();
    m_period = periodMs;
    m_argument = argument;
    m_callback = callback;
    m_context = context;
}

void KVLTimerMM::Start() {
    Stop();
    if (m_callback == nullptr || m_period <= 0) {
        return;
    }
    const UINT period = static_cast<UINT>(m_period);
    // The id is stored while the event may already fire: Fire ignores calls for an id
    // other than the stored one, and the first call of the new event can only miss
    // the period in which it raced with this store.
    const MMRESULT id = timeSetEvent(period, period, &KVLTimerMMTrampoline::Callback, reinterpret_cast<DWORD_PTR>(this),
                                     TIME_PERIODIC | TIME_CALLBACK_FUNCTION | TIME_KILL_SYNCHRONOUS);
    m_eventId.store(id);
}

void KVLTimerMM::Stop() {
    const unsigned id = m_eventId.exchange(0);
    if (id == 0) {
        return;
    }
    timeKillEvent(id);
    if (m_callbackThread.load() == GetCurrentThreadId()) {
        // From the callback: it is this very call that is running.
        return;
    }
    // A call that saw the event still armed has raised m_inCallback before checking;
    // wait for it to finish. Calls that start from now on see id 0 and return.
    while (m_inCallback.load()) {
        Sleep(0);
    }
}

void KVLTimerMM::Fire(unsigned eventId) {
    // Raise the flag first, then look at the id: with Stop's clear-then-look this
    // sequentially consistent pair guarantees that Stop either sees the flag or this
    // call sees the cleared id.
    m_inCallback.store(true);
    m_callbackThread.store(GetCurrentThreadId());
    if (eventId != 0 && m_eventId.load() == eventId) {
        m_callback(m_argument, m_context);
    }
    m_callbackThread.store(0);
    m_inCallback.store(false);
}
