// Polyphase synthesis filter bank and PCM output routines of the MPEG audio decoder.
//
// Each time slot turns 32 subband samples into 32 PCM values: a 32-point cosine
// transform gives the 64-value V vector, which enters a ring of the last 16 vectors;
// the 512-tap window then sums across the ring. Slots are synthesised four at a time
// (two slots of both channels, or four of one), their transforms side by side in the
// lanes of 4-float vectors. Reduced output rates keep every
// second or fourth value of the full-rate output (only the lower 16 or 8 subbands are
// decoded then, so nothing above the reduced Nyquist frequency is left to alias).
//
// The output routine for a stream is picked once at setup from a table indexed by
// channel mode, reduction and sample width; rounding versus truncation is a flag.
#include <array>
#include <cmath>
#include <cstring>
#include <utility>

#if defined(__SSE__)
#include <xmmintrin.h>
#endif
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "sound/mpeg/mpg_internal.h"
#include "sound/mpeg/mpg_tables.h"

namespace {

typedef MpgV4 V4;

// The computed tables of the synthesis, built once (SynthTables()) and constant after.
struct SynthTables {
    // D[32a + j] scaled to 16-bit output values, negated where the V value it meets is
    // a negated transform output (the ring holds the outputs without their signs).
    V4 window[16][8];
    // 1 / (2 cos(pi (2n + 1) / (2N))) for the butterflies of an N-point DCT.
    float lee32[16];
    float lee16[8];
    float lee8[4];
    float lee4[2];
    float lee2[1];

    SynthTables() {
        const double pi = 3.14159265358979323846;
        float* lee[5] = {lee32, lee16, lee8, lee4, lee2};
        for (int level = 0, n = 32; n >= 2; ++level, n /= 2) {
            for (int i = 0; i < n / 2; ++i) {
                lee[level][i] = static_cast<float>(0.5 / std::cos(pi * (2 * i + 1) / (2.0 * n)));
            }
        }
        for (int a = 0; a < 16; ++a) {
            for (int j = 0; j < 32; ++j) {
                const bool negated = (a & 1) || j > 16;
                const float d = kMpgSynthWindow[32 * a + j] * 32768.0f;
                window[a][j / 4][j % 4] = negated ? -d : d;
            }
        }
    }

