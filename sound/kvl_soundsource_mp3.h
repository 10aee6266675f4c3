// KVLSoundSourceMP3: the sound source that decodes an MPEG audio file through the
// decoder module (sound/mpeg), and KVLID3Tag, the ID3v1 tag a file may end with.
//
// Each source owns its decoder and its PCM block (behind a pointer, so that this header
// does not include the decoder module's, which is not installed). Only one MP3 source can be open at a
// time all the same (the engine streams one soundtrack, and callers rely on the
// refusal): a second Open fails with "Too many MP3 streamers opened" until the first
// source is destroyed. A source whose Open failed reports 0 from its getters and
// produces no block. After Open the source is used from one thread.
#pragma once

#include <cstdint>
#include <memory>

#include "core/kvl_stream.h"
#include "core/kvl_string.h"
#include "sound/kvl_soundsource.h"

struct KVLID3Tag {
    KVLString artist;
    KVLString album;
    KVLString comment;
    KVLString genre;
    int32_t year = 0;
};

// The genre name of an ID3v1 genre byte; "Unknown" from 148 on.
const char* KVLID3GenreName(uint8_t genre);
// Reads the tag from the last 128 bytes of an open stream, leaving the stream at its
// start. Null when the stream has no tag.
std::unique_ptr<KVLID3Tag> KVLReadID3Tag(KVLStream& stream);

class KVLSoundSourceMP3 : public KVLSoundSource {
public:
    // Keeps a clone of stream; the caller may destroy its own afterwards.
    explicit KVLSoundSourceMP3(const KVLStream& stream);
    ~KVLSoundSourceMP3() override;
    KVLSoundSourceMP3(const KVLSoundSourceMP3&) = delete;
    KVLSoundSourceMP3& operator=(const KVLSoundSourceMP3&) = delete;

    // Full-band, rounded decoding (tools and tests); takes effect at Open.
    void SetFullBand(bool on);
    // The file's ID3v1 tag, null when it has none.
    const KVLID3Tag* GetTag() const { return m_tag.get(); }

    // Puts the source at the MP3 frame that holds output frame `frame` (counted from
    // the start of the decoding): the next block is that frame's, exactly as a decoding
    // from the start gives it, and *blockStart receives the output frame the block
    // starts at. The first call walks the stream's frame headers once (the index).
    // A frame at or beyond the end puts the source at its end (*blockStart = length).
    // False when the source is not open, frame is negative, or the stream cannot be
    // read again at the restart point (a damaged stream then ends there, cleanly).
    bool SeekFrame(int32_t frame, int32_t* blockStart);

    bool Open(KVLString* error) override;
    bool Start() override { return true; }
    bool Stop() override { return true; }
    int32_t GetSampleRate() override;
    int32_t GetBitsPerSample() override;
    bool IsStereo() override;
    int32_t GetPosition() override { return m_position; }
    // An estimate of the length in output frames, from the first frame's bitrate and
    // the stream's size (off for variable bitrates and damaged streams), until the
    // frames have been counted (by SeekFrame or GetExactLength) or decoded to the end:
    // exact from then on. Cheap.
    int32_t GetLength() override;
    // The estimate alone, whatever has been counted since.
    int32_t GetEstimatedLength();
    // The length in output frames, exact: the first call walks the stream's frame
    // headers once (no decoding; the read position is kept). -1 when the source is not
    // open or the walk finds no frame.
    int32_t GetExactLength();
    // A source that is not open has nothing to produce.
    bool IsAtEnd() override { return !m_open || m_total != -1; }
    const void* NextBlock() override;
    int32_t GetBlockFrames() override { return m_blockFrames; }

private:
    // Builds the frame index once; false when it holds no frame.
    bool EnsureIndex();
    static int32_t ReadInput(void* context, uint8_t* destination, int32_t maximum);

    std::unique_ptr<KVLStream> m_stream;
    int32_t m_position = 0;
    int32_t m_total = -1;
    int32_t m_blockFrames = -1;
    std::unique_ptr<KVLID3Tag> m_tag;
    bool m_open = false;
    // The decoder, the frame index (built by the first SeekFrame; frames.empty() with
    // m_indexed set when the walk failed) and the decoded PCM of the last frame.
    struct Decoding;
    std::unique_ptr<Decoding> m_mpg;
    bool m_indexed = false;
};
