// KVLSoundOutputDSound: the sound output on DirectSound. One looping secondary buffer
// of 32 chunks is the ring: the writer copies each chunk straight into it at its write
// offset, the device plays it from its play cursor, and the shared fill rule
// (KVLSoundFillRule) decides when a write is refused, when the buffer starts and when an
// underrun is bridged with silence and ends in a stop. One DirectSound output can be
// open in the process at a time; the device list is enumerated once per process.
//
// Threads: Write and GetPlayPosition run on the player's worker, GetPlayPosition and
// ReadPlaying also on the application thread; one mutex per output guards its fields
// and its buffer, one process mutex the device list and the open output.
//
// Behaviour beyond a bare looping buffer: what the play cursor has passed is cleared
// (whenever the position is asked for or a chunk written), so a buffer that keeps
// looping after the last chunk, or runs ahead of a slow writer, plays silence instead
// of music from one trip earlier; the play position counts music frames only (the
// silence put in at an underrun is not counted) and never exceeds the frames written;
// after an underrun stop, playback starts again once more than 3 chunks are queued;
// Resume plays only an output that Pause stopped; a failed Open releases whatever it
// had created; a rate of 0 or less or a width other than 8 or 16 bits is refused with
// the format text before any device is made; 8-bit silence is 128. ReadPlaying reads
// the frames ahead of the cursor back from the buffer for the player's oscilloscope.
#pragma once

#include <cstdint>
#include <cstdio>
#include <mutex>

#include "sound/kvl_soundoutput.h"

struct IDirectSoundBuffer;

class KVLSoundOutputDSound : public KVLSoundOutput {
public:
    // deviceIndex: -1 for the default device, else an index into the enumerated list.
    explicit KVLSoundOutputDSound(int32_t deviceIndex);
    ~KVLSoundOutputDSound() override;
    KVLSoundOutputDSound(const KVLSoundOutputDSound&) = delete;
    KVLSoundOutputDSound& operator=(const KVLSoundOutputDSound&) = delete;

    bool Open(int32_t rate, int32_t bits, bool stereo, int32_t chunkFrames,
              KVLString* error) override;
    int32_t GetSampleRate() override;
    int32_t GetBitsPerSample() override;
    bool IsStereo() override;
    int32_t GetPlayPosition() override;
    bool Write(const void* data, int32_t frames) override;
    void Reset() override;
    void Pause() override;
    void Resume() override;
    // A hold stops the secondary buffer (its play cursor stays where it is) and plays it
    // again on release if it was playing; writes during the hold never start it.
    void SetPaused(bool paused) override;
    bool IsPaused() override;
    bool ReadPlaying(int32_t position, uint32_t* destination, int32_t frames) override;

    int32_t GetFillState();
    int32_t GetFramesWritten();
    // Frames between the play cursor and the write offset (music and silence), as the
    // fill check counts them; 0 when not open.
    int32_t GetQueuedFrames();
    // Where the underrun notice "stop" goes (the standard output unless a test says).
    void SetNoticeFile(std::FILE* file);

private:
    int32_t Cursor();
    void ClearPlayed(int32_t cursor);
    int32_t QueuedBytes(int32_t cursor) const;
    bool RingWrite(const uint8_t* data, int32_t bytes);
    bool LockRegion(int32_t offset, int32_t bytes, void** first, unsigned long* firstBytes,
                    void** second, unsigned long* secondBytes);
    void PlayLocked();
    void StopLocked();
    void ResetLocked();
    uint8_t SilenceByte() const { return m_bits == 8 ? 0x80 : 0; }

    std::mutex m_mutex;
    int32_t m_deviceIndex;
    bool m_opened = false;
    bool m_paused = false;
    int32_t m_rate = -1;
    int32_t m_bits = -1;
    bool m_stereo = false;
    bool m_started = false;
    bool m_playing = false;       // the buffer has been told to play and not stopped since
    bool m_resumePlays = false;   // Pause stopped a playing buffer
    bool m_heldPlaying = false;   // the buffer is to play when the hold ends
    int32_t m_blockAlign = 0;
    int32_t m_chunkBytes = 0;
    IDirectSoundBuffer* m_primary = nullptr;
    IDirectSoundBuffer* m_secondary = nullptr;
    KVLSoundFillRule m_rule;
    int32_t m_bufferBytes = 0;
    int32_t m_writeOffset = 0;
    // The last play position seen, unwrapped (bytes since the last Reset).
    int64_t m_lastPosition = 0;
    int32_t m_clearedTo = 0;    // ring offset up to which played bytes are cleared
};