    template <int N>
    const float* Lee() const {
        if constexpr (N == 32) {
            return lee32;
        } else if constexpr (N == 16) {
            return lee16;
        } else if constexpr (N == 8) {
            return lee8;
        } else if constexpr (N == 4) {
            return lee4;
        } else {
            return lee2;
        }
    }
};

const SynthTables& Tables() {
    static const SynthTables tables;
    return tables;
}

template <typename T>
inline T Splat(float f) {
    if constexpr (sizeof(T) == sizeof(float)) {
        return f;
    } else {
        return T{f, f, f, f};
    }
}

// Unnormalised DCT-II, X[k] = sum x[n] cos(pi (2n + 1) k / 2N), by Lee's recursion:
// the even outputs are the DCT of the folded sums, the odd outputs adjacent pairs of
// the DCT of the scaled folded differences. T is float, or V4 for four independent
// transforms side by side (one per lane).
template <typename T, int N>
inline __attribute__((always_inline)) void Dct(const SynthTables& tables, const T* in, T* out) {
    if constexpr (N == 1) {
        out[0] = in[0];
    } else {
        constexpr int H = N / 2;
        const float* inv = tables.Lee<N>();
        T a[H];
        T b[H];
#pragma GCC unroll 16
        for (int n = 0; n < H; ++n) {
            a[n] = in[n] + in[N - 1 - n];
            b[n] = (in[n] - in[N - 1 - n]) * Splat<T>(inv[n]);
        }
        T ea[H];
        T eb[H];
        Dct<T, H>(tables, a, ea);
        Dct<T, H>(tables, b, eb);
#pragma GCC unroll 16
        for (int k = 0; k < H - 1; ++k) {
            out[2 * k] = ea[k];
            out[2 * k + 1] = eb[k] + eb[k + 1];
        }
        out[N - 2] = ea[H - 1];
        out[N - 1] = eb[H - 1];
    }
}

// The window sums over the 16 ring entries: 32 output values, held in eight 4-float
// accumulators.
void Window(const SynthTables& tables, const MpgSynthChannel& ch, int pos, float* out) {
    V4 a0 = {};
    V4 a1 = {};
    V4 a2 = {};
    V4 a3 = {};
    V4 a4 = {};
    V4 a5 = {};
    V4 a6 = {};
    V4 a7 = {};
#pragma GCC unroll 16
    for (int a = 0; a < 16; ++a) {
        const float* v = ch.v[(pos + a) & 31] + (a & 1) * 32;
        const V4* w = tables.window[a];
        a0 += w[0] * mpgLoad4(v);
        a1 += w[1] * mpgLoad4(v + 4);
        a2 += w[2] * mpgLoad4(v + 8);
        a3 += w[3] * mpgLoad4(v + 12);
        a4 += w[4] * mpgLoad4(v + 16);
        a5 += w[5] * mpgLoad4(v + 20);
        a6 += w[6] * mpgLoad4(v + 24);
        a7 += w[7] * mpgLoad4(v + 28);
    }
    mpgStore4(out, a0);
    mpgStore4(out + 4, a1);
    mpgStore4(out + 8, a2);
    mpgStore4(out + 12, a3);
    mpgStore4(out + 16, a4);
    mpgStore4(out + 20, a5);
    mpgStore4(out + 24, a6);
    mpgStore4(out + 28, a7);
}

const float kSilentSlot[32] = {};

// Synthesis of up to four (channel, slot) pairs: their transforms run side by side in
// the four lanes, their V vectors enter the rings (one slot further back for each
// lane of the same channel), and then each is windowed in lane order, which keeps
// every channel's slots in time order.
void SynthBatch(const SynthTables& tables, MpgSynthChannel* const* chs, const float* const* src, int lanes,
                float (*pcm)[32]) {
    V4 in[32];
#pragma GCC unroll 8
    for (int k = 0; k < 32; k += 4) {
        V4 r0 = mpgLoad4(src[0] + k);
        V4 r1 = mpgLoad4(src[1] + k);
        V4 r2 = mpgLoad4(src[2] + k);
        V4 r3 = mpgLoad4(src[3] + k);
        mpgTranspose4(r0, r1, r2, r3);
        in[k] = r0;
        in[k + 1] = r1;
        in[k + 2] = r2;
        in[k + 3] = r3;
    }
    V4 x[33];
    Dct<V4, 32>(tables, in, x);
    x[32] = V4{0.0f, 0.0f, 0.0f, 0.0f};
    // V[i] = X[16 + i] up to 16, -X[48 - i] up to 47, -X[i - 48] above (X[32] = 0);
    // the signs are left to the window.
    V4 v[64];
#pragma GCC unroll 17
    for (int i = 0; i <= 16; ++i) {
        v[i] = x[16 + i];
    }
#pragma GCC unroll 31
    for (int i = 17; i < 48; ++i) {
        v[i] = x[48 - i];
    }
#pragma GCC unroll 16
    for (int i = 48; i < 64; ++i) {
        v[i] = x[i - 48];
    }
    float scratch[64];
    float* dst[4] = {scratch, scratch, scratch, scratch};
    int pos[4] = {0, 0, 0, 0};
    for (int l = 0; l < lanes; ++l) {
        MpgSynthChannel& ch = *chs[l];
        ch.pos = (ch.pos + 31) & 31;
        pos[l] = ch.pos;
        dst[l] = ch.v[ch.pos];
    }
#pragma GCC unroll 16
    for (int i = 0; i < 64; i += 4) {
        V4 r0 = v[i];
        V4 r1 = v[i + 1];
        V4 r2 = v[i + 2];
        V4 r3 = v[i + 3];
        mpgTranspose4(r0, r1, r2, r3);
        std::memcpy(dst[0] + i, &r0, 16);
        std::memcpy(dst[1] + i, &r1, 16);
        std::memcpy(dst[2] + i, &r2, 16);
        std::memcpy(dst[3] + i, &r3, 16);
    }
    for (int l = 0; l < lanes; ++l) {
        Window(tables, *chs[l], pos[l], pcm[l]);
    }
}

inline float Clip(float x, float lo, float hi) { return x < lo ? lo : (x > hi ? hi : x); }

// Output values of one slot (the window has scaled them to 16 bits): clipped, then
// truncated toward
// zero or rounded to the nearest integer (halves away from zero). Every step-th value
// is kept (reduced rates).
template <int Step>
void Convert(const float* pcm, int32_t* out, bool round) {
    if (round) {
        for (int j = 0; j < 32 / Step; ++j) {
            const float x = pcm[j * Step];
            out[j] = static_cast<int32_t>(Clip(x + (x < 0.0f ? -0.5f : 0.5f), -32768.0f, 32767.0f));
        }
    } else {
        for (int j = 0; j < 32 / Step; ++j) {
            out[j] = static_cast<int32_t>(Clip(pcm[j * Step], -32768.0f, 32767.0f));
        }
    }
}

// Writes n values of each channel, interleaved: 16-bit little-endian or 8-bit unsigned.
template <int Channels, bool Eight>
void Write(const int32_t (*v)[32], int n, uint8_t*& out) {
    for (int j = 0; j < n; ++j) {
        for (int c = 0; c < Channels; ++c) {
            if constexpr (Eight) {
                *out++ = static_cast<uint8_t>((v[c][j] >> 8) + 128);
            } else {
                const uint16_t u = static_cast<uint16_t>(v[c][j]);
                out[0] = static_cast<uint8_t>(u);
                out[1] = static_cast<uint8_t>(u >> 8);
                out += 2;
            }
        }
    }
}

#if defined(__SSE2__) && defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
// The common case, full-rate 16-bit stereo, four values at a time: the same clipping
// and truncation or rounding as Convert, then interleaving by unpacking.
template <bool Round>
void WriteStereo16(const float (*pcm)[32], uint8_t*& out) {
    const __m128 lo = _mm_set1_ps(-32768.0f);
    const __m128 hi = _mm_set1_ps(32767.0f);
    const __m128 half = _mm_set1_ps(0.5f);
    const __m128 sign = _mm_set1_ps(-0.0f);
    for (int j = 0; j < 32; j += 8) {
        __m128i v[2][2];
        for (int c = 0; c < 2; ++c) {
            for (int q = 0; q < 2; ++q) {
                __m128 x = _mm_loadu_ps(pcm[c] + j + 4 * q);
                if constexpr (Round) {
                    x = _mm_add_ps(x, _mm_or_ps(_mm_and_ps(x, sign), half));
                }
                x = _mm_min_ps(_mm_max_ps(x, lo), hi);
                v[c][q] = _mm_cvttps_epi32(x);
            }
        }
        const __m128i left = _mm_packs_epi32(v[0][0], v[0][1]);
        const __m128i right = _mm_packs_epi32(v[1][0], v[1][1]);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi16(left, right));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16), _mm_unpackhi_epi16(left, right));
        out += 32;
    }
}
#endif

