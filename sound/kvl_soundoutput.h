// KVLSoundOutput: the interface the player queues PCM chunks on, and KVLSoundOutputRing,
// the device-independent part of a streaming output: a looping ring of 32 chunks that
// a device plays continuously from its play cursor while the writer fills it at its
// write offset, with the fill states, thresholds and underrun bridging of a looping
// hardware buffer. KVLSoundOutputWAV is a ring output with no device: it writes what
// it plays to a WAV file and its play cursor moves only when its caller says so.
//
// Threads: Write and GetPlayPosition run on the player's worker, GetPlayPosition and
// ReadPlaying also on the application thread, and the device pulls from the ring on
// its own thread. One mutex guards the ring and its counters.
//
// Departures from a plain looping buffer: the ring clears what it has played, so a
// ring with nothing new in it plays silence rather than music from seconds ago, and its
// play cursor waits at the end of the written data (what is written next goes there,
// not behind the cursor); the play position is counted by the device side rather than
// unwrapped from the cursor, counts music only and never exceeds the frames written;
// a ring refilled after an underrun is full at the full mark; after an underrun stop, playback
// starts again once more than 3 chunks are queued (otherwise a writer that kept going
// would fill the stopped ring and wait forever); a rate of 0 or less is refused.
//
// A device with a queue of its own (a browser's audio thread, fed ahead of time) says
// how much of what it pulled it has not played yet (SetDeviceQueued): the play position
// then counts what is heard rather than what was pulled, the fill rule counts the
// device's queue as queued, and the ring keeps the bytes until they are heard, so that
// ReadPlaying shows the frames being heard.
#pragma once

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "core/kvl_string.h"

// The texts an output gives when its device fails, named after the kind of device
// ("Direct Sound" by default: the native backends stand in for it and keep its texts).
enum class KVLSoundFailure { kInit, kNoDevice, kTooMany };
KVLString KVLSoundFailureText(KVLSoundFailure failure, const char* device = "Direct Sound");

class KVLSoundOutput {
public:
    virtual ~KVLSoundOutput() = default;
    virtual bool Open(int32_t rate, int32_t bits, bool stereo, int32_t chunkFrames,
                      KVLString* error) = 0;
    virtual int32_t GetSampleRate() = 0;
    virtual int32_t GetBitsPerSample() = 0;
    virtual bool IsStereo() = 0;
    // Frames heard since the last Reset.
    virtual int32_t GetPlayPosition() = 0;
    // False when the chunk was not taken (not open, too large, or the ring is full).
    virtual bool Write(const void* data, int32_t frames) = 0;
    virtual void Reset() = 0;
    virtual void Pause() = 0;
    virtual void Resume() = 0;
    // Holds the output (true) or lets it go on (false). Unlike Pause, which the next
    // Write lifts, a hold lasts until SetPaused(false): the device plays nothing from
    // the ring, the play position and what ReadPlaying shows stand still, writes are
    // taken until the ring is full (then refused, as when full while playing) and none
    // of it counts as an underrun; going on plays from the same frame. The hold
    // outlasts Reset (a stopped, sought and restarted player stays paused).
    virtual void SetPaused(bool paused) { (void)paused; }
    virtual bool IsPaused() { return false; }
    // Copies up to frames frames (32-bit stereo words) starting at frame position
    // (counted as GetPlayPosition counts) from what the output still holds; frames it
    // does not hold are zero. False when the output cannot read back at all.
    virtual bool ReadPlaying(int32_t position, uint32_t* destination, int32_t frames) {
        (void)position;
        (void)destination;
        (void)frames;
        return false;
    }
};

// The fill rule every streaming output follows, whatever holds its ring (memory pulled
// by a device thread, a WAV file, a DirectSound buffer): the ring of kChunks chunks,
// the fill states and their thresholds, the underrun bridged with kSilenceChunks of
// silence and ended by a stop, and the play position in music frames. The output owns
// the bytes; the rule tells it what to do (Check) and keeps the accounting: every byte
// put in the ring, music or silence, in the order written, so that a count of bytes
// played maps to the music frames heard (the bridging silence is not music). Not
// thread-safe: the output calls it under its own lock.
class KVLSoundFillRule {
public:
    static constexpr int32_t kChunks = 32;
    static constexpr int32_t kStartChunks = 3;
    static constexpr int32_t kFullChunks = 31;
    static constexpr int32_t kLowChunks = 1;
    static constexpr int32_t kSilenceChunks = 4;

