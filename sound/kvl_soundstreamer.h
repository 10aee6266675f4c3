// Sound streamers: KVLSoundStreamer, the registered family that hands out 16-bit stereo
// frames in any amount per call; KVLSoundStreamerCapture, which turns any
// KVLSoundSource into a streamer (converting 8-bit and mono blocks) and opens the
// capture names "N.dsoundcap" and "N.mcicap"; KVLSoundStreamerMP3 over the MP3 source.
// (KVLSoundStreamerWAV, for 16-bit PCM files, is in kvl_soundstreamer_wav.h.)
//
// Capture sources live with the sound device backends; they make themselves known
// through KVLSetSoundCaptureFactory, so this code never sees the device library. A
// capture name without a registered factory opens nothing ("Invalid sound capture
// device").
#pragma once

#include <cstdint>
#include <memory>

#include "core/kvl_object.h"
#include "core/kvl_stream.h"
#include "core/kvl_string.h"
#include "sound/kvl_sound_classranks.h"
#include "sound/kvl_soundsource.h"

class KVLSoundSourceMP3;

class KVLSoundStreamer : public KVLObject {
    KVL_DECLARE_CLASS(KVLSoundStreamer)
public:
    virtual bool AcceptsExtension(const KVLString& extension) = 0;
    virtual bool OpenStream(const KVLStream& stream, KVLString* error) = 0;
    // Opens the named file through a 64 KiB buffered stream and OpenStream.
    virtual bool OpenFile(const KVLString& name, KVLString* error);
    virtual int32_t GetSampleRate() = 0;
    virtual int32_t GetBitsPerSample() = 0;
    virtual bool IsStereo() = 0;
    virtual int32_t GetPosition() = 0;
    virtual int32_t GetLength() = 0;
    virtual bool IsAtEnd() = 0;
    virtual bool Skip(int32_t frames) = 0;
    // Fills request->data with request->frames frames; returns the frames copied (the
    // rest zeroed at the end of the stream), -1 on failure.
    virtual int32_t Read(KVLSampleBlock* request) = 0;
    // Puts the stream so that the next Read returns the frames from frame `frame` on
    // (counted from the start of the stream, as GetPosition counts); a frame at or
    // beyond the end leaves the stream at its end. Not while a player reads the
    // streamer (stop it first). This base streamer cannot go back: false.
    virtual bool Seek(int32_t frame);
};

enum class KVLCaptureKind { DirectSound, WaveIn };
using KVLSoundCaptureFactory = KVLSoundSource* (*)(KVLCaptureKind kind, int32_t device,
                                                    int32_t rate, int32_t bits, bool stereo,
                                                    int32_t blockFrames);
void KVLSetSoundCaptureFactory(KVLSoundCaptureFactory factory);

// A device backend registers its two capture sources (one for the "DirectSound"
// names, one for the "WaveIn" names) with one constant of this type at namespace
// scope; both take (device, rate, bits, stereo, blockFrames).
template <class DirectSoundSource, class WaveInSource>
struct KVLSoundCaptureRegistration {
    static KVLSoundSource* Create(KVLCaptureKind kind, int32_t device, int32_t rate, int32_t bits, bool stereo,
                                  int32_t blockFrames) {
        if (kind == KVLCaptureKind::DirectSound) {
            return new DirectSoundSource(device, rate, bits, stereo, blockFrames);
        }
        return new WaveInSource(device, rate, bits, stereo, blockFrames);
    }
    KVLSoundCaptureRegistration() { KVLSetSoundCaptureFactory(&Create); }
};

class KVLSoundStreamerCapture : public KVLSoundStreamer {
    KVL_DECLARE_CLASS(KVLSoundStreamerCapture)
public:
    static constexpr int32_t kCaptureRate = 44100;
    static constexpr int32_t kCaptureBlockFrames = 2048;

    explicit KVLSoundStreamerCapture(KVLSoundSource* source);
    ~KVLSoundStreamerCapture() override;
    KVLSoundStreamerCapture(const KVLSoundStreamerCapture&) = delete;
    KVLSoundStreamerCapture& operator=(const KVLSoundStreamerCapture&) = delete;

    bool AcceptsExtension(const KVLString& extension) override;
    bool OpenStream(const KVLStream& stream, KVLString* error) override;
    bool OpenFile(const KVLString& name, KVLString* error) override;
    int32_t GetSampleRate() override;
    int32_t GetBitsPerSample() override;
    bool IsStereo() override;
    int32_t GetPosition() override;
    int32_t GetLength() override;
    bool IsAtEnd() override;
    bool Skip(int32_t frames) override;
    int32_t Read(KVLSampleBlock* request) override;

    // Forgets the block in hand (its source has moved elsewhere); the next Read or Skip
    // starts with the source's next block.
    void DiscardBlock();
    // Frames of the block in hand not handed out yet.
    int32_t FramesInHand() const;

private:
    bool FetchBlock();

    KVLSoundSource* m_source;
    bool m_ownsSource = false;
    KVLSampleBlockPtr m_current;
    int32_t m_offset = 0;
};

class KVLSoundStreamerMP3 : public KVLSoundStreamer {
    KVL_DECLARE_CLASS(KVLSoundStreamerMP3)
public:
    KVLSoundStreamerMP3();
    ~KVLSoundStreamerMP3() override;
    KVLSoundStreamerMP3(const KVLSoundStreamerMP3&) = delete;
    KVLSoundStreamerMP3& operator=(const KVLSoundStreamerMP3&) = delete;

    bool AcceptsExtension(const KVLString& extension) override;
    bool OpenStream(const KVLStream& stream, KVLString* error) override;
    int32_t GetSampleRate() override;
    int32_t GetBitsPerSample() override;
    bool IsStereo() override;
    // Frames handed out by Read and Skip (and set by Seek), exactly.
    int32_t GetPosition() override;
    // An estimate until the frames are counted (see KVLSoundSourceMP3::GetLength).
    int32_t GetLength() override;
    // The estimate alone, and the exact length from one walk over the frame headers
    // (-1 when not open or no frame is found); see KVLSoundSourceMP3.
    int32_t GetEstimatedLength();
    int32_t GetExactLength();
    bool IsAtEnd() override;
    bool Skip(int32_t frames) override;
    int32_t Read(KVLSampleBlock* request) override;
    // Exact and without decoding from the start: the source restarts a few MP3 frames
    // before the one holding `frame` (see KVLSoundSourceMP3::SeekFrame) and the frames
    // before `frame` are skipped; what Read gives then is bit for bit what a decoding
    // from the start gives after skipping `frame` frames. False on a negative frame,
    // a stream not open, or one that cannot be read again (a damaged stream ends).
    bool Seek(int32_t frame) override;

    // The MP3 source, null until opened.
    KVLSoundSourceMP3* GetSource() { return m_source.get(); }

private:
    std::unique_ptr<KVLSoundSourceMP3> m_source;
    std::unique_ptr<KVLSoundStreamerCapture> m_inner;
};