// Channel modes: 0 mono stream, 1 stereo, 2 mono mix, 3 left only, 4 right only.
template <int Mode, int Reduction, bool Eight>
void OutputBlock(MpgState& st, const MpgSubbandBlock& block, int slots, uint8_t*& out) {
    constexpr int step = 1 << Reduction;
    constexpr int n = 32 / step;
    const bool round = st.fullBand;
    const SynthTables& tables = Tables();
    float pcm[4][32];
    int32_t values[2][32];
    if constexpr (Mode == 1) {
        // Two slots of both channels per batch.
        const int right = block.channels == 2 ? 1 : 0;
        MpgSynthChannel* chs[4] = {&st.synth[0], &st.synth[1], &st.synth[0], &st.synth[1]};
        for (int t = 0; t < slots; t += 2) {
            const bool two = t + 1 < slots;
            const float* src[4] = {block.s[0][t], block.s[right][t], two ? block.s[0][t + 1] : kSilentSlot,
                                   two ? block.s[right][t + 1] : kSilentSlot};
            SynthBatch(tables, chs, src, two ? 4 : 2, pcm);
            for (int u = 0; u < (two ? 2 : 1); ++u) {
                const float(*pair)[32] = pcm + 2 * u;
#if defined(__SSE2__) && defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
                if constexpr (!Eight && Reduction == 0) {
                    if (round) {
                        WriteStereo16<true>(pair, out);
                    } else {
                        WriteStereo16<false>(pair, out);
                    }
                    continue;
                }
#endif
                Convert<step>(pair[0], values[0], round);
                Convert<step>(pair[1], values[1], round);
                Write<2, Eight>(values, n, out);
            }
        }
    } else {
        // Four slots of the one output channel per batch.
        MpgSynthChannel* chs[4] = {&st.synth[0], &st.synth[0], &st.synth[0], &st.synth[0]};
        float mixed[4][32];
        for (int t = 0; t < slots; t += 4) {
            const int lanes = slots - t < 4 ? slots - t : 4;
            const float* src[4] = {kSilentSlot, kSilentSlot, kSilentSlot, kSilentSlot};
            for (int l = 0; l < lanes; ++l) {
                if constexpr (Mode == 2) {
                    if (block.channels == 2) {
                        for (int k = 0; k < 32; ++k) {
                            mixed[l][k] = 0.5f * (block.s[0][t + l][k] + block.s[1][t + l][k]);
                        }
                        src[l] = mixed[l];
                    } else {
                        src[l] = block.s[0][t + l];
                    }
                } else if constexpr (Mode == 4) {
                    src[l] = block.s[block.channels == 2 ? 1 : 0][t + l];
                } else {
                    src[l] = block.s[0][t + l];
                }
            }
            SynthBatch(tables, chs, src, lanes, pcm);
            for (int l = 0; l < lanes; ++l) {
                Convert<step>(pcm[l], values[0], round);
                Write<1, Eight>(values, n, out);
            }
        }
    }
}

