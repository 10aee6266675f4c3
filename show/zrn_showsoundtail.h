// ZRNShowSoundTail: reads a WAV file's sound while another part of the program is still
// writing it, so that a video can take the soundtrack as the show plays it.
//
// Limits: 16-bit stereo with the 44-byte header the WAV output writes.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// Follows a WAV file (16-bit stereo, 44-byte header) while another part of the
// program appends to it, handing each whole frame on once: Take reads what has reached
// the file since the last call.
class ZRNShowSoundTail {
public:
    explicit ZRNShowSoundTail(std::string path) : m_path(std::move(path)) {}
    ~ZRNShowSoundTail();
    ZRNShowSoundTail(const ZRNShowSoundTail&) = delete;
    ZRNShowSoundTail& operator=(const ZRNShowSoundTail&) = delete;

    // Appends the new frames to 'out' (interleaved samples); false when the file
    // cannot be read.
    bool Take(std::vector<int16_t>* out);

private:
    std::string m_path;
    std::FILE* m_file = nullptr;
    int64_t m_offset = 44;
};
