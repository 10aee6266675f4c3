// KVLThreadStepped: a worker without a thread, for the page, where the program has one
// thread (see kvl_mainloop_web.h). Start runs nothing yet; each step of the main loop
// (or each Wait of its owner) calls begin first, then loop calls while the worker is
// running, then end. A step makes loop calls as a thread would have made them since the
// last step: one, then each next one whose pause (Pause, counted from when the call
// before was due) is over, up to kMaxCallsPerStep, so the worker keeps its pace when
// the page's frames come slowly. Stop ends it at once in the caller's
// thread: running clears, and (begin first, if it has not run yet) end runs, unless a
// callback of this worker is in progress (then the step that made that call runs end
// when it returns).
//
// Limits: the worker's callbacks run on the main thread between frames, so a loop call
// must be short (the sound player's is one block of decoding); Pause does not sleep.
#pragma once

#include <chrono>

#include "platform/kvl_thread.h"
#include "platform/web/kvl_mainloop_web.h"

class KVLThreadStepped : public KVLThread, public KVLWebStepper {
public:
    static constexpr int32_t kMaxCallsPerStep = 8;

    KVLThreadStepped() = default;
    ~KVLThreadStepped() override;

    // Creating again first stops the previous worker.
    bool Create(int32_t argument, KVLThreadCallback begin, KVLThreadCallback loop,
                KVLThreadCallback end, void* context) override;
    void Start() override;
    bool Stop() override;
    void Pause(int32_t ms) override;
    void Wait(int32_t ms) override;
    void Step() override;

private:
    void Finish();

    bool m_begun = false;
    bool m_inCall = false;
    std::chrono::steady_clock::time_point m_resumeAt;  // when the next loop call is due
    std::chrono::steady_clock::time_point m_callDue;   // when the current one was due
    std::chrono::steady_clock::time_point m_lastStep;
};
