// Layer III of the MPEG audio decoder: side information, bit reservoir, scale factors,
// Huffman decoding, requantisation, joint stereo (MS and intensity, with the lower
// sampling frequencies' intensity rules), reordering, alias reduction, IMDCT with
// overlap and frequency inversion. MPEG-1 frames carry two granules, MPEG-2 and
// MPEG-2.5 frames one.
//
// Robustness: every read goes through MpgBits, which yields zeros outside the main
// data, and every count from the stream (big_values, region counts, part2_3_length,
// main_data_begin, table selects) is checked before use. A granule that breaks a rule
// makes the whole frame silent; decoding continues with the next frame.
#include <algorithm>
#include <cmath>
#include <vector>

#include "sound/mpeg/mpg_internal.h"
#include "sound/mpeg/mpg_tables.h"

namespace {

constexpr int kLines = 576;
constexpr int kMaxBigValues = 288;
constexpr int kReservoirCompact = 6693;
constexpr int kPow43Size = 8207;  // 15 + 2^13 - 1 is the largest escaped value
constexpr int kGainOffset = 400;
constexpr int kGainSize = 480;

// Multi-level Huffman lookup: root entries indexed by the next rootBits bits.
// Entry: leaf = (total code length << 8) | value; sub-table = kSub | (bits << 24) | offset;
// 0 = no code starts with these bits.
constexpr uint32_t kSub = 0x80000000u;
struct HuffLut {
    int rootBits = 0;
    uint32_t offset = 0;
};

// Direct tables for the common codewords: indexed by the next `bits` bits, an entry
// gives a pair with its signs applied (x in the low byte, y in the next, as signed
// bytes) and the bits used, codeword and signs together, from bit 16; kSlow marks
// the rest (longer codewords, escapes, no codeword), which go through the tree
// lookup. Tables with the same codewords share one.
constexpr uint32_t kSlow = 0x80000000u;
constexpr int kDirectMaxBits = 10;
struct DirectTable {
    int bits = 0;
    const uint32_t* entries = nullptr;
};

// Looks up the codeword at the front of peek (32 bits, left-aligned) in the tree of
// lut within entries. Returns the leaf entry: value in the low byte, code length in
// the next; 0 for no codeword.
inline uint32_t Lookup(const uint32_t* entries, const HuffLut& lut, uint32_t peek) {
    uint32_t e = entries[lut.offset + (peek >> (32 - lut.rootBits))];
    int used = lut.rootBits;
    while (e & kSub) {
        const int sub = static_cast<int>((e >> 24) & 31);
        const uint32_t idx = (peek << used) >> (32 - sub);
        e = entries[(e & 0xFFFFFF) + idx];
        used += sub;
    }
    return e;
}

// The computed tables of Layer III, built once (Tables()) and constant after.
struct Layer3Tables {
    std::vector<uint32_t> lutEntries;
    HuffLut luts[34];
    std::vector<uint32_t> directEntries;
    DirectTable direct[32];
    // Quadruples (count1 tables): always complete within 10 bits; four signed bytes
    // and the bits used.
    uint32_t quadValues[2][1 << 10];
    uint8_t quadBits[2][1 << 10];

    float pow43[kPow43Size];
    // v^(4/3) with its sign for the small values that make up most of a spectrum.
    float pow43Small[31];
    float gain[kGainSize];  // 2^((i - kGainOffset) / 4)
    // IMDCT through a DCT-IV of half the size, computed as a complex DFT of a quarter
    // of the size between two twiddle steps: twLong[k] and twShort[k] hold cos and sin
    // of pi (k + 1/8) / 18 and pi (k + 1/8) / 6, tw9[k] those of 2 pi k / 9.
    float twLong[9][2];
    float twShort[3][2];
    float tw9[5][2];
    // Windows per block type, already carrying the signs that unfold the DCT-IV into
    // the 36 IMDCT values and the frequency inversion (odd time samples of odd
    // subbands negated), for four adjacent subbands starting with an even one.
    MpgV4 windowLong[4][36];
    MpgV4 windowShort[12];
    float aliasCs[8];
    float aliasCa[8];
    float isRatio[7][2];    // MPEG-1 intensity: left and right factors per position
    float lsfIs[2][32][2];  // lower rates: [intensity scale][position] -> left, right

