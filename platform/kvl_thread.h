// Worker threads: the abstract KVLThread and KVLThreadStd on std::thread.
//
// Where the program has no threads (the web page), the backend's worker is stepped
// from the main loop instead: KVLCreateWorkerThread gives each backend's kind, and a
// worker's loop and its owner's waits go through Pause and Wait, so that the same
// worker code runs either way.
//
// A worker is three plain functions, begin, loop and end, each (argument, context)
// -> bool and each optional. Create makes the thread without running anything;
// Start lets it run: begin once, loop while the worker is running, end once, then the
// worker is finished. A callback returning false stops the worker (end still runs);
// Stop asks it to stop and waits for the end.
//
// running and finished are shared between the owner and the worker and are atomic.
// Stop and the destructor wait by polling every millisecond without a time-out; they
// must not be reached from the worker's callbacks (KVLThreadStd::Stop, called there,
// only asks the loop to end).
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

using KVLThreadCallback = bool (*)(int32_t argument, void* context);

class KVLThread {
public:
    KVLThread(const KVLThread&) = delete;
    KVLThread& operator=(const KVLThread&) = delete;
    // Clears running and waits until finished.
    virtual ~KVLThread();

    // Stores the five values; an implementation first makes its suspended thread and
    // returns false (storing nothing) when it cannot.
    virtual bool Create(int32_t argument, KVLThreadCallback begin, KVLThreadCallback loop,
                        KVLThreadCallback end, void* context) = 0;
    // Marks the worker running and not finished; an implementation then lets its
    // thread run.
    virtual void Start() = 0;
    // Clears running, waits until finished and returns true.
    virtual bool Stop();

    bool IsRunning() const { return m_running.load(); }
    bool IsFinished() const { return m_finished.load(); }
    // -1 when the end callback returned false, otherwise 0 (after the worker finished).
    int32_t GetExitCode() const { return m_exitCode.load(); }

    // From the worker's loop, between two pieces of work: lets the machine do other
    // things for about ms. A worker on a thread of its own sleeps; a stepped worker
    // returns at once (its next loop call comes with the next step).
    virtual void Pause(int32_t ms);
    // From the owner, while it waits for the worker to get somewhere: a worker on a
    // thread of its own goes on meanwhile, so the owner sleeps ms; a stepped worker
    // makes one step in the owner's thread.
    virtual void Wait(int32_t ms);

protected:
    KVLThread() = default;
    // The worker's body; runs on the worker thread.
    void Body();
    void WaitUntilFinished();

    int32_t m_argument = -1;
    KVLThreadCallback m_begin = nullptr;
    KVLThreadCallback m_loop = nullptr;
    KVLThreadCallback m_end = nullptr;
    void* m_context = nullptr;
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_finished{true};
    std::atomic<int32_t> m_exitCode{0};
};

// The worker on a std::thread. The thread is made at Create and waits at a gate until
// Start; a worker created but never started is released without running anything
// when it is created again or destroyed. Start acts only once per Create (and not at
// all without one), so Stop can never wait for a worker that does not exist.
class KVLThreadStd : public KVLThread {
public:
    KVLThreadStd() = default;
    ~KVLThreadStd() override;

    // Creating again first ends the previous worker (stopping it when it runs).
    bool Create(int32_t argument, KVLThreadCallback begin, KVLThreadCallback loop,
                KVLThreadCallback end, void* context) override;
    void Start() override;
    // From the worker's own callbacks only clears running, so the loop ends after the
    // current call; elsewhere as KVLThread::Stop.
    bool Stop() override;

private:
    void Release();
    void Main();

    std::thread m_thread;
    std::atomic<std::thread::id> m_workerId{};
    std::mutex m_gateMutex;
    std::condition_variable m_gate;
    bool m_released = false;   // guarded by m_gateMutex
    bool m_cancelled = false;  // guarded by m_gateMutex
    bool m_started = false;    // owner's side only
};

// A new, not yet created worker of the platform backend's kind (KVLThreadStd, or a
// worker stepped by the main loop where there are no threads).
std::unique_ptr<KVLThread> KVLCreateWorkerThread();
