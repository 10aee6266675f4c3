// ZRNProgressLine: the terminal check, the format and the redraw rate.
#include "show/zrn_progressline.h"

#ifdef _WIN32
#include <io.h>
#define ZARNOTH_ISATTY _isatty
#define ZARNOTH_FILENO _fileno
#else
#include <unistd.h>
#define ZARNOTH_ISATTY isatty
#define ZARNOTH_FILENO fileno
#endif

namespace {

constexpr auto kRedraw = std::chrono::milliseconds(250);

std::string Clock(double seconds) {
    const int64_t s = seconds > 0 ? static_cast<int64_t>(seconds + 0.5) : 0;
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(s / 60), static_cast<long long>(s % 60));
    return text;
}

}  // namespace

ZRNProgressLine::ZRNProgressLine(std::FILE* out, const char* what, int64_t total, std::FILE* counts)
    : m_out(out != nullptr && ZARNOTH_ISATTY(ZARNOTH_FILENO(out)) ? out : nullptr),
      m_counts(counts),
      m_what(what),
      m_total(total),
      m_start(std::chrono::steady_clock::now()),
      m_lastDraw(m_start) {}

ZRNProgressLine::~ZRNProgressLine() { Finish(); }

std::string ZRNProgressLine::Format(const char* what, int64_t done, int64_t total, double elapsed) {
    std::string line = std::string(what) + ": " + std::to_string(done) + "/" + std::to_string(total) +
                       " pictures, " + Clock(elapsed) + " elapsed";
    if (done > 0 && elapsed > 0.0) {
        char speed[32];
        std::snprintf(speed, sizeof speed, ", %.1f/s", static_cast<double>(done) / elapsed);
        line += speed;
    }
    if (done > 0 && done <= total) {
        line += ", " + Clock(elapsed * static_cast<double>(total - done) / static_cast<double>(done)) + " left";
    }
    return line;
}

void ZRNProgressLine::Update(int64_t done) {
    if (m_out == nullptr && m_counts == nullptr) {
        return;
    }
    const auto now = std::chrono::steady_clock::now();
    if (m_drawn && now - m_lastDraw < kRedraw && done < m_total) {
        return;
    }
    m_lastDraw = now;
    m_drawn = true;
    if (m_counts != nullptr) {
        std::fprintf(m_counts, "progress %lld/%lld\n", static_cast<long long>(done), static_cast<long long>(m_total));
        std::fflush(m_counts);
    }
    if (m_out == nullptr) {
        return;
    }
    const double elapsed = std::chrono::duration<double>(now - m_start).count();
    // The trailing spaces wipe what a longer previous line left.
    std::fprintf(m_out, "\r%s   ", Format(m_what.c_str(), done, m_total, elapsed).c_str());
    std::fflush(m_out);
}

void ZRNProgressLine::Finish() {
    m_counts = nullptr;
    if (m_out == nullptr) {
        return;
    }
    if (m_drawn) {
        std::fputc('\n', m_out);
        std::fflush(m_out);
    }
    m_out = nullptr;
}