    Layer3Tables();
    // The direct tables point into directEntries: no copies.
    Layer3Tables(const Layer3Tables&) = delete;
    Layer3Tables& operator=(const Layer3Tables&) = delete;

private:
    uint32_t BuildLevel(const std::vector<const MpgHuffCode*>& codes, int consumed, int bits);
    void BuildDirectTables();
};

const Layer3Tables& Tables() {
    static const Layer3Tables tables;
    return tables;
}

uint32_t Layer3Tables::BuildLevel(const std::vector<const MpgHuffCode*>& codes, int consumed, int bits) {
    const uint32_t base = static_cast<uint32_t>(lutEntries.size());
    lutEntries.resize(lutEntries.size() + (size_t{1} << bits), 0);
    std::vector<std::vector<const MpgHuffCode*>> longer(size_t{1} << bits);
    for (const MpgHuffCode* c : codes) {
        const int rest = c->length - consumed;
        if (rest <= bits) {
            const uint32_t prefix = (c->code & ((1u << rest) - 1)) << (bits - rest);
            for (uint32_t k = 0; k < (1u << (bits - rest)); ++k) {
                lutEntries[base + prefix + k] = (static_cast<uint32_t>(c->length) << 8) | c->value;
            }
        } else {
            const uint32_t prefix = (c->code >> (rest - bits)) & ((1u << bits) - 1);
            longer[prefix].push_back(c);
        }
    }
    for (uint32_t prefix = 0; prefix < longer.size(); ++prefix) {
        if (longer[prefix].empty()) {
            continue;
        }
        int maxRest = 0;
        for (const MpgHuffCode* c : longer[prefix]) {
            maxRest = std::max(maxRest, c->length - consumed - bits);
        }
        const int subBits = std::min(maxRest, 8);
        const uint32_t sub = BuildLevel(longer[prefix], consumed + bits, subBits);
        lutEntries[base + prefix] = kSub | (static_cast<uint32_t>(subBits) << 24) | sub;
    }
    return base;
}

Layer3Tables::Layer3Tables() {
    for (int t = 0; t < 34; ++t) {
        const MpgHuffTableInfo& info = kMpgHuffTables[t];
        if (info.count == 0) {
            continue;
        }
        std::vector<const MpgHuffCode*> codes;
        int maxLen = 0;
        for (int i = 0; i < info.count; ++i) {
            codes.push_back(&kMpgHuffCodes[info.first + i]);
            maxLen = std::max<int>(maxLen, kMpgHuffCodes[info.first + i].length);
        }
        luts[t].rootBits = std::min(maxLen, 8);
        luts[t].offset = BuildLevel(codes, 0, luts[t].rootBits);
    }
    BuildDirectTables();
    for (int i = 0; i < kPow43Size; ++i) {
        pow43[i] = static_cast<float>(std::pow(static_cast<double>(i), 4.0 / 3.0));
    }
    for (int v = -15; v <= 15; ++v) {
        pow43Small[v + 15] = v < 0 ? -pow43[-v] : pow43[v];
    }
    for (int i = 0; i < kGainSize; ++i) {
        gain[i] = static_cast<float>(std::pow(2.0, (i - kGainOffset) / 4.0));
    }
    const double pi = 3.14159265358979323846;
    for (int k = 0; k < 9; ++k) {
        twLong[k][0] = static_cast<float>(std::cos(pi * (k + 0.125) / 18.0));
        twLong[k][1] = static_cast<float>(std::sin(pi * (k + 0.125) / 18.0));
    }
    for (int k = 0; k < 3; ++k) {
        twShort[k][0] = static_cast<float>(std::cos(pi * (k + 0.125) / 6.0));
        twShort[k][1] = static_cast<float>(std::sin(pi * (k + 0.125) / 6.0));
    }
    for (int k = 0; k < 5; ++k) {
        tw9[k][0] = static_cast<float>(std::cos(2.0 * pi * k / 9.0));
        tw9[k][1] = static_cast<float>(std::sin(2.0 * pi * k / 9.0));
    }
    double window[4][36];
    for (int i = 0; i < 36; ++i) {
        window[0][i] = std::sin(pi / 36.0 * (i + 0.5));
        // Start window (block type 1) and stop window (block type 3).
        double start;
        if (i < 18) {
            start = std::sin(pi / 36.0 * (i + 0.5));
        } else if (i < 24) {
            start = 1.0;
        } else if (i < 30) {
            start = std::sin(pi / 12.0 * (i - 18 + 0.5));
        } else {
            start = 0.0;
        }
        window[1][i] = start;
        window[3][35 - i] = start;
        window[2][i] = 0.0;
    }
    // The DCT-IV values c give the IMDCT as c[i + 9] up to 9, -c[26 - i] up to 27,
    // -c[i - 27] above (and c[i + 3], -c[8 - i], -c[i - 9] for the 12-point one).
    for (int type = 0; type < 4; ++type) {
        for (int i = 0; i < 36; ++i) {
            const double w = i < 9 ? window[type][i] : -window[type][i];
            const double odd = (i & 1) ? -w : w;
            windowLong[type][i] = MpgV4{static_cast<float>(w), static_cast<float>(odd), static_cast<float>(w),
                                          static_cast<float>(odd)};
        }
    }
    for (int i = 0; i < 12; ++i) {
        const double ws = std::sin(pi / 12.0 * (i + 0.5));
        const double w = i < 3 ? ws : -ws;
        const double odd = (i & 1) ? -w : w;
        windowShort[i] =
            MpgV4{static_cast<float>(w), static_cast<float>(odd), static_cast<float>(w), static_cast<float>(odd)};
    }
    static constexpr double kAlias[8] = {-0.6, -0.535, -0.33, -0.185, -0.095, -0.041, -0.0142, -0.0037};
    for (int i = 0; i < 8; ++i) {
        const double sq = std::sqrt(1.0 + kAlias[i] * kAlias[i]);
        aliasCs[i] = static_cast<float>(1.0 / sq);
        aliasCa[i] = static_cast<float>(kAlias[i] / sq);
    }
    for (int p = 0; p < 7; ++p) {
        if (p == 6) {
            isRatio[p][0] = 1.0f;
            isRatio[p][1] = 0.0f;
        } else {
            const double k = std::tan(p * pi / 12.0);
            isRatio[p][0] = static_cast<float>(k / (1.0 + k));
            isRatio[p][1] = static_cast<float>(1.0 / (1.0 + k));
        }
    }
    for (int scale = 0; scale < 2; ++scale) {
        const double io = scale ? std::sqrt(0.5) : std::pow(2.0, -0.25);
        for (int p = 0; p < 32; ++p) {
            double l = 1.0;
            double r = 1.0;
            if (p & 1) {
                l = std::pow(io, (p + 1) / 2);
            } else if (p) {
                r = std::pow(io, p / 2);
            }
            lsfIs[scale][p][0] = static_cast<float>(l);
            lsfIs[scale][p][1] = static_cast<float>(r);
        }
    }
}

struct Granule {
    int part23 = 0;
    int bigValues = 0;
    int globalGain = 0;
    int scalefacCompress = 0;
    int windowSwitching = 0;
    int blockType = 0;
    int mixed = 0;
    int tableSelect[3] = {0, 0, 0};
    int subblockGain[3] = {0, 0, 0};
    int region0 = 0;
    int region1 = 0;
    int preflag = 0;
    int scalefacScale = 0;
    int count1Table = 0;
    bool IsShort() const { return windowSwitching && blockType == 2; }
};

struct SideInfo {
    int mainDataBegin = 0;
    int scfsi[2][4] = {};
    Granule gr[2][2];
};

// Scale factors of one channel; max* hold the largest value each one could carry
// (the lower rates mark an illegal intensity position with it).
struct ScaleFactors {
    int l[22] = {};
    int s[13][3] = {};
    int lMax[22] = {};
    int sMax[13][3] = {};
};

bool ReadSideInfo(MpgBits& bits, const MpgHeader& h, int nch, SideInfo& si) {
    const bool lsf = h.id == 0;
    si.mainDataBegin = static_cast<int>(bits.Get(lsf ? 8 : 9));
    bits.Get(lsf ? (nch == 1 ? 1 : 2) : (nch == 1 ? 5 : 3));
    if (!lsf) {
        for (int ch = 0; ch < nch; ++ch) {
            for (int g = 0; g < 4; ++g) {
                si.scfsi[ch][g] = static_cast<int>(bits.Get1());
            }
        }
    }
    const int granules = lsf ? 1 : 2;
    for (int gr = 0; gr < granules; ++gr) {
        for (int ch = 0; ch < nch; ++ch) {
            Granule& g = si.gr[gr][ch];
            g.part23 = static_cast<int>(bits.Get(12));
            g.bigValues = static_cast<int>(bits.Get(9));
            g.globalGain = static_cast<int>(bits.Get(8));
            g.scalefacCompress = static_cast<int>(bits.Get(lsf ? 9 : 4));
            g.windowSwitching = static_cast<int>(bits.Get1());
            if (g.windowSwitching) {
                g.blockType = static_cast<int>(bits.Get(2));
                g.mixed = static_cast<int>(bits.Get1());
                g.tableSelect[0] = static_cast<int>(bits.Get(5));
                g.tableSelect[1] = static_cast<int>(bits.Get(5));
                g.tableSelect[2] = 0;
                for (int w = 0; w < 3; ++w) {
                    g.subblockGain[w] = static_cast<int>(bits.Get(3));
                }
                g.region0 = g.blockType == 2 && !g.mixed ? 8 : 7;
                g.region1 = 20 - g.region0;
                if (g.blockType == 0) {
                    return false;  // window switching with a normal block is reserved
                }
            } else {
                g.blockType = 0;
                g.mixed = 0;
                for (int r = 0; r < 3; ++r) {
                    g.tableSelect[r] = static_cast<int>(bits.Get(5));
                }
                g.subblockGain[0] = g.subblockGain[1] = g.subblockGain[2] = 0;
                g.region0 = static_cast<int>(bits.Get(4));
                g.region1 = static_cast<int>(bits.Get(3));
            }
            g.preflag = lsf ? 0 : static_cast<int>(bits.Get1());
            g.scalefacScale = static_cast<int>(bits.Get1());
            g.count1Table = static_cast<int>(bits.Get1());
            if (g.bigValues > kMaxBigValues) {
                return false;
            }
        }
    }
    return true;
}

// First line of the short part of a block: lines below it use long scale-factor bands.
int SwitchLine(const Granule& g, const MpgBandTable& bands) {
    if (!g.IsShort()) {
        return kLines;
    }
    return g.mixed ? 3 * bands.shortBands[3] : 0;
}

int LongBandsBelow(int line, const MpgBandTable& bands) {
    int n = 0;
    while (n < 22 && bands.longBands[n + 1] <= line) {
        ++n;
    }
    return n;
}

void ReadScaleFactorsMpeg1(MpgBits& bits, const Granule& g, const int* scfsi, int gr, ScaleFactors& sf) {
    const int slen1 = kMpgSlen[0][g.scalefacCompress];
    const int slen2 = kMpgSlen[1][g.scalefacCompress];
    if (g.IsShort()) {
        int sfb = 0;
        if (g.mixed) {
            for (; sfb < 8; ++sfb) {
                sf.l[sfb] = static_cast<int>(bits.Get(slen1));
            }
            sfb = 3;
        }
        for (; sfb < 12; ++sfb) {
            const int slen = sfb < 6 ? slen1 : slen2;
            for (int w = 0; w < 3; ++w) {
                sf.s[sfb][w] = static_cast<int>(bits.Get(slen));
            }
        }
        for (int w = 0; w < 3; ++w) {
            sf.s[12][w] = 0;
        }
        return;
    }
    static constexpr int kGroups[5] = {0, 6, 11, 16, 21};
    for (int grp = 0; grp < 4; ++grp) {
        if (gr == 1 && scfsi[grp]) {
            continue;  // kept from the first granule
        }
        const int slen = grp < 2 ? slen1 : slen2;
        for (int sfb = kGroups[grp]; sfb < kGroups[grp + 1]; ++sfb) {
            sf.l[sfb] = static_cast<int>(bits.Get(slen));
        }
    }
    sf.l[21] = 0;
}

// Lower sampling frequencies: scalefac_compress picks the partition row and the
// widths; the right channel of an intensity-stereo frame uses rows 3 to 5.
void ReadScaleFactorsLsf(MpgBits& bits, const Granule& g, bool intensityRight, ScaleFactors& sf, int& preflag,
                         int& intensityScale) {
    int slen[4] = {0, 0, 0, 0};
    int row;
    int sfc = g.scalefacCompress;
    preflag = 0;
    intensityScale = 0;
    if (!intensityRight) {
        if (sfc < 400) {
            slen[0] = (sfc >> 4) / 5;
            slen[1] = (sfc >> 4) % 5;
            slen[2] = (sfc & 15) >> 2;
            slen[3] = sfc & 3;
            row = 0;
        } else if (sfc < 500) {
            sfc -= 400;
            slen[0] = (sfc >> 2) / 5;
            slen[1] = (sfc >> 2) % 5;
            slen[2] = sfc & 3;
            row = 1;
        } else {
            sfc -= 500;
            slen[0] = sfc / 3;
            slen[1] = sfc % 3;
            preflag = 1;
            row = 2;
        }
    } else {
        intensityScale = sfc & 1;
        const int isc = sfc >> 1;
        if (isc < 180) {
            slen[0] = isc / 36;
            slen[1] = (isc % 36) / 6;
            slen[2] = (isc % 36) % 6;
            row = 3;
        } else if (isc < 244) {
            const int v = isc - 180;
            slen[0] = (v % 64) >> 4;
            slen[1] = (v % 16) >> 2;
            slen[2] = v % 4;
            row = 4;
        } else {
            const int v = isc - 244;
            slen[0] = v / 3;
            slen[1] = v % 3;
            row = 5;
        }
    }
    const int kind = g.IsShort() ? (g.mixed ? 2 : 1) : 0;
    int values[40];
    int maxes[40];
    int n = 0;
    for (int part = 0; part < 4; ++part) {
        const int count = kMpgLsfPartitions[row][kind][part];
        for (int i = 0; i < count && n < 40; ++i) {
            values[n] = static_cast<int>(bits.Get(slen[part]));
            maxes[n] = (1 << slen[part]) - 1;
            ++n;
        }
    }
    for (int i = n; i < 40; ++i) {
        values[i] = 0;
        maxes[i] = 0;
    }
    int k = 0;
    if (kind == 0) {
        for (int sfb = 0; sfb < 21; ++sfb, ++k) {
            sf.l[sfb] = values[k];
            sf.lMax[sfb] = maxes[k];
        }
        sf.l[21] = 0;
        sf.lMax[21] = 0;
        return;
    }
    int sfb = 0;
    if (kind == 2) {
        for (; sfb < 6; ++sfb, ++k) {
            sf.l[sfb] = values[k];
            sf.lMax[sfb] = maxes[k];
        }
        sfb = 3;
    }
    for (; sfb < 12; ++sfb) {
        for (int w = 0; w < 3; ++w, ++k) {
            sf.s[sfb][w] = k < 40 ? values[k] : 0;
            sf.sMax[sfb][w] = k < 40 ? maxes[k] : 0;
        }
    }
    for (int w = 0; w < 3; ++w) {
        sf.s[12][w] = 0;
        sf.sMax[12][w] = 0;
    }
}

void Layer3Tables::BuildDirectTables() {
    size_t offsets[32] = {};
    directEntries.clear();
    for (int t = 1; t < 32; ++t) {
        const MpgHuffTableInfo& info = kMpgHuffTables[t];
        if (info.count == 0) {
            continue;
        }
        int shared = -1;
        for (int u = 1; u < t; ++u) {
            if (kMpgHuffTables[u].count != 0 && kMpgHuffTables[u].first == info.first &&
                (kMpgHuffTables[u].linbits != 0) == (info.linbits != 0)) {
                shared = u;
                break;
            }
        }
        if (shared >= 0) {
            direct[t].bits = direct[shared].bits;
            offsets[t] = offsets[shared];
            continue;
        }
        int maxLen = 0;
        for (int i = 0; i < info.count; ++i) {
            maxLen = std::max<int>(maxLen, kMpgHuffCodes[info.first + i].length);
        }
        const int bits = std::min(maxLen + 2, kDirectMaxBits);
        direct[t].bits = bits;
        offsets[t] = directEntries.size();
        for (uint32_t idx = 0; idx < (1u << bits); ++idx) {
            const uint32_t peek = idx << (32 - bits);
            const uint32_t e = Lookup(lutEntries.data(), luts[t], peek);
            const int len = static_cast<int>((e >> 8) & 0xFF);
            int x = static_cast<int>((e >> 4) & 15);
            int y = static_cast<int>(e & 15);
            const int used = len + (x != 0) + (y != 0);
            if (len == 0 || used > bits || (info.linbits && (x == 15 || y == 15))) {
                directEntries.push_back(kSlow);
                continue;
            }
            int at = len;
            if (x && ((peek << at++) >> 31)) {
                x = -x;
            }
            if (y && ((peek << at) >> 31)) {
                y = -y;
            }
            directEntries.push_back(static_cast<uint32_t>(static_cast<uint8_t>(x)) |
                                      (static_cast<uint32_t>(static_cast<uint8_t>(y)) << 8) |
                                      (static_cast<uint32_t>(used) << 16));
        }
    }
    for (int t = 1; t < 32; ++t) {
        direct[t].entries = direct[t].bits ? directEntries.data() + offsets[t] : nullptr;
    }
    for (int q = 0; q < 2; ++q) {
        for (uint32_t idx = 0; idx < (1u << 10); ++idx) {
            const uint32_t peek = idx << 22;
            const uint32_t e = Lookup(lutEntries.data(), luts[32 + q], peek);
            int used = static_cast<int>((e >> 8) & 0xFF);
            uint32_t packed = 0;
            for (int k = 0; k < 4; ++k) {
                int v = static_cast<int>((e >> (3 - k)) & 1);
                if (v && ((peek << used++) >> 31)) {
                    v = -v;
                }
                packed |= static_cast<uint32_t>(static_cast<uint8_t>(v)) << (8 * k);
            }
            // Every quadruple codeword with its signs fits in 10 bits; 0 bits marks
            // bits that start no codeword.
            quadValues[q][idx] = packed;
            quadBits[q][idx] = static_cast<uint8_t>(((e >> 8) & 0xFF) ? used : 0);
        }
    }
}

// Huffman-decodes the granule's values into is[]; returns the count of lines decoded
// (the rest are zero), or -1 for corrupt data.
int DecodeSpectrum(const Layer3Tables& tables, MpgBits& bits, const Granule& g, const MpgBandTable& bands, size_t end,
                   int32_t* is) {
    const uint32_t* entries = tables.lutEntries.data();
    const int big = g.bigValues * 2;
    int r1;
    int r2;
    if (g.windowSwitching) {
        r1 = g.IsShort() && !g.mixed ? 3 * bands.shortBands[3] : bands.longBands[8];
        r2 = kLines;
    } else {
        r1 = bands.longBands[std::min(g.region0 + 1, 22)];
        r2 = bands.longBands[std::min(g.region0 + g.region1 + 2, 22)];
    }
    r1 = std::min(r1, big);
    r2 = std::min(std::max(r2, r1), big);
    MpgBitCache c(bits.Data(), bits.Size(), bits.Position());
    int i = 0;
    for (int region = 0; region < 3; ++region) {
        const int stop = region == 0 ? r1 : (region == 1 ? r2 : big);
        const int table = g.tableSelect[region];
        if (i >= stop) {
            continue;
        }
        if (table == 0) {
            for (; i < stop; ++i) {
                is[i] = 0;
            }
            continue;
        }
        if (table == 4 || table == 14) {
            return -1;
        }
        const int linbits = kMpgHuffTables[table].linbits;
        const HuffLut& lut = tables.luts[table];
        const uint32_t* direct = tables.direct[table].entries;
        const int directShift = 32 - tables.direct[table].bits;
        // The bit reader yields zeros past the data, so an overrun is caught once per
        // region: the position only grows.
        for (; i < stop; i += 2) {
            const uint32_t peek = c.Peek32();
            const uint32_t d = direct[peek >> directShift];
            if (!(d & kSlow)) {
                is[i] = static_cast<int8_t>(d & 0xFF);
                is[i + 1] = static_cast<int8_t>((d >> 8) & 0xFF);
                c.Skip(static_cast<int>(d >> 16));
                continue;
            }
            // One 32-bit peek covers a codeword (19 bits at most) and its two sign
            // bits; escapes (linbits) read on from the bit reader.
            const uint32_t e = Lookup(entries, lut, peek);
            const int len = static_cast<int>((e >> 8) & 0xFF);
            if (len == 0) {
                return -1;
            }
            int x = static_cast<int>((e >> 4) & 15);
            int y = static_cast<int>(e & 15);
            if (linbits && (x == 15 || y == 15)) {
                c.Skip(len);
                if (x == 15) {
                    x += static_cast<int>(c.Get(linbits));
                }
                if (x && c.Get(1)) {
                    x = -x;
                }
                if (y == 15) {
                    y += static_cast<int>(c.Get(linbits));
                }
                if (y && c.Get(1)) {
                    y = -y;
                }
            } else {
                int used = len;
                if (x && ((peek << used++) >> 31)) {
                    x = -x;
                }
                if (y && ((peek << used++) >> 31)) {
                    y = -y;
                }
                c.Skip(used);
            }
            is[i] = x;
            is[i + 1] = y;
        }
        if (c.Position() > end) {
            return -1;
        }
    }
    const uint32_t* quadValues = tables.quadValues[g.count1Table];
    const uint8_t* quadBits = tables.quadBits[g.count1Table];
    while (i + 4 <= kLines && c.Position() < end) {
        // A quadruple codeword (6 bits at most) and up to four sign bits.
        const uint32_t idx = c.Peek32() >> 22;
        const int used = quadBits[idx];
        if (used == 0) {
            return -1;
        }
        if (c.Position() + static_cast<size_t>(used) > end) {
            // The last quadruple ran past the granule: it is not part of the data.
            break;
        }
        c.Skip(used);
        const uint32_t v = quadValues[idx];
        is[i] = static_cast<int8_t>(v & 0xFF);
        is[i + 1] = static_cast<int8_t>((v >> 8) & 0xFF);
        is[i + 2] = static_cast<int8_t>((v >> 16) & 0xFF);
        is[i + 3] = static_cast<int8_t>(v >> 24);
        i += 4;
    }
    for (int k = i; k < kLines; ++k) {
        is[k] = 0;
    }
    bits.SetPosition(c.Position());
    return i;
}

inline float Requant(const Layer3Tables& tables, int32_t v, float gain) {
    if (static_cast<uint32_t>(v + 15) <= 30u) {
        return tables.pow43Small[v + 15] * gain;
    }
    const int a = v < 0 ? -v : v;
    const float m = tables.pow43[a < kPow43Size ? a : kPow43Size - 1] * gain;
    return v < 0 ? -m : m;
}

// Lines [line, stop) with one gain; from quads on (the count1 region) the values are
// -1, 0 or 1, whose power is the value itself, so those go four at a time.
inline void RequantRange(const Layer3Tables& tables, const int32_t* is, float* xr, int line, int stop, int quads,
                         float gain) {
    const int mid = std::max(line, std::min(stop, quads));
    for (; line < mid; ++line) {
        xr[line] = Requant(tables, is[line], gain);
    }
    typedef int32_t I4 __attribute__((vector_size(16)));
    const MpgV4 gain4 = mpgSplat4(gain);
    for (; line + 4 <= stop; line += 4) {
        I4 v;
        std::memcpy(&v, is + line, sizeof(v));
        mpgStore4(xr + line, __builtin_convertvector(v, MpgV4) * gain4);
    }
    for (; line < stop; ++line) {
        xr[line] = static_cast<float>(is[line]) * gain;
    }
}

inline float Gain(const Layer3Tables& tables, int q) {
    const int i = q + kGainOffset;
    return tables.gain[i < 0 ? 0 : (i >= kGainSize ? kGainSize - 1 : i)];
}

void Requantise(const Layer3Tables& tables, const Granule& g, const ScaleFactors& sf, int preflag, const MpgBandTable& bands, int count,
                int lineLimit, const int32_t* is, float* xr) {
    const int quads = g.bigValues * 2;
    const int a = g.globalGain - 210;
    const int shift = g.scalefacScale ? 4 : 2;
    const int limit = std::min(count, lineLimit);
    const int switchLine = SwitchLine(g, bands);
    int line = 0;
    // Long part.
    for (int sfb = 0; sfb < 22 && line < limit && line < switchLine; ++sfb) {
        const int stop = std::min({static_cast<int>(bands.longBands[sfb + 1]), limit, switchLine});
        const float gain = Gain(tables, a - shift * (sf.l[sfb] + (preflag ? kMpgPretab[sfb] : 0)));
        RequantRange(tables, is, xr, line, stop, quads, gain);
        line = stop;
    }
    // Short part, in scale-factor band then window order.
    if (switchLine < kLines) {
        for (int sfb = switchLine ? 3 : 0; sfb < 13 && line < limit; ++sfb) {
            const int width = bands.shortBands[sfb + 1] - bands.shortBands[sfb];
            for (int w = 0; w < 3 && line < limit; ++w) {
                const float gain = Gain(tables, a - 8 * g.subblockGain[w] - shift * sf.s[sfb][w]);
                const int stop = std::min(line + width, limit);
                RequantRange(tables, is, xr, line, stop, quads, gain);
                line = stop;
            }
        }
    }
    for (; line < kLines; ++line) {
        xr[line] = 0.0f;
    }
}

void MidSide(float* l, float* r, int from, int to) {
    constexpr float k = 0.70710678118654752f;
    for (int i = from; i < to; ++i) {
        const float m = l[i];
        const float s = r[i];
        l[i] = (m + s) * k;
        r[i] = (m - s) * k;
    }
}

struct IntensityRule {
    bool lsf;
    int scale;
    bool ms;
};

// Intensity stereo over lines [from, to) with position pos (max: the illegal value).
void Intensity(const Layer3Tables& tables, float* l, float* r, int from, int to, int pos, int max,
               const IntensityRule& rule) {
    bool legal;
    float kl;
    float kr;
    if (rule.lsf) {
        legal = pos != max;
        const int p = pos < 0 ? 0 : (pos > 31 ? 31 : pos);
        kl = tables.lsfIs[rule.scale][p][0];
        kr = tables.lsfIs[rule.scale][p][1];
    } else {
        legal = pos >= 0 && pos < 7;
        kl = legal ? tables.isRatio[pos][0] : 0.0f;
        kr = legal ? tables.isRatio[pos][1] : 0.0f;
    }
    if (!legal) {
        if (rule.ms) {
            MidSide(l, r, from, to);
        }
        return;
    }
    for (int i = from; i < to; ++i) {
        const float v = l[i];
        l[i] = v * kl;
        r[i] = v * kr;
    }
}

void JointStereo(const Layer3Tables& tables, const MpgHeader& h, const Granule& g, const ScaleFactors& right, int intensityScale,
                 const MpgBandTable& bands, const int32_t* isRight, float* l, float* r) {
    const bool ms = (h.modeExtension & 2) != 0;
    const bool intensity = (h.modeExtension & 1) != 0;
    if (!intensity) {
        if (ms) {
            MidSide(l, r, 0, kLines);
        }
        return;
    }
    const IntensityRule rule{h.id == 0, intensityScale, ms};
    const int switchLine = SwitchLine(g, bands);
    if (switchLine == kLines) {
        int last = -1;
        for (int i = kLines - 1; i >= 0; --i) {
            if (isRight[i]) {
                last = i;
                break;
            }
        }
        int sfb = 0;
        while (sfb < 22 && bands.longBands[sfb + 1] <= last) {
            ++sfb;
        }
        const int bound = last < 0 ? 0 : sfb + 1;
        if (ms) {
            MidSide(l, r, 0, bound < 22 ? bands.longBands[bound] : kLines);
        }
        for (int b = bound; b < 22; ++b) {
            const int src = b < 21 ? b : 20;
            Intensity(tables, l, r, bands.longBands[b], bands.longBands[b + 1], right.l[src], right.lMax[src], rule);
        }
        return;
    }
    // Short (or mixed) blocks: each window has its own intensity bound.
    const int firstShort = switchLine ? 3 : 0;
    bool anyShortNonZero = false;
    for (int w = 0; w < 3; ++w) {
        int bound = firstShort;
        for (int sfb = 12; sfb >= firstShort; --sfb) {
            const int width = bands.shortBands[sfb + 1] - bands.shortBands[sfb];
            const int start = 3 * bands.shortBands[sfb] + w * width;
            bool nz = false;
            for (int i = start; i < start + width; ++i) {
                if (isRight[i]) {
                    nz = true;
                    break;
                }
            }
            if (nz) {
                bound = sfb + 1;
                anyShortNonZero = true;
                break;
            }
        }
        for (int sfb = firstShort; sfb < 13; ++sfb) {
            const int width = bands.shortBands[sfb + 1] - bands.shortBands[sfb];
            const int start = 3 * bands.shortBands[sfb] + w * width;
            if (sfb < bound) {
                if (ms) {
                    MidSide(l, r, start, start + width);
                }
            } else {
                const int src = sfb < 12 ? sfb : 11;
                Intensity(tables, l, r, start, start + width, right.s[src][w], right.sMax[src][w], rule);
            }
        }
    }
    if (switchLine) {
        // Long part of a mixed block: intensity only when no short window has data.
        const int longBands = LongBandsBelow(switchLine, bands);
        int bound = longBands;
        if (!anyShortNonZero) {
            int last = -1;
            for (int i = switchLine - 1; i >= 0; --i) {
                if (isRight[i]) {
                    last = i;
                    break;
                }
            }
            int sfb = 0;
            while (sfb < longBands && bands.longBands[sfb + 1] <= last) {
                ++sfb;
            }
            bound = last < 0 ? 0 : sfb + 1;
        }
        for (int b = 0; b < longBands; ++b) {
            if (b < bound) {
                if (ms) {
                    MidSide(l, r, bands.longBands[b], bands.longBands[b + 1]);
                }
            } else {
                Intensity(tables, l, r, bands.longBands[b], bands.longBands[b + 1], right.l[b], right.lMax[b], rule);
            }
        }
    }
}

// Short-block lines to subband order: for each subband 18 values, window by window.
void Reorder(float* xr, int switchLine, const MpgBandTable& bands) {
    float tmp[kLines];
    const int firstShort = switchLine ? 3 : 0;
    for (int sfb = firstShort; sfb < 13; ++sfb) {
        const int start = bands.shortBands[sfb];
        const int width = bands.shortBands[sfb + 1] - start;
        for (int w = 0; w < 3; ++w) {
            for (int k = 0; k < width; ++k) {
                const int f = start + k;
                tmp[(f / 6) * 18 + w * 6 + f % 6] = xr[3 * start + w * width + k];
            }
        }
    }
    std::copy(tmp + switchLine, tmp + kLines, xr + switchLine);
}

inline MpgV4 Reverse4(MpgV4 v) {
#if defined(__SSE__)
    return _mm_shuffle_ps(v, v, _MM_SHUFFLE(0, 1, 2, 3));
#else
    return MpgV4{v[3], v[2], v[1], v[0]};
#endif
}

// The eight butterflies across each subband boundary, four at a time: the lines below
// a boundary meet those above it in mirrored order.
void AliasReduce(const Layer3Tables& tables, float* xr, int boundaries) {
    const MpgV4 cs0 = mpgLoad4(tables.aliasCs);
    const MpgV4 cs1 = mpgLoad4(tables.aliasCs + 4);
    const MpgV4 ca0 = mpgLoad4(tables.aliasCa);
    const MpgV4 ca1 = mpgLoad4(tables.aliasCa + 4);
    const MpgV4 csr0 = Reverse4(cs1);
    const MpgV4 csr1 = Reverse4(cs0);
    const MpgV4 car0 = Reverse4(ca1);
    const MpgV4 car1 = Reverse4(ca0);
    for (int sb = 1; sb <= boundaries; ++sb) {
        float* lo = xr + 18 * sb - 8;
        float* hi = xr + 18 * sb;
        const MpgV4 l0 = mpgLoad4(lo);
        const MpgV4 l1 = mpgLoad4(lo + 4);
        const MpgV4 h0 = mpgLoad4(hi);
        const MpgV4 h1 = mpgLoad4(hi + 4);
        mpgStore4(lo, l0 * csr0 - Reverse4(h1) * car0);
        mpgStore4(lo + 4, l1 * csr1 - Reverse4(h0) * car1);
        mpgStore4(hi, h0 * cs0 + Reverse4(l1) * ca0);
        mpgStore4(hi + 4, h1 * cs1 + Reverse4(l0) * ca1);
    }
}

template <typename T>
struct Complex {
    T re;
    T im;
};

template <typename T>
inline T Scalar(float f) {
    if constexpr (sizeof(T) == sizeof(float)) {
        return f;
    } else {
        return mpgSplat4(f);
    }
}

// v times e^(-i a), with cs = {cos a, sin a}.
template <typename T>
inline Complex<T> Rotate(Complex<T> v, const float* cs) {
    const T c = Scalar<T>(cs[0]);
    const T s = Scalar<T>(cs[1]);
    return {v.re * c + v.im * s, v.im * c - v.re * s};
}

// Three-point DFT (kernel e^(-2 pi i / 3)).
template <typename T>
inline void Dft3(Complex<T> a, Complex<T> b, Complex<T> c, Complex<T>* out) {
    const T k = Scalar<T>(0.86602540378443865f);
    const T half = Scalar<T>(0.5f);
    const Complex<T> sum{b.re + c.re, b.im + c.im};
    const Complex<T> u{(b.re - c.re) * k, (b.im - c.im) * k};
    const Complex<T> t{a.re - sum.re * half, a.im - sum.im * half};
    out[0] = {a.re + sum.re, a.im + sum.im};
    out[1] = {t.re + u.im, t.im - u.re};
    out[2] = {t.re - u.im, t.im + u.re};
}

// DCT-IV of size 2M, c[k] = sum x[n] cos(pi/2M (n + 1/2)(k + 1/2)), for M = 9 or 3:
// the pairs z[m] = x[2m] + i x[2M - 1 - 2m], turned by pi (m + 1/8) / 2M, go through an
// M-point DFT (3 x 3 for M = 9) and are turned once more; the real parts are the even
// outputs, the negated imaginary parts the odd ones from the top. T is float or four
// independent transforms side by side.
template <typename T, int M>
inline void Dct4(const Layer3Tables& tables, const T* x, T* c) {
    const float(*tw)[2] = M == 9 ? tables.twLong : tables.twShort;
    Complex<T> z[M];
#pragma GCC unroll 36
    for (int m = 0; m < M; ++m) {
        z[m] = Rotate<T>({x[2 * m], x[2 * M - 1 - 2 * m]}, tw[m]);
    }
    Complex<T> f[M];
    if constexpr (M == 3) {
        Dft3<T>(z[0], z[1], z[2], f);
    } else {
        // Index n = 3 n1 + n2, frequency p = p1 + 3 p2: DFTs over n1, twiddles
        // e^(-2 pi i n2 p1 / 9), DFTs over n2.
        Complex<T> a[3][3];
#pragma GCC unroll 36
        for (int n2 = 0; n2 < 3; ++n2) {
            Dft3<T>(z[n2], z[n2 + 3], z[n2 + 6], a[n2]);
        }
        a[1][1] = Rotate<T>(a[1][1], tables.tw9[1]);
        a[1][2] = Rotate<T>(a[1][2], tables.tw9[2]);
        a[2][1] = Rotate<T>(a[2][1], tables.tw9[2]);
        a[2][2] = Rotate<T>(a[2][2], tables.tw9[4]);
#pragma GCC unroll 36
        for (int p1 = 0; p1 < 3; ++p1) {
            Complex<T> r[3];
            Dft3<T>(a[0][p1], a[1][p1], a[2][p1], r);
            f[p1] = r[0];
            f[p1 + 3] = r[1];
            f[p1 + 6] = r[2];
        }
    }
#pragma GCC unroll 36
    for (int p = 0; p < M; ++p) {
        const Complex<T> v = Rotate<T>(f[p], tw[p]);
        c[2 * p] = v.re;
        c[2 * M - 1 - 2 * p] = -v.im;
    }
}

// Windowed IMDCT of long blocks in four subbands (one per lane), signs included.
void LongLanes(const Layer3Tables& tables, const MpgV4* x, const MpgV4* window, MpgV4* y) {
    MpgV4 c[18];
    Dct4<MpgV4, 9>(tables, x, c);
#pragma GCC unroll 36
    for (int i = 0; i < 9; ++i) {
        y[i] = c[i + 9] * window[i];
    }
#pragma GCC unroll 36
    for (int i = 9; i < 27; ++i) {
        y[i] = c[26 - i] * window[i];
    }
#pragma GCC unroll 36
    for (int i = 27; i < 36; ++i) {
        y[i] = c[i - 27] * window[i];
    }
}

// The three short IMDCTs of four subbands, overlapped within the 36 values.
void ShortLanes(const Layer3Tables& tables, const MpgV4* x, MpgV4* y) {
#pragma GCC unroll 36
    for (int i = 0; i < 36; ++i) {
        y[i] = MpgV4{};
    }
#pragma GCC unroll 36
    for (int w = 0; w < 3; ++w) {
        MpgV4 c[6];
        Dct4<MpgV4, 3>(tables, x + 6 * w, c);
        MpgV4* yw = y + 6 + 6 * w;
#pragma GCC unroll 36
        for (int i = 0; i < 3; ++i) {
            yw[i] += c[i + 3] * tables.windowShort[i];
        }
#pragma GCC unroll 36
        for (int i = 3; i < 9; ++i) {
            yw[i] += c[8 - i] * tables.windowShort[i];
        }
#pragma GCC unroll 36
        for (int i = 9; i < 12; ++i) {
            yw[i] += c[i - 9] * tables.windowShort[i];
        }
    }
}

// IMDCT, overlap-add and frequency inversion of one channel into out[18][32], four
// subbands at a time; overlap holds the second halves with their signs already set.
void Hybrid(const Layer3Tables& tables, const Granule& g, int switchLine, const float* xr, int bound, float (*overlap)[32], float (*out)[32]) {
    int used = bound;
    while (used > 0 && xr[used - 1] == 0.0f) {
        --used;
    }
    const int subbands = (used + 17) / 18;
    const int longSubbands = switchLine / 18;
    for (int sb0 = 0; sb0 < 32; sb0 += 4) {
        if (sb0 >= subbands) {
            // No data from here up: only the overlap comes out.
            const MpgV4 zero = {};
#pragma GCC unroll 36
            for (int t = 0; t < 18; ++t) {
                mpgStore4(out[t] + sb0, mpgLoad4(overlap[t] + sb0));
                mpgStore4(overlap[t] + sb0, zero);
            }
            continue;
        }
        // Lanes are subbands: 18 values of four rows to 18 vectors.
        MpgV4 x[18];
        const float* row[4] = {xr + 18 * sb0, xr + 18 * sb0 + 18, xr + 18 * sb0 + 36, xr + 18 * sb0 + 54};
#pragma GCC unroll 36
        for (int k = 0; k < 16; k += 4) {
            MpgV4 r0 = mpgLoad4(row[0] + k);
            MpgV4 r1 = mpgLoad4(row[1] + k);
            MpgV4 r2 = mpgLoad4(row[2] + k);
            MpgV4 r3 = mpgLoad4(row[3] + k);
            mpgTranspose4(r0, r1, r2, r3);
            x[k] = r0;
            x[k + 1] = r1;
            x[k + 2] = r2;
            x[k + 3] = r3;
        }
        x[16] = MpgV4{row[0][16], row[1][16], row[2][16], row[3][16]};
        x[17] = MpgV4{row[0][17], row[1][17], row[2][17], row[3][17]};
        // Window per lane: the block type, except that the mixed-block flag gives the
        // two lowest subbands the normal window whatever the block type; -1 for short.
        int type[4];
        for (int l = 0; l < 4; ++l) {
            const int sb = sb0 + l;
            if (sb >= longSubbands) {
                type[l] = -1;
            } else {
                type[l] = g.IsShort() || (g.windowSwitching && g.mixed && sb < 2) ? 0 : g.blockType;
            }
        }
        MpgV4 y[36];
        if (type[0] == type[1] && type[0] == type[2] && type[0] == type[3]) {
            if (type[0] < 0) {
                ShortLanes(tables, x, y);
            } else {
                LongLanes(tables, x, tables.windowLong[type[0]], y);
            }
        } else {
            // The low subbands of a mixed block: both kinds, then each lane its own.
            MpgV4 window[36];
            for (int i = 0; i < 36; ++i) {
                for (int l = 0; l < 4; ++l) {
                    window[i][l] = tables.windowLong[type[l] < 0 ? 0 : type[l]][i][l];
                }
            }
            MpgV4 ys[36];
            LongLanes(tables, x, window, y);
            ShortLanes(tables, x, ys);
            for (int i = 0; i < 36; ++i) {
                for (int l = 0; l < 4; ++l) {
                    if (type[l] < 0) {
                        y[i][l] = ys[i][l];
                    }
                }
            }
        }
#pragma GCC unroll 36
        for (int t = 0; t < 18; ++t) {
            mpgStore4(out[t] + sb0, y[t] + mpgLoad4(overlap[t] + sb0));
            mpgStore4(overlap[t] + sb0, y[t + 18]);
        }
    }
}

}  // namespace

