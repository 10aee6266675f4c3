// Layers I and II of the MPEG audio decoder: bit allocation, scale factors and
// requantisation of the subband samples, then synthesis through the output routine.
//
// A frame whose allocation or scale-factor indices fall outside the tables, or whose
// grouped codes name no triple of levels, is output as silence (its bytes are still
// consumed, so decoding goes on with the next frame).
#include <algorithm>
#include <array>
#include <cmath>

#include "sound/mpeg/mpg_internal.h"
#include "sound/mpeg/mpg_tables.h"

namespace {

constexpr int kMaxScaleIndex = 62;

struct ScaleTable {
    std::array<float, 64> values;
    ScaleTable() {
        for (int i = 0; i < 63; ++i) {
            values[static_cast<size_t>(i)] = static_cast<float>(2.0 * std::pow(2.0, -i / 3.0));
        }
        values[63] = 0.0f;
    }
};

// Requantised value of level v out of steps levels, before the scale factor.
inline float Level(uint32_t v, uint32_t steps) {
    return static_cast<float>(2 * static_cast<int32_t>(v) - static_cast<int32_t>(steps) + 1) /
           static_cast<float>(steps);
}

int Channels(const MpgHeader& h) { return h.mode == 3 ? 1 : 2; }

int Bound(const MpgHeader& h, int limit) {
    if (h.mode == 1) {
        return std::min(4 * (h.modeExtension + 1), limit);
    }
    return limit;
}

// Side information begins after the header and, when present, the CRC word.
MpgBits FrameBits(const uint8_t* frame, int32_t length) {
    MpgBits bits(frame, static_cast<size_t>(length));
    bits.Skip(32 + (frame[1] & 1 ? 0 : 16));
    return bits;
}

// Allocation table of a Layer II frame: -1 for a combination the standard forbids.
int AllocTable(const MpgHeader& h, int32_t bitrateKbps) {
    if (h.id == 0) {
        return 4;
    }
    const int channels = Channels(h);
    const int32_t perChannel = bitrateKbps / channels;
    const int32_t rate = mpgSampleRateOf(h);
    if (h.bitrateIndex != 0) {
        // Single channel only: 32, 48, 56 and 80 kbit/s; two channels only: 224 and up.
        const bool lowOnly = bitrateKbps == 32 || bitrateKbps == 48 || bitrateKbps == 56 || bitrateKbps == 80;
        if ((channels == 2 && lowOnly) || (channels == 1 && bitrateKbps >= 224)) {
            return -1;
        }
    }
    if ((rate == 48000 && perChannel >= 56) || (perChannel >= 56 && perChannel <= 80)) {
        return 0;
    }
    if (rate != 48000 && perChannel >= 96) {
        return 1;
    }
    if (rate != 32000 && perChannel <= 48) {
        return 2;
    }
    return 3;
}

void Finish(MpgState& st, MpgSubbandBlock& block, int slots, void* output) {
    uint8_t* out = static_cast<uint8_t*>(output);
    st.outputRoutine(st, block, slots, out);
}

}  // namespace

const float* mpgScaleFactors() {
    static const ScaleTable table;
    return table.values.data();
}

bool mpgLayer2Check(const MpgHeader& h, int32_t bitrateKbps) { return AllocTable(h, bitrateKbps) >= 0; }

int mpgLayer1Frame(MpgState& st, const uint8_t* frame, int32_t available, void* output) {
    MpgHeader h;
    if (!mpgParseHeader(frame, h)) {
        return 0;
    }
    const int32_t length = mpgFrameLengthOf(st, h);
    if (length <= 0 || length > available) {
        return 0;
    }
    MpgBits bits = FrameBits(frame, length);
    const int nch = Channels(h);
    const int bound = Bound(h, 32);
    const int limit = st.subbandLimit;
    uint8_t alloc[2][32] = {};
    uint8_t scale[2][32] = {};
    bool bad = false;
    for (int sb = 0; sb < 32; ++sb) {
        for (int ch = 0; ch < (sb < bound ? nch : 1); ++ch) {
            alloc[ch][sb] = static_cast<uint8_t>(bits.Get(4));
            if (alloc[ch][sb] == 15) {
                bad = true;
            }
        }
        if (sb >= bound && nch == 2) {
            alloc[1][sb] = alloc[0][sb];
        }
    }
    for (int sb = 0; sb < 32; ++sb) {
        for (int ch = 0; ch < nch; ++ch) {
            if (alloc[ch][sb]) {
                scale[ch][sb] = static_cast<uint8_t>(bits.Get(6));
                if (scale[ch][sb] > kMaxScaleIndex) {
                    bad = true;
                }
            }
        }
    }
    if (bad) {
        mpgWriteSilence(st, output);
        return length;
    }
    const float* scales = mpgScaleFactors();
    MpgSubbandBlock& block = st.block;
    block.channels = nch;
    for (int t = 0; t < 12; ++t) {
        for (int sb = 0; sb < 32; ++sb) {
            for (int ch = 0; ch < (sb < bound ? nch : 1); ++ch) {
                const int nb = alloc[ch][sb];
                float value = 0.0f;
                uint32_t v = 0;
                if (nb) {
                    v = bits.Get(nb + 1);
                    value = Level(v, (1u << (nb + 1)) - 1);
                }
                block.s[ch][t][sb] = sb < limit ? value * scales[scale[ch][sb]] : 0.0f;
                if (sb >= bound && nch == 2) {
                    block.s[1][t][sb] = sb < limit && nb ? value * scales[scale[1][sb]] : 0.0f;
                }
            }
        }
    }
    Finish(st, block, 12, output);
    return length;
}

