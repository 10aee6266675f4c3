// kvl audio: decodes an MPEG audio file through the engine's MP3 sound source into a
// 16-bit PCM WAV file at the stream's rate and channel count.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/kvl_bufferedstream.h"
#include "core/kvl_filestream.h"
#include "sound/kvl_soundsource_mp3.h"
#include "tools/kvl/kvl_command.h"

namespace {

constexpr int32_t kFileBuffer = 65536;
constexpr uint32_t kWavHeaderSize = 44;

extern const KvlCommand kAudioCommand;

void PutU16(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}
void PutU32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
    }
}

std::vector<uint8_t> WavHeader(uint32_t rate, uint32_t channels, uint32_t dataBytes) {
    std::vector<uint8_t> h(kWavHeaderSize, 0);
    std::memcpy(&h[0], "RIFF", 4);
    PutU32(h, 4, 36 + dataBytes);
    std::memcpy(&h[8], "WAVEfmt ", 8);
    PutU32(h, 16, 16);
    PutU16(h, 20, 1);
    PutU16(h, 22, channels);
    PutU32(h, 24, rate);
    PutU32(h, 28, rate * channels * 2);
    PutU16(h, 32, channels * 2);
    PutU16(h, 34, 16);
    std::memcpy(&h[36], "data", 4);
    PutU32(h, 40, dataBytes);
    return h;
}

int Run(const std::vector<std::string>& args) {
    std::string input;
    std::string output;
    bool fullBand = false;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "-o" && i + 1 < args.size()) {
            output = args[++i];
        } else if (args[i] == "--full-band") {
            fullBand = true;
        } else if (!args[i].empty() && args[i][0] == '-') {
            return KvlUsageError(kAudioCommand, "unknown option '" + args[i] + "'");
        } else if (input.empty()) {
            input = args[i];
        } else {
            return KvlUsageError(kAudioCommand, "more than one input file");
        }
    }
    if (input.empty() || output.empty()) {
        return KvlUsageError(kAudioCommand, "audio takes an input file and -o OUT.wav");
    }
    KVLFileStream file(KVLString(input.c_str()));
    KVLBufferedStream stream(file, kFileBuffer);
    KVLSoundSourceMP3 source(stream);
    source.SetFullBand(fullBand);
    KVLString text;
    if (!source.Open(&text)) {
        return KvlFail(input + ": " + text.c_str());
    }
    std::printf("%s\n", text.c_str());
    if (const KVLID3Tag* tag = source.GetTag()) {
        std::printf("artist: %s\nalbum: %s\nyear: %d\ncomment: %s\ngenre: %s\n", tag->artist.c_str(),
                    tag->album.c_str(), tag->year, tag->comment.c_str(), tag->genre.c_str());
    }
    const uint32_t channels = source.IsStereo() ? 2 : 1;
    const uint32_t rate = static_cast<uint32_t>(source.GetSampleRate());
    FILE* out = std::fopen(output.c_str(), "wb");
    if (out == nullptr) {
        return KvlFail("cannot write " + output);
    }
    std::vector<uint8_t> header = WavHeader(rate, channels, 0);
    bool ok = std::fwrite(header.data(), 1, header.size(), out) == header.size();
    uint64_t dataBytes = 0;
    while (ok) {
        const void* block = source.NextBlock();
        if (block == nullptr) {
            break;
        }
        const size_t bytes = static_cast<size_t>(source.GetBlockFrames()) * channels * 2;
        ok = std::fwrite(block, 1, bytes, out) == bytes;
        dataBytes += bytes;
    }
    if (ok && dataBytes > 0xFFFFFFFFull - 36) {
        std::fclose(out);
        return KvlFail(output + ": decoded audio too long for a WAV file");
    }
    header = WavHeader(rate, channels, static_cast<uint32_t>(dataBytes));
    ok = ok && std::fseek(out, 0, SEEK_SET) == 0 && std::fwrite(header.data(), 1, header.size(), out) == header.size();
    ok = std::fclose(out) == 0 && ok;
    if (!ok) {
        return KvlFail("cannot write " + output);
    }
    return kKvlOk;
}

const KvlCommand kAudioCommand = {
    "audio",
    "decode an MPEG audio file to a 16-bit WAV file",
    "usage:\n"
    "  kvl audio FILE -o OUT.wav [--full-band]\n"
    "      decodes FILE through the engine's MP3 source and writes 16-bit PCM at the\n"
    "      stream's rate and channel count; prints the description line and the ID3v1\n"
    "      tag when the file has one. --full-band decodes all 32 subbands and rounds\n"
    "      output values to the nearest integer (the engine's own path truncates and\n"
    "      leaves out the top subband).\n",
    Run,
};

const KvlCommandRegistration kRegistration(kAudioCommand);

}  // namespace
