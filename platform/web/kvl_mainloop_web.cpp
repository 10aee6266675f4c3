// The list of steppers the page's main loop drives.
#include "platform/web/kvl_mainloop_web.h"

#include <algorithm>
#include <vector>

namespace {

// The page's one thread owns the list (see the header).
std::vector<KVLWebStepper*>& Steppers() {
    static std::vector<KVLWebStepper*> steppers;
    return steppers;
}

}  // namespace

void KVLWebAddStepper(KVLWebStepper* stepper) {
    std::vector<KVLWebStepper*>& list = Steppers();
    if (stepper != nullptr && std::find(list.begin(), list.end(), stepper) == list.end()) {
        list.push_back(stepper);
    }
}

void KVLWebRemoveStepper(KVLWebStepper* stepper) {
    std::vector<KVLWebStepper*>& list = Steppers();
    list.erase(std::remove(list.begin(), list.end(), stepper), list.end());
}

void KVLWebStepAll() {
    // A copy, checked against the live list before each step (see the header).
    const std::vector<KVLWebStepper*> pass = Steppers();
    for (KVLWebStepper* stepper : pass) {
        const std::vector<KVLWebStepper*>& live = Steppers();
        if (std::find(live.begin(), live.end(), stepper) != live.end()) {
            stepper->Step();
        }
    }
}
