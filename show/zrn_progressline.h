// One progress line for long offline runs (a capture, a video): pictures done of the
// total, the time taken so far, the pictures per second and an estimate of the time left, redrawn in place with a carriage
// return. It is shown only when its stream is a terminal, so logs and pipes stay clean.
// Redraws are limited to a few a second; Finish ends the line. A second stream, when
// given, gets "progress DONE/TOTAL" lines at the same moments, for a program that
// follows the run (a part of --jobs tells its parent so).
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

class ZRNProgressLine {
public:
    ZRNProgressLine(std::FILE* out, const char* what, int64_t total, std::FILE* counts = nullptr);
    ~ZRNProgressLine();
    ZRNProgressLine(const ZRNProgressLine&) = delete;
    ZRNProgressLine& operator=(const ZRNProgressLine&) = delete;

    bool IsShown() const { return m_out != nullptr; }
    void Update(int64_t done);
    void Finish();

    // "what: done/total pictures, m:ss elapsed, R.R/s, m:ss left"; the rate and the
    // estimate need at least one picture done.
    static std::string Format(const char* what, int64_t done, int64_t total, double elapsedSeconds);

private:
    std::FILE* m_out;
    std::FILE* m_counts;
    std::string m_what;
    int64_t m_total;
    std::chrono::steady_clock::time_point m_start;
    std::chrono::steady_clock::time_point m_lastDraw;
    bool m_drawn = false;
};