void mpgBuildLayer3Tables() { Tables(); }

void mpgLayer3Reset(MpgState& st) {
    std::memset(st.l3.overlap, 0, sizeof(st.l3.overlap));
    st.l3.reservoirFill = 0;
}

int mpgLayer3Frame(MpgState& st, const uint8_t* frame, int32_t available, void* output) {
    MpgHeader h;
    if (!mpgParseHeader(frame, h)) {
        return 0;
    }
    const int32_t length = mpgFrameLengthOf(st, h);
    if (length <= 0 || length > available) {
        return 0;
    }
    const int nch = h.mode == 3 ? 1 : 2;
    const bool lsf = h.id == 0;
    const int sideBytes = lsf ? (nch == 1 ? 9 : 17) : (nch == 1 ? 17 : 32);
    const int headerBytes = 4 + (h.protection ? 0 : 2);
    const int mainBytes = length - headerBytes - sideBytes;
    if (mainBytes < 0) {
        return 0;
    }
    const Layer3Tables& tables = Tables();
    MpgBits sideBits(frame + headerBytes, static_cast<size_t>(sideBytes));
    SideInfo si;
    const bool sideOk = ReadSideInfo(sideBits, h, nch, si);

    // Append this frame's main data to the reservoir.
    MpgLayer3State& l3 = st.l3;
    if (l3.reservoirFill + mainBytes > kReservoirCompact) {
        const int keep = std::min(l3.reservoirFill, 512);
        std::memmove(l3.reservoir, l3.reservoir + l3.reservoirFill - keep, static_cast<size_t>(keep));
        l3.reservoirFill = keep;
    }
    const int before = l3.reservoirFill;
    std::memcpy(l3.reservoir + before, frame + headerBytes + sideBytes, static_cast<size_t>(mainBytes));
    l3.reservoirFill += mainBytes;

    if (!sideOk || si.mainDataBegin > before) {
        // Main data out of reach (the start of a stream) or unusable side information.
        mpgWriteSilence(st, output);
        return length;
    }
    const int bandIndex = (h.mpeg25 ? 6 : (lsf ? 3 : 0)) + h.samplingFrequency;
    const MpgBandTable& bands = kMpgBands[bandIndex];
    const int granules = lsf ? 1 : 2;
    const int lineLimit = std::min(st.subbandLimit * 18, kLines);
    MpgBits bits(l3.reservoir, static_cast<size_t>(l3.reservoirFill));
    size_t pos = static_cast<size_t>(before - si.mainDataBegin) * 8;
    const size_t dataEnd = static_cast<size_t>(l3.reservoirFill) * 8;
    ScaleFactors sf[2];
    uint8_t* out = static_cast<uint8_t*>(output);
    for (int gr = 0; gr < granules; ++gr) {
        int counts[2] = {0, 0};
        int preflag[2] = {0, 0};
        int intensityScale = 0;
        for (int ch = 0; ch < nch; ++ch) {
            const Granule& g = si.gr[gr][ch];
            const size_t end = pos + static_cast<size_t>(g.part23);
            if (end > dataEnd) {
                mpgWriteSilence(st, output);
                return length;
            }
            bits.SetPosition(pos);
            if (lsf) {
                int scale = 0;
                ReadScaleFactorsLsf(bits, g, h.mode == 1 && (h.modeExtension & 1) && ch == 1, sf[ch], preflag[ch],
                                    scale);
                if (ch == 1) {
                    intensityScale = scale;
                }
            } else {
                ReadScaleFactorsMpeg1(bits, g, si.scfsi[ch], gr, sf[ch]);
                preflag[ch] = g.preflag;
            }
            if (bits.Position() > end) {
                mpgWriteSilence(st, output);
                return length;
            }
            counts[ch] = DecodeSpectrum(tables, bits, g, bands, end, l3.is[ch]);
            if (counts[ch] < 0) {
                mpgWriteSilence(st, output);
                return length;
            }
            Requantise(tables, g, sf[ch], preflag[ch], bands, counts[ch], lineLimit, l3.is[ch], l3.xr[ch]);
            pos = end;
        }
        if (nch == 2 && h.mode == 1) {
            JointStereo(tables, h, si.gr[gr][1], sf[1], intensityScale, bands, l3.is[1], l3.xr[0], l3.xr[1]);
        }
        for (int ch = 0; ch < nch; ++ch) {
            const Granule& g = si.gr[gr][ch];
            const int switchLine = SwitchLine(g, bands);
            float* xr = l3.xr[ch];
            if (switchLine < kLines) {
                Reorder(xr, switchLine, bands);
            }
            // Lines at or above decoded are zero (joint stereo fills the right channel
            // only where the left has data). In long blocks the butterflies above the
            // last non-zero subband change nothing, and alias reduction spreads the data
            // into one more subband; reordering can move short-block lines far up, so
            // those are scanned in full.
            const int decoded = nch == 2 && h.mode == 1 ? std::max(counts[0], counts[1]) : counts[ch];
            const int boundaries = switchLine == kLines ? std::min(31, (decoded + 17) / 18) : switchLine / 18 - 1;
            AliasReduce(tables, xr, boundaries);
            const int bound = switchLine == kLines ? std::min(kLines, ((decoded + 17) / 18 + 1) * 18) : kLines;
            Hybrid(tables, g, switchLine, xr, bound, l3.overlap[ch], st.block.s[ch]);
        }
        st.block.channels = nch;
        st.outputRoutine(st, st.block, 18, out);
    }
    return length;
}

bool mpgLayer3FrameInfo(const uint8_t* frame, int32_t length, int* mainDataBegin, int* mainBytes, int* channels,
                        bool* usable) {
    MpgHeader h;
    if (!mpgParseHeader(frame, h)) {
        return false;
    }
    // The same measures as mpgLayer3Frame, which stops the stream where these do.
    const int nch = h.mode == 3 ? 1 : 2;
    const bool lsf = h.id == 0;
    const int sideBytes = lsf ? (nch == 1 ? 9 : 17) : (nch == 1 ? 17 : 32);
    const int headerBytes = 4 + (h.protection ? 0 : 2);
    const int main = length - headerBytes - sideBytes;
    if (main < 0) {
        return false;
    }
    MpgBits sideBits(frame + headerBytes, static_cast<size_t>(sideBytes));
    SideInfo si;
    *usable = ReadSideInfo(sideBits, h, nch, si);
    *mainDataBegin = si.mainDataBegin;
    *mainBytes = main;
    *channels = nch;
    return true;
}
