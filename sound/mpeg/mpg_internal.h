// Internal parts of the MPEG audio decoder shared by its units: the bit reader, the
// decoder state, the layer frame routines and the synthesis/output stage.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#if defined(__SSE__)
#include <xmmintrin.h>
#endif

#include "sound/mpeg/mpg_decoder.h"

// MSB-first bit reader over bytes [data, data + size). Reads beyond size yield zero
// bits, so a corrupt length can never make it touch memory outside the range.
class MpgBits {
public:
    MpgBits() = default;
    MpgBits(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}

    // The next 32 bits, left-aligned, without consuming them.
    uint32_t Peek32() const {
        const size_t byte = m_pos >> 3;
        uint64_t v;
        if (byte + 8 <= m_size) {
            std::memcpy(&v, m_data + byte, 8);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
            v = __builtin_bswap64(v);
#endif
        } else {
            v = 0;
            for (size_t i = 0; i < 8; ++i) {
                v = (v << 8) | (byte + i < m_size ? m_data[byte + i] : 0u);
            }
        }
        return static_cast<uint32_t>((v << (m_pos & 7)) >> 32);
    }
    uint32_t Get(int n) {
        if (n <= 0) {
            return 0;
        }
        const uint32_t v = Peek32() >> (32 - n);
        m_pos += static_cast<size_t>(n);
        return v;
    }
    uint32_t Get1() { return Get(1); }
    void Skip(size_t n) { m_pos += n; }
    size_t Position() const { return m_pos; }
    void SetPosition(size_t pos) { m_pos = pos; }
    size_t SizeBits() const { return m_size * 8; }
    const uint8_t* Data() const { return m_data; }
    size_t Size() const { return m_size; }

private:
    const uint8_t* m_data = nullptr;
    size_t m_size = 0;
    size_t m_pos = 0;
};

// The same reading for the Huffman loops, with a 64-bit window of upcoming bits that
// is topped up 32 bits at a time, so that each codeword costs a shift rather than a
// load. Holds at least 32 bits after every step; reads past the end yield zeros.
class MpgBitCache {
public:
    MpgBitCache(const uint8_t* data, size_t size, size_t bitPos)
        : m_data(data), m_size(size), m_next(bitPos >> 3), m_pos(bitPos) {
        m_cache = (static_cast<uint64_t>(Load32()) << 32);
        m_cache |= Load32();
        m_cache <<= (bitPos & 7);
        m_have = 64 - static_cast<int>(bitPos & 7);
    }
    uint32_t Peek32() const { return static_cast<uint32_t>(m_cache >> 32); }
    // n from 0 to 32.
    void Skip(int n) {
        m_cache <<= n;
        m_have -= n;
        m_pos += static_cast<size_t>(n);
        if (m_have <= 32) {
            m_cache |= static_cast<uint64_t>(Load32()) << (32 - m_have);
            m_have += 32;
        }
    }
    // n from 1 to 32.
    uint32_t Get(int n) {
        const uint32_t v = Peek32() >> (32 - n);
        Skip(n);
        return v;
    }
    size_t Position() const { return m_pos; }

private:
    uint32_t Load32() {
        uint32_t v = 0;
        if (m_next + 4 <= m_size) {
            std::memcpy(&v, m_data + m_next, 4);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
            v = __builtin_bswap32(v);
#endif
        } else {
            for (size_t i = 0; i < 4; ++i) {
                v = (v << 8) | (m_next + i < m_size ? m_data[m_next + i] : 0u);
            }
        }
        m_next += 4;
        return v;
    }

    const uint8_t* m_data;
    size_t m_size;
    size_t m_next;  // next byte to load
    size_t m_pos;   // bit position of the front of the window
    uint64_t m_cache = 0;
    int m_have = 0;
};

// Four floats side by side, for the vectorised stages; loads and stores go through
// memcpy, so any float address will do.
typedef float MpgV4 __attribute__((vector_size(16)));

inline MpgV4 mpgLoad4(const float* p) {
    MpgV4 v;
    std::memcpy(&v, p, sizeof(v));
    return v;
}
inline void mpgStore4(float* p, MpgV4 v) { std::memcpy(p, &v, sizeof(v)); }
inline MpgV4 mpgSplat4(float f) { return MpgV4{f, f, f, f}; }

// Four rows of four values to four columns.
inline void mpgTranspose4(MpgV4& r0, MpgV4& r1, MpgV4& r2, MpgV4& r3) {
#if defined(__SSE__)
    __m128 a = r0;
    __m128 b = r1;
    __m128 c = r2;
    __m128 d = r3;
    _MM_TRANSPOSE4_PS(a, b, c, d);
    r0 = a;
    r1 = b;
    r2 = c;
    r3 = d;
#else
    const MpgV4 a = r0;
    const MpgV4 b = r1;
    const MpgV4 c = r2;
    const MpgV4 d = r3;
    r0 = MpgV4{a[0], b[0], c[0], d[0]};
    r1 = MpgV4{a[1], b[1], c[1], d[1]};
    r2 = MpgV4{a[2], b[2], c[2], d[2]};
    r3 = MpgV4{a[3], b[3], c[3], d[3]};
#endif
}

