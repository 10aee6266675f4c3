// KVLTimerThread: a periodic callback on a dedicated std::thread.
#include "platform/kvl_timer.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

#if defined(__linux__)
#include <sys/prctl.h>
#endif

struct KVLTimerThread::Run {
    std::mutex mutex;
    std::condition_variable wake;
    bool stop = false;            // guarded by mutex
    std::thread::id thread;       // guarded by mutex; set by the timer thread
    std::chrono::milliseconds period{0};
    int32_t argument = 0;
    KVLTimerCallback callback = nullptr;
    void* context = nullptr;
};

KVLTimerThread::~KVLTimerThread() { Stop(); }

void KVLTimerThread::Setup(int32_t periodMs, int32_t argument, KVLTimerCallback callback,
                           void* context) {
    Stop();
    m_period = periodMs;
    m_argument = argument;
    m_callback = callback;
    m_context = context;
}

void KVLTimerThread::Start() {
    Stop();
    if (m_callback == nullptr || m_period <= 0) {
        return;
    }
    m_run = std::make_shared<Run>();
    m_run->period = std::chrono::milliseconds(m_period);
    m_run->argument = m_argument;
    m_run->callback = m_callback;
    m_run->context = m_context;
    // m_run is set before the thread exists, so a callback that calls Stop reads it
    // safely.
    m_thread = std::thread(&KVLTimerThread::Loop, m_run);
}

void KVLTimerThread::Stop() {
    if (m_run == nullptr) {
        return;
    }
    {
        std::lock_guard<std::mutex> lock(m_run->mutex);
        m_run->stop = true;
        if (m_run->thread == std::this_thread::get_id()) {
            // Called from the callback: the loop ends when the callback returns. The
            // thread is joined by the owner's next Setup, Start, Stop or destruction;
            // nothing of the timer object is touched from here.
            return;
        }
    }
    m_run->wake.notify_all();
    m_thread.join();
    m_run.reset();
}

bool KVLTimerThread::IsArmed() const {
    if (m_run == nullptr) {
        return false;
    }
    std::lock_guard<std::mutex> lock(m_run->mutex);
    return !m_run->stop;
}

void KVLTimerThread::Loop(std::shared_ptr<Run> run) {
#if defined(__linux__)
    // The default 50 us timer slack would let every wake-up come late by that much.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
#endif
    KVLTimerSchedule schedule;
    schedule.Start(KVLTimerSchedule::Clock::now(), run->period);
    std::unique_lock<std::mutex> lock(run->mutex);
    run->thread = std::this_thread::get_id();
    for (;;) {
        if (run->wake.wait_until(lock, schedule.Deadline(), [&] { return run->stop; })) {
            return;
        }
        lock.unlock();
        run->callback(run->argument, run->context);
        lock.lock();
        schedule.Advance(KVLTimerSchedule::Clock::now());
    }
}
