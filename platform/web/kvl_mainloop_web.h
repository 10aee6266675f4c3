// The page's main loop stands in for the threads the program has elsewhere: the
// browser runs the program on one thread, and threads would need a cross-origin
// isolated page (SharedArrayBuffer), which a plain static host does not give. Objects
// that would run on a thread of their own (the timer, the sound player's worker)
// register here while they are active, and the main loop steps each of them once per
// pass, in registration order.
//
// Main thread only. A stepper may register or remove steppers (itself included) from
// its Step: one removed during a pass is not stepped after its removal, one added
// during a pass waits for the next.
#pragma once

class KVLWebStepper {
public:
    virtual ~KVLWebStepper() = default;
    virtual void Step() = 0;
};

void KVLWebAddStepper(KVLWebStepper* stepper);
// Nothing happens when stepper is not registered.
void KVLWebRemoveStepper(KVLWebStepper* stepper);
// One Step of every registered stepper.
void KVLWebStepAll();
