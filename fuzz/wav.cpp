// Fuzz target of the WAV streamer. The first input byte picks the size of the reads
// and where to seek; the rest is the file. An input either is refused with a reason or
// opens and reads to a clean end; after that, seeks land where asked (or at the end)
// and read on. A broken promise of the streamer (a read longer than asked, a position
// past the length, a read that never ends) traps.
#include <cstdint>

#include "core/kvl_memorystream.h"
#include "sound/kvl_soundstreamer_wav.h"

namespace {

void Check(bool condition) {
    if (!condition) {
        __builtin_trap();
    }
}

// Reads to the end in pieces of `piece` frames; the number of reads is bounded by the
// frames left.
void ReadToEnd(KVLSoundStreamerWAV& streamer, KVLSampleBlock* block) {
    const int32_t left = streamer.GetLength() - streamer.GetPosition();
    Check(left >= 0);
    for (int32_t reads = 0;; ++reads) {
        Check(reads <= left / block->frames + 1);
        const int32_t before = streamer.GetPosition();
        const int32_t r = streamer.Read(block);
        Check(r >= 0 && r <= block->frames);
        Check(streamer.GetPosition() == before + r);
        Check(streamer.GetPosition() <= streamer.GetLength());
        if (r < block->frames) {
            break;
        }
    }
    Check(streamer.IsAtEnd());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) {
        return 0;
    }
    const uint8_t config = data[0];
    ++data;
    --size;
    static const int32_t kPieces[4] = {1, 7, 1000, 8192};
    KVLSampleBlockPtr block = KVLMakeSampleBlock(kPieces[config & 3]);

    KVLMemoryStream stream(data, size);
    const bool looksLikeWav = KVLIsWAVStream(stream);
    KVLSoundStreamerWAV streamer;
    KVLString message;
    const bool open = streamer.OpenStream(stream, &message);
    Check(!message.IsEmpty());
    if (!open) {
        Check(streamer.Read(block.get()) == -1 && streamer.IsAtEnd());
        return 0;
    }
    Check(looksLikeWav);
    Check(streamer.GetBitsPerSample() == 16);
    ReadToEnd(streamer, block.get());

    const int32_t length = streamer.GetLength();
    for (int32_t frame : {length / 2, 0, length, length + 1000, (config >> 2) * 97}) {
        Check(streamer.Seek(frame));
        Check(streamer.GetPosition() == (frame < length ? frame : length));
        ReadToEnd(streamer, block.get());
    }
    Check(!streamer.Seek(-1));
    return 0;
}