int mpgLayer2Frame(MpgState& st, const uint8_t* frame, int32_t available, void* output) {
    MpgHeader h;
    if (!mpgParseHeader(frame, h)) {
        return 0;
    }
    const int32_t length = mpgFrameLengthOf(st, h);
    if (length <= 0 || length > available) {
        return 0;
    }
    const int32_t kbps =
        h.bitrateIndex ? kMpgBitrates[h.id ? 0 : 1][1][h.bitrateIndex] : st.bitrate / 1000;
    const int table = AllocTable(h, kbps);
    if (table < 0) {
        mpgWriteSilence(st, output);
        return length;
    }
    const MpgAllocTable& at = kMpgAllocTables[table];
    const int sblimit = at.sblimit;
    MpgBits bits = FrameBits(frame, length);
    const int nch = Channels(h);
    const int bound = Bound(h, sblimit);
    const int limit = st.subbandLimit;
    const MpgAllocEntry* entry[2][32] = {};
    uint8_t scfsi[2][32] = {};
    uint8_t scale[2][32][3] = {};
    bool bad = false;
    for (int sb = 0; sb < sblimit; ++sb) {
        const MpgAllocSubband& sub = kMpgAllocSubbands[at.first + sb];
        for (int ch = 0; ch < (sb < bound ? nch : 1); ++ch) {
            const uint32_t index = bits.Get(sub.nbal);
            const MpgAllocEntry* e = &kMpgAllocEntries[sub.first + index];
            entry[ch][sb] = index ? e : nullptr;
            if (index && e->steps == 0) {
                bad = true;
            }
        }
        if (sb >= bound && nch == 2) {
            entry[1][sb] = entry[0][sb];
        }
    }
    for (int sb = 0; sb < sblimit; ++sb) {
        for (int ch = 0; ch < nch; ++ch) {
            if (entry[ch][sb]) {
                scfsi[ch][sb] = static_cast<uint8_t>(bits.Get(2));
            }
        }
    }
    for (int sb = 0; sb < sblimit; ++sb) {
        for (int ch = 0; ch < nch; ++ch) {
            if (!entry[ch][sb]) {
                continue;
            }
            uint8_t* s = scale[ch][sb];
            switch (scfsi[ch][sb]) {
            case 0:
                s[0] = static_cast<uint8_t>(bits.Get(6));
                s[1] = static_cast<uint8_t>(bits.Get(6));
                s[2] = static_cast<uint8_t>(bits.Get(6));
                break;
            case 1:
                s[0] = s[1] = static_cast<uint8_t>(bits.Get(6));
                s[2] = static_cast<uint8_t>(bits.Get(6));
                break;
            case 2:
                s[0] = s[1] = s[2] = static_cast<uint8_t>(bits.Get(6));
                break;
            default:
                s[0] = static_cast<uint8_t>(bits.Get(6));
                s[1] = s[2] = static_cast<uint8_t>(bits.Get(6));
                break;
            }
            if (s[0] > kMaxScaleIndex || s[1] > kMaxScaleIndex || s[2] > kMaxScaleIndex) {
                bad = true;
            }
        }
    }
    if (bad) {
        mpgWriteSilence(st, output);
        return length;
    }
    const float* scales = mpgScaleFactors();
    MpgSubbandBlock& block = st.block;
    block.channels = nch;
    for (int gr = 0; gr < 12; ++gr) {
        const int part = gr >> 2;
        float value[2][32][3];
        for (int sb = 0; sb < sblimit; ++sb) {
            for (int ch = 0; ch < (sb < bound ? nch : 1); ++ch) {
                const MpgAllocEntry* e = entry[ch][sb];
                float* v = value[ch][sb];
                if (!e) {
                    v[0] = v[1] = v[2] = 0.0f;
                    continue;
                }
                if (e->group == 1) {
                    uint32_t code = bits.Get(e->bits);
                    const uint32_t steps = e->steps;
                    const uint32_t a = code % steps;
                    code /= steps;
                    const uint32_t b = code % steps;
                    code /= steps;
                    if (code >= steps) {
                        bad = true;
                    }
                    v[0] = Level(a, steps);
                    v[1] = Level(b, steps);
                    v[2] = Level(code % steps, steps);
                } else {
                    for (int k = 0; k < 3; ++k) {
                        v[k] = Level(bits.Get(e->bits), e->steps);
                    }
                }
            }
            if (sb >= bound && nch == 2) {
                value[1][sb][0] = value[0][sb][0];
                value[1][sb][1] = value[0][sb][1];
                value[1][sb][2] = value[0][sb][2];
            }
        }
        for (int ch = 0; ch < nch; ++ch) {
            for (int k = 0; k < 3; ++k) {
                float* out = block.s[ch][gr * 3 + k];
                for (int sb = 0; sb < 32; ++sb) {
                    out[sb] = (sb < sblimit && sb < limit && entry[ch][sb])
                                  ? value[ch][sb][k] * scales[scale[ch][sb][part]]
                                  : 0.0f;
                }
            }
        }
    }
    if (bad) {
        mpgWriteSilence(st, output);
        return length;
    }
    Finish(st, block, 36, output);
    return length;
}
