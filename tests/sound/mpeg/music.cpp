#include "sound/mpeg/music.h"

#include <cmath>

#include "support/test_support.h"

namespace mpegtest {

std::vector<int16_t> MakeMusic(int rate, int channels, double seconds, uint32_t seed) {
    const size_t frames = static_cast<size_t>(seconds * rate);
    std::vector<int16_t> out(frames * static_cast<size_t>(channels));
    static const double kNotes[8] = {220.0, 277.18, 329.63, 440.0, 246.94, 311.13, 369.99, 493.88};
    const double pi = 3.14159265358979323846;
    uint32_t noise = seed | 1;
    const double beat = 0.25;  // seconds per step
    for (size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / rate;
        const int step = static_cast<int>(t / beat);
        const double inStep = t - step * beat;
        const double env = std::exp(-inStep * 6.0) * (1.0 - std::exp(-inStep * 400.0));
        double left = 0.0;
        double right = 0.0;
        for (int v = 0; v < 3; ++v) {
            const double f = kNotes[(step + 2 * v + seed) % 8] * (v == 2 ? 2.0 : 1.0);
            double tone = 0.0;
            for (int h = 1; h <= 6; ++h) {
                if (f * h < rate / 2.2) {
                    tone += std::sin(2 * pi * f * h * t + v) / (h * h * 0.7 + 0.3);
                }
            }
            left += tone * (v == 0 ? 0.8 : 0.4);
            right += tone * (v == 1 ? 0.8 : 0.4);
        }
        noise = noise * 1664525u + 1013904223u;
        const double n = (static_cast<double>(noise >> 8) / 8388608.0 - 1.0);
        const double burst = (step % 4 == 2) ? std::exp(-inStep * 40.0) * n * 0.5 : 0.0;
        left = 0.22 * left * env + burst;
        right = 0.22 * right * env + 0.7 * burst;
        const auto clip = [](double x) {
            const double s = std::round(x * 32767.0);
            return static_cast<int16_t>(s > 32767 ? 32767 : (s < -32768 ? -32768 : s));
        };
        if (channels == 2) {
            out[2 * i] = clip(left);
            out[2 * i + 1] = clip(right);
        } else {
            out[i] = clip(0.5 * (left + right));
        }
    }
    return out;
}

void WriteWav(const std::string& path, int rate, int channels, const std::vector<int16_t>& samples) {
    std::vector<uint8_t> bytes = testsupport::WavHeader(static_cast<uint32_t>(samples.size() * 2),
                                                        static_cast<uint32_t>(rate), static_cast<uint16_t>(channels));
    for (const int16_t s : samples) {
        bytes.push_back(static_cast<uint8_t>(s));
        bytes.push_back(static_cast<uint8_t>(static_cast<uint16_t>(s) >> 8));
    }
    testsupport::WriteFile(path, bytes);
}

}  // namespace mpegtest