    enum FillState : int32_t { kIdle = 0, kFull = 1, kRoom = 2, kUnderrun = 3 };
    // What the output must do after a check, before it writes the chunk it holds.
    enum class Action { kNone, kStart, kWriteSilence, kStop };

    // A held output (see KVLSoundOutput::SetPaused): Check moves no state and asks for
    // nothing (the device consumes nothing, so a low queue is no underrun) and only
    // refuses a write once the ring is full; on release the states go on from where
    // they stood. Reset keeps the hold.
    void SetPaused(bool paused);
    bool IsPaused() const { return m_paused; }
    // Whether the chunk the output holds may go in after the last Check.
    bool MayWrite() const { return m_paused ? !m_pausedFull : m_state != kFull; }

    // A new format: chunkBytes per chunk, blockAlign bytes per frame. Also resets.
    void Configure(int32_t chunkBytes, int32_t blockAlign);
    // Back to idle with nothing written (the next check may start playback).
    void Reset();

    // Moves the fill state on, given the bytes queued between the play cursor and the
    // write offset. kStart: the output starts playing (idle, more than kStartChunks
    // queued, not started since the last stop). kWriteSilence: fewer than kLowChunks
    // queued while playing: the output puts SilenceBytes() of silence in the ring and
    // calls SilenceWritten. kStop: the silence has almost run out (fewer than
    // kSilenceChunks queued): the output stops playing, and "stop" goes to the notice
    // file. A chunk may be written unless the state is now kFull.
    Action Check(int32_t queuedBytes);
    FillState State() const { return m_state; }

    void MusicWritten(int32_t frames);
    void SilenceWritten();
    int32_t SilenceBytes() const { return kSilenceChunks * m_chunkBytes; }
    int32_t BufferBytes() const { return kChunks * m_chunkBytes; }
    int32_t FramesWritten() const { return m_framesWritten; }
    int64_t BytesWritten() const { return m_writtenBytes; }

    // The music frames heard once playedBytes of the ring's byte sequence have been
    // played: never more than written, never less than reported before.
    int32_t FramesHeard(int64_t playedBytes);
    // The music frames in the first playedBytes of the byte sequence, as far as the
    // accounting can tell (it keeps the last silence and the one before), without
    // moving what FramesHeard reports.
    int64_t MusicFramesAt(int64_t playedBytes) const;
    // What FramesHeard returned last (0 after a reset).
    int32_t LastFramesHeard() const { return m_lastFrames; }
    // Where music frame f lies in the ring's byte sequence (frames written after the
    // last silence only; see FirstFrameHeld).
    int64_t ByteOfFrame(int64_t frame) const { return frame * m_blockAlign + m_shift; }
    // The first music frame the ring still holds: written after the last silence and not
    // yet overwritten by a later trip round the ring.
    int64_t FirstFrameHeld() const;

    void SetNoticeFile(std::FILE* file) { m_notice = file; }

    // Everything that decides what the rule does next, packed (for tests that explore
    // the ring's states and must tell two of them apart).
    std::string StateKey() const;

private:
    int32_t m_chunkBytes = 0;
    int32_t m_blockAlign = 1;
    FillState m_state = kIdle;
    bool m_startPending = true;
    int32_t m_framesWritten = 0;
    int64_t m_writtenBytes = 0;
    // The last silence: where it starts and ends in the byte sequence, the frames
    // written before it, and the silence bytes put in before it and up to its end.
    int64_t m_silenceStart = 0;
    int64_t m_silenceEnd = 0;
    int32_t m_framesAtSilence = 0;
    int64_t m_shiftBefore = 0;
    int64_t m_shift = 0;
    int32_t m_lastFrames = 0;
    bool m_paused = false;
    bool m_pausedFull = false;
    std::FILE* m_notice = stdout;
};

class KVLSoundOutputRing : public KVLSoundOutput {
public:
    KVLSoundOutputRing(const KVLSoundOutputRing&) = delete;
    KVLSoundOutputRing& operator=(const KVLSoundOutputRing&) = delete;

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
    void SetPaused(bool paused) override;
    bool IsPaused() override;
    bool ReadPlaying(int32_t position, uint32_t* destination, int32_t frames) override;

    bool IsOpen();
    bool IsPlaying();
    // Playing and not held: the device takes music (or bridging silence) from the ring.
    bool IsHandingOut();
    int32_t GetFillState();
    int32_t GetFramesWritten();

protected:
    KVLSoundOutputRing() = default;

