// Synthesised test music for encoder round trips: chords of harmonic notes with
// envelopes, noise bursts (sharp attacks, so encoders switch to short blocks) and
// different left and right parts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace mpegtest {

std::vector<int16_t> MakeMusic(int rate, int channels, double seconds, uint32_t seed);
void WriteWav(const std::string& path, int rate, int channels, const std::vector<int16_t>& samples);

}  // namespace mpegtest
