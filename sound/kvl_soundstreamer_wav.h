// KVLSoundStreamerWAV: the streamer of RIFF/WAVE files holding 16-bit PCM, mono or
// stereo, at 8000 to 96000 Hz, read straight from the file (no decoding, no block of
// its own format): positions are exact, Seek is one stream seek.
//
// The header walk checks every chunk size against what the stream holds before it
// reads; odd-sized chunks carry their pad byte; chunks other than "fmt " and "data"
// are skipped, in any order. A data chunk that claims more than the file holds (a
// recording cut short, a writer that never came back to fill in the size) is cut to
// the whole frames that are there. WAVE_FORMAT_EXTENSIBLE is taken when its subformat
// is PCM. Anything else (8, 24 or 32-bit PCM, floating point, compressed formats, more
// than two channels) is refused with one line naming what the file is.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "core/kvl_stream.h"
#include "core/kvl_string.h"
#include "sound/kvl_sound_classranks.h"
#include "sound/kvl_soundstreamer.h"

// True when the stream's first bytes are a RIFF/WAVE header (a clone is opened and
// read; the stream itself is left as it is). For callers that pick a streamer by
// content rather than by name.
bool KVLIsWAVStream(const KVLStream& stream);

class KVLSoundStreamerWAV : public KVLSoundStreamer {
    KVL_DECLARE_CLASS(KVLSoundStreamerWAV)
public:
    static constexpr int32_t kMinRate = 8000;
    static constexpr int32_t kMaxRate = 96000;

    KVLSoundStreamerWAV();
    ~KVLSoundStreamerWAV() override;
    KVLSoundStreamerWAV(const KVLSoundStreamerWAV&) = delete;
    KVLSoundStreamerWAV& operator=(const KVLSoundStreamerWAV&) = delete;

    bool AcceptsExtension(const KVLString& extension) override;
    // Keeps a clone of stream. On success the error text (when given) receives a line
    // such as "WAV sound - 44.1 kHz 16 bits stereo"; on failure the reason.
    bool OpenStream(const KVLStream& stream, KVLString* error) override;
    int32_t GetSampleRate() override;
    // 16 once open (the only width taken), 0 before.
    int32_t GetBitsPerSample() override;
    bool IsStereo() override;
    // Frames handed out by Read and Skip (and set by Seek).
    int32_t GetPosition() override;
    // The data chunk's frames, exact (after any cut to the file's end).
    int32_t GetLength() override;
    // True once every frame has been handed out (and when not open).
    bool IsAtEnd() override;
    // Moves on by frames (0 or more), stopping at the end.
    bool Skip(int32_t frames) override;
    // Mono frames come out in both channels. A stream that reads short of what its
    // size promised ends there, cleanly.
    int32_t Read(KVLSampleBlock* request) override;
    // Exact: the next Read starts at frame `frame` (the end when beyond it). False on a
    // negative frame, a streamer not open, or a stream that cannot seek there.
    bool Seek(int32_t frame) override;

private:
    bool Fail(KVLString* error, const KVLString& reason);
    bool ParseHeader(KVLString* error);

    std::unique_ptr<KVLStream> m_stream;
    KVLString m_name;
    bool m_open = false;
    int32_t m_rate = 0;
    int32_t m_channels = 0;
    int32_t m_dataOffset = 0;
    int32_t m_length = 0;
    int32_t m_position = 0;
    // Raw bytes of one Read's piece of the data chunk.
    std::vector<uint8_t> m_raw;
};
