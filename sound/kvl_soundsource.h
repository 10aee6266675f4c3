// KVLSoundSource: the producer of raw PCM blocks in its own format (8 or 16 bits, mono
// or stereo) that the sound streamers consume, and KVLSampleBlock, a count of 32-bit
// stereo frames with its storage.
//
// A raw block is interleaved PCM: 8-bit samples unsigned with 128 as silence, 16-bit
// samples signed little-endian, left first in stereo. NextBlock's storage belongs to
// the source and stays valid until the next call.
#pragma once

#include <cstdint>
#include <memory>

#include "core/kvl_string.h"

// Frames of 16-bit stereo: each 32-bit word holds the left sample in its low 16 bits
// and the right sample in its high 16 bits.
struct KVLSampleBlock {
    int32_t frames = 0;
    uint32_t* data = nullptr;
    void* owned = nullptr;  // storage freed with the block (malloc'ed); null when data is borrowed
};

// A block with frames x 4 bytes of owned storage; null when frames is negative.
KVLSampleBlock* KVLCreateSampleBlock(int32_t frames);
// Frees the block's owned storage, then the block itself. Accepts null.
void KVLReleaseSampleBlock(KVLSampleBlock* block);

// Releases a block with KVLReleaseSampleBlock: the deleter of KVLSampleBlockPtr.
struct KVLSampleBlockRelease {
    void operator()(KVLSampleBlock* block) const { KVLReleaseSampleBlock(block); }
};
// A sample block that releases itself.
using KVLSampleBlockPtr = std::unique_ptr<KVLSampleBlock, KVLSampleBlockRelease>;
// KVLCreateSampleBlock owned by a unique_ptr; null when frames is negative.
inline KVLSampleBlockPtr KVLMakeSampleBlock(int32_t frames) { return KVLSampleBlockPtr(KVLCreateSampleBlock(frames)); }

class KVLSoundSource {
public:
    virtual ~KVLSoundSource() = default;
    // On success the error text (when given) receives a one-line description.
    virtual bool Open(KVLString* error) = 0;
    virtual bool Start() = 0;
    virtual bool Stop() = 0;
    virtual int32_t GetSampleRate() = 0;
    virtual int32_t GetBitsPerSample() = 0;
    virtual bool IsStereo() = 0;
    // Frames produced so far.
    virtual int32_t GetPosition() = 0;
    // Total frames; -1 for a live source without an end.
    virtual int32_t GetLength() = 0;
    virtual bool IsAtEnd() = 0;
    // Raw samples of the next block, or null when there is nothing more.
    virtual const void* NextBlock() = 0;
    virtual int32_t GetBlockFrames() = 0;
};