template <int Mode, int Reduction, bool Eight>
constexpr MpgOutputRoutine Routine() {
    return &OutputBlock<Mode, Reduction, Eight>;
}

// Index = channel mode + 5 * (reduction + 3 * (8-bit ? 1 : 0)).
template <int... I>
constexpr auto MakeRoutineTable(std::integer_sequence<int, I...>) {
    return std::array<MpgOutputRoutine, sizeof...(I)>{Routine<I % 5, (I / 5) % 3, (I / 15) == 1>()...};
}

constexpr auto kOutputRoutines = MakeRoutineTable(std::make_integer_sequence<int, 30>());

}  // namespace

void mpgBuildSynthTables() { Tables(); }

void mpgSynthReset(MpgState& st) {
    for (auto& ch : st.synth) {
        std::memset(ch.v, 0, sizeof(ch.v));
        ch.pos = 0;
    }
}

MpgOutputRoutine mpgSelectOutput(int index) {
    if (index < 0 || index >= static_cast<int>(kOutputRoutines.size())) {
        return nullptr;
    }
    return kOutputRoutines[static_cast<size_t>(index)];
}

void mpgWriteSilence(const MpgState& st, void* output) {
    const int values = st.framesPerCall * st.outChannels;
    if (st.eightBit) {
        std::memset(output, 128, static_cast<size_t>(values));
    } else {
        std::memset(output, 0, static_cast<size_t>(values) * 2);
    }
}