// One channel of the polyphase synthesis: a ring of V vectors (64 values each), of
// which the window reads the newest 16; pos is the slot of the newest. The ring has 32
// slots so that up to four newer vectors can be entered before the window of an older
// one runs.
struct MpgSynthChannel {
    float v[32][64];
    int pos = 0;
};

// Subband samples of one frame, ready for synthesis: [channel][time slot][subband].
struct MpgSubbandBlock {
    float s[2][36][32];
    int slots = 0;
    int channels = 0;  // channels carried by the frame (1 or 2)
};

// Layer III state kept between frames.
struct MpgLayer3State {
    float overlap[2][18][32];  // [ch][time][subband]: second halves of the last IMDCTs
    uint8_t reservoir[8192 + 64];
    int reservoirFill = 0;
    // Working storage of one granule.
    int32_t is[2][576];
    float xr[2][576];
    float hybrid[2][18][32];  // [ch][time][subband] after IMDCT
};

struct MpgState;
using MpgFrameRoutine = int (*)(MpgState& st, const uint8_t* frame, int32_t available, void* output);
using MpgOutputRoutine = void (*)(MpgState& st, const MpgSubbandBlock& block, int slots, uint8_t*& out);

struct MpgState {
    // Input side.
    MpgReadCallback read = nullptr;
    void* context = nullptr;
    std::unique_ptr<uint8_t[]> buffer;
    int32_t fill = 0;
    int32_t cursor = 0;  // offset of the next unread byte in buffer
    int32_t threshold = kMpgRefillThreshold;
    int32_t size = -1;
    int64_t readTotal = 0;  // input offset just past the bytes read so far
    bool exhausted = false;

    // Stream parameters from the first frame.
    MpgHeader header;
    int32_t frameLength = 0;  // first frame, without padding
    int32_t freeLength = 0;   // measured length of a free-format frame (without padding), else 0
    int32_t bitrate = 0;
    int32_t description[6] = {0, 0, 0, 0, 0, 0};
    int32_t framesPerCall = 0;

    // Setup.
    int32_t reduction = 0;
    int32_t channelMode = 0;      // 0 mono, 1 stereo, 2 mono mix, 3 left, 4 right
    int32_t outChannels = 1;
    bool eightBit = false;
    bool fullBand = false;        // all 32 subbands, rounded output (the open stream)
    bool fullBandNext = false;    // the same for the next open (mpgSetFullBand)
    int32_t subbandLimit = 31;    // subbands decoded
    int32_t outputIndex = 0;
    MpgFrameRoutine frameRoutine = nullptr;
    MpgOutputRoutine outputRoutine = nullptr;

    // Decoder state.
    MpgSynthChannel synth[2];
    MpgSubbandBlock block;
    MpgLayer3State l3;
};

// Layer routines: decode the frame at frame (available bytes readable from there) into
// output; return the bytes consumed, or <= 0 on failure.
int mpgLayer1Frame(MpgState& st, const uint8_t* frame, int32_t available, void* output);
int mpgLayer2Frame(MpgState& st, const uint8_t* frame, int32_t available, void* output);
int mpgLayer3Frame(MpgState& st, const uint8_t* frame, int32_t available, void* output);
void mpgLayer3Reset(MpgState& st);
// What the frame index needs of a Layer III frame (its length bytes at frame): the
// main_data_begin of its side information, the main data bytes it carries and its
// channels. False when decoding stops at this frame (no room for the side
// information); *usable is false when the side information breaks a rule (the frame
// decodes as silence and changes no state).
bool mpgLayer3FrameInfo(const uint8_t* frame, int32_t length, int* mainDataBegin, int* mainBytes, int* channels,
                        bool* usable);
bool mpgLayer2Check(const MpgHeader& h, int32_t bitrateKbps);

// Builds every computed table now (each is built once per process, on first use, and
// is constant afterwards), so that no table is built during the first frame.
void mpgBuildTables();

// Synthesis and output.
void mpgSynthReset(MpgState& st);
MpgOutputRoutine mpgSelectOutput(int index);
// Writes silence for one frame of frames-per-call frames.
void mpgWriteSilence(const MpgState& st, void* output);
// Scale factors of Layers I and II: 2 * 2^(-i/3), i = 0..62, then 0 (64 entries).
const float* mpgScaleFactors();
// Builds the synthesis and Layer III tables (see mpgBuildTables).
void mpgBuildSynthTables();
void mpgBuildLayer3Tables();
// The frame's own length in bytes including padding, from its header (0: invalid).
int32_t mpgFrameLengthOf(const MpgState& st, const MpgHeader& h);
