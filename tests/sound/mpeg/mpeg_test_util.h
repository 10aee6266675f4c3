// Helpers of the MPEG decoder tests: decoding a byte buffer through the decoder's
// interface, and measuring the difference between two PCM sequences.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace mpegtest {

struct Decoded {
    bool opened = false;
    int channels = 0;
    int rate = 0;
    int frames = 0;  // decoder calls that produced output
    std::vector<int16_t> pcm;
};

// Decodes the whole buffer (full-band and rounded when fullBand), 16-bit output; the
// read callback hands out at most chunk bytes per call.
Decoded DecodeBytes(const std::vector<uint8_t>& bytes, bool fullBand, int32_t chunk = 1 << 30);

struct Difference {
    double rms = 0.0;  // in LSB of 16 bits
    int max = 0;
    size_t compared = 0;
};
Difference Compare(const int16_t* a, const int16_t* b, size_t n);

std::vector<int16_t> ToSamples(const std::vector<uint8_t>& bytes);

}  // namespace mpegtest
