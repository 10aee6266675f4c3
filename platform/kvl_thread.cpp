// KVLThread (worker body and cooperative stop) and KVLThreadStd (std::thread).
#include "platform/kvl_thread.h"

#include <chrono>
#include <system_error>

KVLThread::~KVLThread() { WaitUntilFinished(); }

bool KVLThread::Create(int32_t argument, KVLThreadCallback begin, KVLThreadCallback loop,
                       KVLThreadCallback end, void* context) {
    m_argument = argument;
    m_begin = begin;
    m_loop = loop;
    m_end = end;
    m_context = context;
    return true;
}

void KVLThread::Start() {
    m_running.store(true);
    m_finished.store(false);
}

bool KVLThread::Stop() {
    WaitUntilFinished();
    return true;
}

void KVLThread::Pause(int32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

void KVLThread::Wait(int32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

void KVLThread::WaitUntilFinished() {
    m_running.store(false);
    while (!m_finished.load()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

void KVLThread::Body() {
    if (m_begin != nullptr && !m_begin(m_argument, m_context)) {
        m_running.store(false);
    }
    if (m_loop != nullptr) {
        while (m_running.load()) {
            if (!m_loop(m_argument, m_context)) {
                m_running.store(false);
            }
        }
    }
    bool endOk = true;
    if (m_end != nullptr) {
        endOk = m_end(m_argument, m_context);
    }
    m_exitCode.store(endOk ? 0 : -1);
    // Last touch of the object by the worker: the owner may go on once it sees this.
    m_finished.store(true);
}

KVLThreadStd::~KVLThreadStd() { Release(); }

void KVLThreadStd::Release() {
    if (!m_thread.joinable()) {
        return;
    }
    if (m_started) {
        WaitUntilFinished();
    } else {
        std::lock_guard<std::mutex> lock(m_gateMutex);
        m_cancelled = true;
        m_gate.notify_all();
    }
    m_thread.join();
    m_workerId.store(std::thread::id());
    m_started = false;
}

bool KVLThreadStd::Create(int32_t argument, KVLThreadCallback begin, KVLThreadCallback loop,
                          KVLThreadCallback end, void* context) {
    Release();
    {
        std::lock_guard<std::mutex> lock(m_gateMutex);
        m_released = false;
        m_cancelled = false;
    }
    try {
        m_thread = std::thread(&KVLThreadStd::Main, this);
    } catch (const std::system_error&) {
        return false;
    }
    return KVLThread::Create(argument, begin, loop, end, context);
}

void KVLThreadStd::Start() {
    if (!m_thread.joinable() || m_started) {
        return;
    }
    m_started = true;
    KVLThread::Start();
    std::lock_guard<std::mutex> lock(m_gateMutex);
    m_released = true;
    m_gate.notify_all();
}

bool KVLThreadStd::Stop() {
    if (m_workerId.load() == std::this_thread::get_id()) {
        m_running.store(false);
        return true;
    }
    return KVLThread::Stop();
}

void KVLThreadStd::Main() {
    m_workerId.store(std::this_thread::get_id());
    {
        std::unique_lock<std::mutex> lock(m_gateMutex);
        m_gate.wait(lock, [this] { return m_released || m_cancelled; });
        if (m_cancelled) {
            return;
        }
    }
    Body();
}
