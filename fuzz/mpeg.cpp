// Fuzz target of the MPEG audio decoder and the MP3 source. The first input byte picks
// the decoder setup (full band, reduction, channel mode, 8-bit output) and the chunk
// size of the read callback; the rest is the stream. Every input must end in a clean
// end of decoding, and seeks in it (the frame index and the restart) in a block or a
// clean end.
#include <cstdint>
#include <cstring>

#include "core/kvl_memorystream.h"
#include "sound/kvl_soundsource_mp3.h"
#include "sound/mpeg/mpg_decoder.h"

namespace {

struct Input {
    const uint8_t* data;
    size_t size;
    size_t pos;
    int32_t chunk;
};

int32_t Read(void* context, uint8_t* dst, int32_t max) {
    auto* in = static_cast<Input*>(context);
    size_t n = in->size - in->pos;
    if (n > static_cast<size_t>(max)) {
        n = static_cast<size_t>(max);
    }
    if (n > static_cast<size_t>(in->chunk)) {
        n = static_cast<size_t>(in->chunk);
    }
    std::memcpy(dst, in->data + in->pos, n);
    in->pos += n;
    return static_cast<int32_t>(n);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) {
        return 0;
    }
    const uint8_t config = data[0];
    ++data;
    --size;
    static const int32_t kChunks[4] = {1 << 30, 1, 333, 4096};
    Input in{data, size, 0, kChunks[(config >> 6) & 3]};
    MpgDecoder dec;
    mpgSetFullBand(dec, (config & 1) != 0);
    const int32_t reduction = (config >> 1) % 3;
    const int32_t mode = (config >> 3) & 3;
    const int32_t flags = (config & 0x20) ? kMpgOutput8Bit : 0;
    if (mpgOpenCustom(dec, Read, &in, static_cast<int32_t>(size), reduction, mode, flags, 24000)) {
        uint8_t out[kMpgMaxFrameSamples * 2];
        while (mpgDecodeFrame(dec, out) >= 0) {
        }
        mpgClose(dec);
    }

    // The engine's path: the MP3 source on a memory stream (tag reading included).
    KVLMemoryStream stream(data, size);
    KVLSoundSourceMP3 source(stream);
    if (source.Open(nullptr)) {
        while (source.NextBlock() != nullptr) {
        }
        // Seeking: the frame index walks the stream, then restarts a few frames back;
        // every seek ends in a block or a clean end.
        const int32_t length = source.GetLength();
        for (int32_t frame : {length / 2, 0, length - 1, length + 1000, 1152 * (config & 7) + 100}) {
            int32_t start = 0;
            if (source.SeekFrame(frame < 0 ? 0 : frame, &start)) {
                for (int i = 0; i < 4 && source.NextBlock() != nullptr; ++i) {
                }
            }
        }
    }
    return 0;
}
