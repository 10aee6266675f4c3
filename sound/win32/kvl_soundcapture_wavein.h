// KVLSoundSourceWaveIn: a live recording source on the waveIn interface. Four block
// slots share one buffer: three are always queued at the device, the fourth holds the
// block the reader is working on, and NextBlock hands out the slots in turn as the
// device marks them done. The device names are read once per process. waveIn has no
// process-wide limit; a busy device says so itself.
//
// NextBlock waits a millisecond between looks at the slot instead of spinning, and
// gives up (null, as for a failed production) at once when recording is not started,
// when the slot is not done within kStallMs (a device may take a second or two to
// deliver its first block), or when it comes back short (the device was reset), so
// that only whole blocks are handed out and a device that never delivers cannot hold
// its reader for ever. Stop
// gives every slot back to the device in order, so that recording can start again at
// slot 0.
//
// Threads: Open and destruction on the owner's thread; Start, NextBlock and Stop on
// whichever thread reads the streamer (the position is atomic, for readers elsewhere).
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "sound/kvl_soundsource.h"

struct HWAVEIN__;
struct wavehdr_tag;

class KVLSoundSourceWaveIn : public KVLSoundSource {
public:
    static constexpr int32_t kSlots = 4;
    static constexpr int32_t kQueued = 3;
    static constexpr int32_t kStallMs = 10000;

    // deviceIndex: -1 for the wave mapper, else an index into the device list.
    KVLSoundSourceWaveIn(int32_t deviceIndex, int32_t rate, int32_t bits, bool stereo,
                         int32_t blockFrames);
    ~KVLSoundSourceWaveIn() override;
    KVLSoundSourceWaveIn(const KVLSoundSourceWaveIn&) = delete;
    KVLSoundSourceWaveIn& operator=(const KVLSoundSourceWaveIn&) = delete;

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

    // Slot of the next block to hand out.
    int32_t GetCurrentSlot() const { return m_current; }

private:
    bool QueueSlot(int32_t slot);
    void UnprepareAll();

    int32_t m_deviceIndex;
    int32_t m_rate;
    int32_t m_bits;
    bool m_stereo;
    std::atomic<int32_t> m_position{0};
    int32_t m_blockFrames;
    int32_t m_blockAlign;
    int32_t m_blockBytes;
    HWAVEIN__* m_device = nullptr;
    std::unique_ptr<wavehdr_tag[]> m_headers;
    std::vector<uint8_t> m_data;
    int32_t m_current = 0;
    std::atomic<bool> m_recording{false};
};
