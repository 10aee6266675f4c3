// The demo's soundtrack: composed here as note events, rendered by the synthesiser and
// encoded to MP3 with LAME at fixed settings.
//
// 122.449 beats per minute (a beat is 0.49 s, 35 timer ticks), 176 beats (86.24 s).
// Sections start on beats 8, 32, 82 and 158 (3.92 s, 15.68 s, 40.18 s, 77.42 s), the
// moments the demo changes scenes; the last sixteenth before each change is left quiet.
#pragma once

#include <cstdint>
#include <vector>

#include "assets/asset_member.h"

namespace assetgen {

constexpr int kMp3Bitrate = 160;

// Interleaved 16-bit stereo at 44.1 kHz.
std::vector<int16_t> RenderSoundtrackPcm();
// MPEG-1 Layer III, plain stereo, CBR kMp3Bitrate kbit/s, no VBR/Info header frame,
// ID3v1.1 tag at the end. The input is advanced by the encoder's and a decoder's delay
// so that decoded sample n lines up with rendered sample n.
std::vector<uint8_t> EncodeSoundtrack(const std::vector<int16_t>& pcm);

// "snd\qv.mp3".
AssetMember BuildSoundtrack();

}  // namespace assetgen
