// Recording sources over SDL capture devices, standing in for the two Windows
// recorders: KVLSoundSourceSDLRingCapture ("N.dsoundcap") keeps a looping capture ring
// of 8 blocks read at its own offset (one such source per process), as DirectSound
// capture does; KVLSoundSourceSDLSlotCapture ("N.mcicap") keeps four block slots of
// which three are always queued at the device, as wave-in does.
//
// SDL converts whatever the device records to the format asked for, so every device
// offers the 8 and 16-bit, mono and stereo formats at 11025, 22050 and 44100 Hz; other
// formats are "Unsupported audio format". SDL cannot tell a busy recorder from one that
// fails otherwise, so the wave-in source reports "Unable to open audio device" for both.
//
// The device's thread fills the ring or the slots; NextBlock, on the reading thread,
// waits on a condition variable until a whole block is there. Both are live: length -1,
// never at the end. NextBlock gives null when the device has stopped for good.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

#include "sound/kvl_soundsource.h"

class KVLSoundSourceSDLCapture : public KVLSoundSource {
public:
    KVLSoundSourceSDLCapture(const KVLSoundSourceSDLCapture&) = delete;
    KVLSoundSourceSDLCapture& operator=(const KVLSoundSourceSDLCapture&) = delete;
    ~KVLSoundSourceSDLCapture() override;

    bool Start() override;
    bool Stop() override;
    int32_t GetSampleRate() override { return m_rate; }
    int32_t GetBitsPerSample() override { return m_bits; }
    bool IsStereo() override { return m_stereo; }
    int32_t GetPosition() override { return m_position; }
    int32_t GetLength() override { return -1; }
    bool IsAtEnd() override { return false; }
    int32_t GetBlockFrames() override { return m_blockFrames; }

protected:
    KVLSoundSourceSDLCapture(int32_t deviceIndex, int32_t rate, int32_t bits, bool stereo,
                             int32_t blockFrames);
    // Starts SDL's audio subsystem once and checks the device index against the
    // recording devices: false with "Invalid sound capture device" when it is out of
    // range or there is none.
    bool CheckDevice(KVLString* error);
    // Opens the capture device (paused); on success stores its name in *name. False
    // with failText in *error when SDL cannot open it.
    bool OpenDevice(KVLString* name, KVLString* error, const char* failText);
    void CloseDevice();
    // Fills the success text.
    void Describe(const KVLString& name, KVLString* error) const;
    // Called on the device thread with recorded bytes; m_mutex is held.
    virtual void Store(const uint8_t* data, int32_t bytes) = 0;
    // Waits until ready() holds or the device has stopped; false in the latter case.
    template <class Ready>
    bool WaitFor(std::unique_lock<std::mutex>& lock, Ready ready);
    bool DeviceAlive();

    int32_t m_deviceIndex;
    int32_t m_rate;
    int32_t m_bits;
    bool m_stereo;
    int32_t m_position = 0;
    int32_t m_blockFrames;
    int32_t m_blockAlign;
    uint32_t m_device = 0;
    bool m_subsystem = false;
    std::mutex m_mutex;
    std::condition_variable m_filled;

private:
    static void Callback(void* context, uint8_t* stream, int length);
};

class KVLSoundSourceSDLRingCapture : public KVLSoundSourceSDLCapture {
public:
    static constexpr int32_t kRingBlocks = 8;

    KVLSoundSourceSDLRingCapture(int32_t deviceIndex, int32_t rate, int32_t bits, bool stereo,
                                int32_t blockFrames);
    ~KVLSoundSourceSDLRingCapture() override;

    bool Open(KVLString* error) override;
    const void* NextBlock() override;

protected:
    void Store(const uint8_t* data, int32_t bytes) override;

private:
    int32_t m_readOffset = 0;
    std::vector<uint8_t> m_block;
    std::vector<uint8_t> m_ring;
    int64_t m_written = 0;  // bytes the device has put in the ring (guarded by m_mutex)
    int64_t m_read = 0;     // bytes handed out (guarded by m_mutex)
};

class KVLSoundSourceSDLSlotCapture : public KVLSoundSourceSDLCapture {
public:
    static constexpr int32_t kSlots = 4;

    KVLSoundSourceSDLSlotCapture(int32_t deviceIndex, int32_t rate, int32_t bits, bool stereo,
                         int32_t blockFrames);
    ~KVLSoundSourceSDLSlotCapture() override;

    bool Open(KVLString* error) override;
    bool Stop() override;
    const void* NextBlock() override;
    // Slot of the next block to hand out (tests).
    int32_t GetCurrentSlot() const { return m_current; }

protected:
    void Store(const uint8_t* data, int32_t bytes) override;

private:
    void QueueInitialSlots();

    int32_t m_blockBytes;
    std::vector<uint8_t> m_data;
    // Guarded by m_mutex: slots queued at the device in order, how much of the first is
    // filled, and which slots are done.
    std::deque<int32_t> m_queue;
    int32_t m_fill = 0;
    bool m_done[kSlots] = {};
    int32_t m_current = 0;
};
