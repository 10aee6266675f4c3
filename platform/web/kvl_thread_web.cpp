// KVLThreadStepped: the worker's begin, loop and end calls made from the main loop.
#include "platform/web/kvl_thread_web.h"

#include <algorithm>

KVLThreadStepped::~KVLThreadStepped() { Stop(); }

bool KVLThreadStepped::Create(int32_t argument, KVLThreadCallback begin, KVLThreadCallback loop,
                              KVLThreadCallback end, void* context) {
    Stop();
    m_begun = false;
    return KVLThread::Create(argument, begin, loop, end, context);
}

void KVLThreadStepped::Start() {
    if (!IsFinished()) {
        return;
    }
    m_begun = false;
    KVLThread::Start();
    KVLWebAddStepper(this);
}

bool KVLThreadStepped::Stop() {
    m_running.store(false);
    if (!m_inCall && !m_finished.load()) {
        // A started worker always begins, as one on a thread does.
        if (!m_begun) {
            m_begun = true;
            m_inCall = true;
            if (m_begin != nullptr) {
                m_begin(m_argument, m_context);
            }
            m_inCall = false;
        }
        Finish();
    }
    return true;
}

// The main loop gives the machine back between steps; the pause only says when the
// next loop call is due, counted from when the current one was due (as a thread's
// calls would have followed each other), not from when a late step made it.
void KVLThreadStepped::Pause(int32_t ms) { m_resumeAt = m_callDue + std::chrono::milliseconds(ms); }

// The owner waits in the one thread there is: the worker can only move on if the
// owner lets it, so one step takes the place of the wait.
void KVLThreadStepped::Wait(int32_t) { Step(); }

void KVLThreadStepped::Step() {
    if (m_finished.load() || m_inCall) {
        return;
    }
    m_inCall = true;
    const auto stepAt = std::chrono::steady_clock::now();
    if (!m_begun) {
        m_begun = true;
        if (m_begin != nullptr && !m_begin(m_argument, m_context)) {
            m_running.store(false);
        }
    } else if (m_loop == nullptr) {
        m_running.store(false);
    } else {
        // Calls fall due from the last step on at the earliest: a thread owes none for
        // the time before (the page may have had no frames for seconds).
        m_resumeAt = std::max(m_resumeAt, m_lastStep);
        for (int32_t calls = 0; calls < kMaxCallsPerStep && m_running.load(); ++calls) {
            const auto now = std::chrono::steady_clock::now();
            if (calls > 0 && now < m_resumeAt) {
                break;
            }
            m_callDue = std::min(m_resumeAt, now);
            if (!m_loop(m_argument, m_context)) {
                m_running.store(false);
            }
        }
    }
    m_lastStep = stepAt;
    m_inCall = false;
    if (!m_running.load()) {
        Finish();
    }
}

void KVLThreadStepped::Finish() {
    KVLWebRemoveStepper(this);
    m_inCall = true;
    bool endOk = true;
    if (m_end != nullptr) {
        endOk = m_end(m_argument, m_context);
    }
    m_inCall = false;
    m_exitCode.store(endOk ? 0 : -1);
    m_finished.store(true);
}
