// kvl record: records from a capture name ("0.dsoundcap", "-1.mcicap" ...) through the
// capture streamer into a 16-bit stereo 44100 Hz WAV file.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "sound/kvl_soundstreamer.h"
#include "tools/kvl/kvl_command.h"

namespace {

extern const KvlCommand kRecordCommand;

constexpr int32_t kReadFrames = 4096;
constexpr double kMaxSeconds = 3600.0;

void PutU32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<uint8_t>(v >> (8 * i));
    }
}

bool WriteHeader(std::FILE* out, uint32_t dataBytes) {
    uint8_t h[44] = {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ',
                     16, 0, 0, 0, 1, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 4, 0, 16, 0,
                     'd', 'a', 't', 'a'};
    PutU32(h + 4, 36 + dataBytes);
    PutU32(h + 24, KVLSoundStreamerCapture::kCaptureRate);
    PutU32(h + 28, KVLSoundStreamerCapture::kCaptureRate * 4);
    PutU32(h + 40, dataBytes);
    return std::fseek(out, 0, SEEK_SET) == 0 && std::fwrite(h, 1, sizeof h, out) == sizeof h;
}

int Run(const std::vector<std::string>& args) {
    std::string name;
    std::string output;
    double seconds = -1;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "-o" && i + 1 < args.size()) {
            output = args[++i];
        } else if (args[i] == "--seconds" && i + 1 < args.size()) {
            char* end = nullptr;
            seconds = std::strtod(args[++i].c_str(), &end);
            if (end == args[i].c_str() || *end != '\0' || !std::isfinite(seconds) || seconds <= 0 ||
                seconds > kMaxSeconds) {
                return KvlUsageError(kRecordCommand, "--seconds takes a number above 0 and up to 3600");
            }
        } else if (!args[i].empty() && args[i][0] == '-' && !std::isdigit(static_cast<unsigned char>(args[i].size() > 1 ? args[i][1] : 0))) {
            return KvlUsageError(kRecordCommand, "unknown option '" + args[i] + "'");
        } else if (name.empty()) {
            name = args[i];
        } else {
            return KvlUsageError(kRecordCommand, "more than one capture name");
        }
    }
    if (name.empty() || output.empty() || seconds < 0) {
        return KvlUsageError(kRecordCommand, "record takes a capture name, --seconds S and -o OUT.wav");
    }
    KVLSoundStreamerCapture streamer(nullptr);
    KVLString text;
    if (!streamer.OpenFile(name.c_str(), &text)) {
        return KvlFail(name + ": " + text.c_str());
    }
    std::printf("%s\n", text.c_str());
    std::FILE* out = std::fopen(output.c_str(), "wb");
    if (out == nullptr) {
        return KvlFail("cannot write " + output);
    }
    bool ok = WriteHeader(out, 0);
    const auto wanted = static_cast<int64_t>(std::llround(seconds * KVLSoundStreamerCapture::kCaptureRate));
    KVLSampleBlock* block = KVLCreateSampleBlock(kReadFrames);
    int64_t done = 0;
    bool recorded = true;
    while (ok && done < wanted) {
        block->frames = static_cast<int32_t>(std::min<int64_t>(kReadFrames, wanted - done));
        const int32_t got = streamer.Read(block);
        if (got <= 0) {
            recorded = false;
            break;
        }
        // Frames are 32-bit words, left sample in the low half: little-endian bytes.
        std::vector<uint8_t> bytes(static_cast<size_t>(got) * 4);
        for (int32_t i = 0; i < got; ++i) {
            PutU32(&bytes[static_cast<size_t>(i) * 4], block->data[i]);
        }
        ok = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
        done += got;
    }
    KVLReleaseSampleBlock(block);
    ok = ok && WriteHeader(out, static_cast<uint32_t>(done * 4));
    ok = std::fclose(out) == 0 && ok;
    if (!ok) {
        return KvlFail("cannot write " + output);
    }
    if (!recorded) {
        return KvlFail(name + ": recording stopped after " + std::to_string(done) + " frames");
    }
    return kKvlOk;
}

const KvlCommand kRecordCommand = {
    "record",
    "record from a capture device into a WAV file",
    "usage:\n"
    "  kvl record NAME --seconds S -o OUT.wav\n"
    "      records S seconds from the capture name NAME (a device index, a dot and\n"
    "      dsoundcap or mcicap, e.g. 0.dsoundcap; -1 is the default device) at\n"
    "      44100 Hz 16-bit stereo into OUT.wav.\n",
    Run,
};

const KvlCommandRegistration kRegistration(kRecordCommand);

}  // namespace
