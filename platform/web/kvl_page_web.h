// What the program tells the page it runs in, and what the page asks of it.
//
// Events: the page's script handles them (Module.zarnothEvent(name, detail) when the
// page defines it); they are always also written to the browser's console as
// "zarnoth: name detail".
//
// Requests: the page pushes {name, value, at} objects onto Module.zarnothRequests (at:
// performance.now() when pushed; a missing array means none); the program takes them
// in order, one per call, on the page's one thread. A request's time matters when the
// page may get no animation frames for a while (a hidden tab): the program can act as
// of the moment it was asked.
//
// Status: the program sets Module.zarnothStatus[key] = value for the page to read
// (numbers only; the page reads them after each pass).
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

struct KVLWebPageRequest {
    std::string name;
    int64_t value = 0;
    // When the page asked (steady_clock, which is the page's performance.now()).
    std::chrono::steady_clock::time_point at;
};

void KVLWebPageEvent(const char* name, const char* detail);
// The oldest request not taken yet; false when there is none.
bool KVLWebTakePageRequest(KVLWebPageRequest* request);
void KVLWebPageStatus(const char* key, double value);
