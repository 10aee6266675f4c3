// KVLSoundSourceDSoundCapture: a live recording source on DirectSound capture. The
// capture buffer loops over 8 blocks; NextBlock copies the next whole block from the
// read offset once the device's read cursor is a block or more ahead of it. One such
// source can be open in the process at a time. The capture devices and their format
// capabilities are enumerated at Open until a device has been found, then kept.
//
// NextBlock waits a millisecond between looks at the cursor instead of spinning, and
// gives up (null, as for a failed production) at once when the buffer is not
// capturing, or when the cursor has not moved for kStallMs (a device may take a second
// or two to deliver its first block), so a device that never delivers cannot hold its
// reader for ever. The
// block available is measured modulo the ring, so a read cursor that has wrapped is
// never mistaken for a full block. A failed Open releases the capture object at once.
//
// Threads: Open and destruction on the owner's thread; Start, NextBlock and Stop on
// whichever thread reads the streamer (the position is atomic, for readers elsewhere).
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "sound/kvl_soundsource.h"

struct IDirectSoundCapture;
struct IDirectSoundCaptureBuffer;

class KVLSoundSourceDSoundCapture : public KVLSoundSource {
public:
    static constexpr int32_t kRingBlocks = 8;
    static constexpr int32_t kStallMs = 10000;

    // deviceIndex: -1 for the default capture device, else an index into the list.
    KVLSoundSourceDSoundCapture(int32_t deviceIndex, int32_t rate, int32_t bits, bool stereo,
                                int32_t blockFrames);
    ~KVLSoundSourceDSoundCapture() override;
    KVLSoundSourceDSoundCapture(const KVLSoundSourceDSoundCapture&) = delete;
    KVLSoundSourceDSoundCapture& operator=(const KVLSoundSourceDSoundCapture&) = delete;

    bool Open(KVLString* error) override;
    bool Start() override;
    bool Stop() override;
    int32_t GetSampleRate() override { return m_rate; }
    int32_t GetBitsPerSample() override { return m_bits; }
    bool IsStereo() override { return m_stereo; }
    int32_t GetPosition() override { return m_position.load(); }
    int32_t GetLength() override { return -1; }
    bool IsAtEnd() override { return false; }
    const void* NextBlock() override;
    int32_t GetBlockFrames() override { return m_blockFrames; }

private:
    int32_t m_deviceIndex;
    int32_t m_rate;
    int32_t m_bits;
    bool m_stereo;
    std::atomic<int32_t> m_position{0};
    int32_t m_blockFrames;
    int32_t m_blockAlign;
    int32_t m_readOffset = 0;
    std::vector<uint8_t> m_block;
    IDirectSoundCapture* m_capture = nullptr;
    IDirectSoundCaptureBuffer* m_buffer = nullptr;
};