    // Device side. OpenDevice is called by Open after the format checks, with the
    // mutex not held; it stores a description of the device in *description or a
    // failure text in *error and returns false. CloseDevice stops the device thread
    // (so that Pull is no longer called); derived destructors must call it.
    virtual bool OpenDevice(int32_t rate, int32_t bits, bool stereo, KVLString* description,
                            KVLString* error) = 0;
    virtual void CloseDevice() = 0;
    // Tells the device of a hold (SetPaused), called with the mutex not held, after the
    // ring has stopped handing out music (on hold) or before it starts again.
    virtual void DevicePaused(bool paused) { (void)paused; }

    // Tells the device that the ring was reset (a stop or a seek): whatever it still
    // queues of the old music must go. Called with the mutex not held.
    virtual void DeviceReset() {}

    // Called by the device: fills out with bytes bytes played from the ring at the play
    // cursor (silence while the ring is stopped, and past the written data, where the
    // cursor waits) and clears what is heard. Returns the
    // music frames among them (the rest is silence: bridging, or a ring run dry).
    int32_t Pull(uint8_t* out, int32_t bytes);
    // For a device that queues ahead: pulls at most maxBytes, and no more than the ring
    // holds beyond its play cursor (whole frames); nothing while the ring is not handing
    // out. Returns the bytes pulled; *music gets the music frames among them.
    int32_t PullQueued(uint8_t* out, int32_t maxBytes, int32_t* music);
    // The bytes pulled that the device has not played yet (see the top of this file);
    // back to 0 on Reset.
    void SetDeviceQueued(int32_t bytes);
    int32_t BlockAlign() const { return m_blockAlign; }

    // Where the underrun notice goes (the standard output unless a test redirects it).
    void SetNotice(std::FILE* file);
    // The ring's whole state, bytes included, packed (see KVLSoundFillRule::StateKey),
    // and taken over from another ring of the same format (tests branch from a copy).
    std::string StateKey();
    void CopyStateFrom(KVLSoundOutputRing& other);

private:
    int32_t QueuedBytes() const;
    int32_t RingQueuedBytes() const;
    bool RingWrite(const uint8_t* data, int32_t bytes);
    void ResetLocked();
    int32_t PullLocked(uint8_t* out, int32_t bytes);
    // Clears the ring up to what the device has played.
    void ClearHeardLocked();

    std::mutex m_mutex;
    KVLSoundFillRule m_rule;
    bool m_opened = false;
    bool m_paused = false;
    int32_t m_rate = -1;
    int32_t m_bits = -1;
    bool m_stereo = false;
    bool m_started = false;
    bool m_playing = false;  // the device is consuming the ring
    int32_t m_blockAlign = 0;
    int32_t m_chunkBytes = 0;
    int32_t m_bufferBytes = 0;
    int32_t m_writeOffset = 0;
    int32_t m_playCursor = 0;
    int64_t m_playedBytes = 0;  // bytes the device took from the ring since Reset
    int32_t m_deviceQueued = 0;  // of those, the bytes it has not played yet
    int64_t m_clearedBytes = 0;  // the ring is cleared up to here (byte sequence)
    std::vector<uint8_t> m_ring;
};

// A ring output without a device: Advance plays frames into a 16-bit or 8-bit PCM WAV
// file. The WAV header is completed when the output is destroyed (or on Finish).
class KVLSoundOutputWAV : public KVLSoundOutputRing {
public:
    explicit KVLSoundOutputWAV(const KVLString& path);
    ~KVLSoundOutputWAV() override;

    // Plays frames frames: moves the play cursor and appends what it played to the file.
    // False when the file cannot be written, and while the output is held (SetPaused):
    // a held output plays nothing, so the file is left as it is and the caller, who
    // drives the clock, should not advance it.
    bool Advance(int32_t frames);
    // Completes the WAV header and closes the file.
    void Finish();
    // Routes the "stop" notice elsewhere (tests).
    void SetNoticeFile(std::FILE* file) { SetNotice(file); }

protected:
    bool OpenDevice(int32_t rate, int32_t bits, bool stereo, KVLString* description,
                    KVLString* error) override;
    void CloseDevice() override;

private:
    KVLString m_path;
    std::FILE* m_file = nullptr;
    uint32_t m_dataBytes = 0;
    int32_t m_rate = 0;
    int32_t m_channels = 0;
    int32_t m_bits = 0;
    std::vector<uint8_t> m_scratch;
};
