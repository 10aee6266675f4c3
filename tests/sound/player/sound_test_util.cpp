// Helpers of the sound output and player tests.
#include "sound/player/sound_test_util.h"

#include <cmath>
#include <cstring>
#include <numbers>

#include "sound/kvl_soundstreamer.h"
#include "support/test_support.h"

namespace soundtest {

namespace {
void Put(std::vector<uint8_t>& b, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        b.push_back(static_cast<uint8_t>(v >> (8 * i)));
    }
}
}  // namespace

void WriteToneWav(const std::string& path, int32_t frames, int32_t rate) {
    std::vector<uint8_t> b = testsupport::WavHeader(static_cast<uint32_t>(frames) * 4, static_cast<uint32_t>(rate), 2);
    const std::vector<uint8_t> noise = testsupport::PatternBytes(static_cast<size_t>(frames), 7);
    for (int32_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / rate;
        const double sweep = 220.0 + 40.0 * t;
        const auto l = static_cast<int16_t>(9000 * std::sin(2 * std::numbers::pi * sweep * t) + (noise[static_cast<size_t>(i)] - 128) * 8);
        const auto r = static_cast<int16_t>(7000 * std::sin(2 * std::numbers::pi * 331.0 * t + t * t));
        Put(b, static_cast<uint16_t>(l), 2);
        Put(b, static_cast<uint16_t>(r), 2);
    }
    testsupport::WriteFile(path, b);
}

bool EncodeMp3(const std::string& wav, const std::string& mp3) {
    if (!testsupport::HaveProgram("lame")) {
        return false;
    }
    return testsupport::Run("lame --quiet -b 128 '" + wav + "' '" + mp3 + "'") == 0;
}

std::vector<uint32_t> DecodeWithStreamer(const std::string& mp3) {
    KVLSoundStreamerMP3 streamer;
    if (!streamer.OpenFile(mp3.c_str(), nullptr)) {
        return {};
    }
    return ReadToEnd(streamer);
}

std::vector<uint32_t> ReadToEnd(KVLSoundStreamer& streamer) {
    std::vector<uint32_t> out;
    KVLSampleBlock* block = KVLCreateSampleBlock(8192);
    for (;;) {
        const int32_t r = streamer.Read(block);
        if (r <= 0) {
            break;
        }
        out.insert(out.end(), block->data, block->data + r);
    }
    KVLReleaseSampleBlock(block);
    return out;
}

std::vector<uint32_t> RawFrames(const std::vector<uint8_t>& bytes) {
    std::vector<uint32_t> out(bytes.size() / 4);
    for (size_t i = 0; i < out.size(); ++i) {
        out[i] = static_cast<uint32_t>(bytes[4 * i]) | static_cast<uint32_t>(bytes[4 * i + 1]) << 8 |
                 static_cast<uint32_t>(bytes[4 * i + 2]) << 16 | static_cast<uint32_t>(bytes[4 * i + 3]) << 24;
    }
    return out;
}

std::vector<uint32_t> WavFrames(const std::string& path) {
    const std::vector<uint8_t> bytes = testsupport::ReadFile(path);
    if (bytes.size() < 44 || std::memcmp(bytes.data() + 36, "data", 4) != 0) {
        return {};
    }
    return RawFrames(std::vector<uint8_t>(bytes.begin() + 44, bytes.end()));
}

}  // namespace soundtest
