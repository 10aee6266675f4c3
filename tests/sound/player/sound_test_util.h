// Shared helpers of the output, streamer and player tests: MP3 streams made with lame,
// reference PCM decoded through the streamer, WAV data read back.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sound/kvl_soundstreamer.h"

namespace soundtest {

// Writes a 16-bit stereo WAV of frames frames at rate: two detuned tones with a
// little pattern noise, so that no stretch repeats.
void WriteToneWav(const std::string& path, int32_t frames, int32_t rate);
// Encodes wav to mp3 with lame; false when lame is missing or fails.
bool EncodeMp3(const std::string& wav, const std::string& mp3);
// Every frame the MP3 streamer hands out for the file, read in blocks of 8192 until
// the end (32-bit stereo words).
std::vector<uint32_t> DecodeWithStreamer(const std::string& mp3);
// Every frame an open streamer hands out from where it stands to its end.
std::vector<uint32_t> ReadToEnd(KVLSoundStreamer& streamer);
// The data chunk of a WAV file as 32-bit stereo words (16-bit stereo files only).
std::vector<uint32_t> WavFrames(const std::string& path);
// Raw little-endian 16-bit stereo bytes as 32-bit words.
std::vector<uint32_t> RawFrames(const std::vector<uint8_t>& bytes);

}  // namespace soundtest
