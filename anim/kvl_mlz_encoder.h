// Writing MLZ animations: the LZ77 frame coder, the file writer, and the colour
// quantiser that reduces a 32-bit picture to 256 RGB 565 colours for 8-bit files.
//
// The coder finds matches through hash chains over the last 4096 bytes with lazy
// matching (a match is deferred when the next position starts a longer one). The
// writer stores a frame raw whenever compression would not make it smaller. Only
// what KVLAnimMLZ reads back exactly is written.
#pragma once

#include <cstdint>
#include <vector>

#include "anim/kvl_anim_mlz.h"

// Compresses one frame; KVLMLZDecompress turns the result back into exactly data.
std::vector<uint8_t> KVLMLZCompress(const uint8_t* data, size_t size);

// The RGB 565 word of a 0xAARRGGBB pixel (low bits truncated, alpha dropped).
inline uint16_t KVLPixelTo565(uint32_t p) {
    return static_cast<uint16_t>((((p >> 19) & 31u) << 11) | (((p >> 10) & 63u) << 5) | ((p >> 3) & 31u));
}

struct KVLQuantized {
    std::vector<uint8_t> indices;
    uint16_t palette[256] = {};
    int colours = 0;  // palette entries in use
};

// Reduces pixels to at most 256 RGB 565 colours. Pictures that have at most 256
// distinct 565 colours keep them exactly; others get a median-cut palette refined by
// a few rounds of k-means, each pixel mapped to its nearest entry.
// With the previous frame's palette given, that palette is kept as it is when it
// shows the picture within 15% of the squared error of a fresh one; otherwise the
// fresh entries are ordered so that each takes the index of the closest colour
// before it. Either way unchanged areas tend to keep their indices, which is what
// delta frames store cheaply.
KVLQuantized KVLQuantize565(const uint32_t* pixels, size_t count, const uint16_t* previousPalette = nullptr);

class KVLMLZWriter {
public:
    // out is an unopened stream; Begin opens it for writing.
    explicit KVLMLZWriter(KVLStream& out) : m_out(out) {}
    ~KVLMLZWriter();
    KVLMLZWriter(const KVLMLZWriter&) = delete;
    KVLMLZWriter& operator=(const KVLMLZWriter&) = delete;

    // Checks the header (8 or 16 bits, compression 2 only with 8 bits, sizes and
    // frame count within the reader's limits) and writes it.
    bool Begin(const KVLMLZHeader& header, KVLString* errorText);
    // width x height palette indices and 256 palette words.
    bool AddFrame8(const uint8_t* indices, const uint16_t palette[256]);
    // width x height RGB 565 words.
    bool AddFrame16(const uint16_t* pixels);
    // Closes the stream; false when the frame count differs from the header's or a
    // write failed.
    bool Finish(KVLString* errorText);

    int32_t GetRawFrames() const { return m_rawFrames; }
    int64_t GetBytesWritten() const { return m_bytes; }

private:
    bool WriteFrame(const uint8_t* bytes);
    bool Write(const void* data, size_t n);

    KVLStream& m_out;
    KVLMLZHeader m_header;
    bool m_begun = false;
    bool m_failed = false;
    int32_t m_frames = 0;
    int32_t m_rawFrames = 0;
    int64_t m_bytes = 0;
    std::vector<uint8_t> m_previous;
    std::vector<uint8_t> m_difference;
};
