// Measures for comparing two pictures drawn by different renderers.
#pragma once

#include <cmath>
#include <cstddef>

#include "image/kvl_image.h"

namespace testsupport {

// Peak signal-to-noise ratio of two pictures of the same size over R, G and B, in dB
// (1000 for identical pictures).
inline double PSNR(const KVLImage& a, const KVLImage& b) {
    double sum = 0.0;
    const size_t n = static_cast<size_t>(a.width) * static_cast<size_t>(a.height);
    for (size_t i = 0; i < n; ++i) {
        for (int shift = 0; shift < 24; shift += 8) {
            const double d = static_cast<double>((a.pixels[i] >> shift) & 255) - ((b.pixels[i] >> shift) & 255);
            sum += d * d;
        }
    }
    const double mse = sum / (3.0 * static_cast<double>(n));
    return mse == 0.0 ? 1000.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
}

}  // namespace testsupport
