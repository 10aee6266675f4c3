// Invariants of the decoder's tables: the generated Huffman codes, synthesis window and
// allocation tables, and the tables typed from the standards.
#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "sound/mpeg/mpg_internal.h"
#include "sound/mpeg/mpg_tables.h"

namespace {

TEST(MpegTables, HuffmanCodesArePrefixFreeAndComplete) {
    for (int t = 0; t < 34; ++t) {
        const MpgHuffTableInfo& info = kMpgHuffTables[t];
        if (t == 0 || t == 4 || t == 14) {
            EXPECT_EQ(info.count, 0) << t;
            continue;
        }
        const int values = t >= 32 ? 16 : info.xlen * info.xlen;
        ASSERT_EQ(info.count, values) << t;
        double kraft = 0.0;
        std::set<int> seen;
        for (int i = 0; i < info.count; ++i) {
            const MpgHuffCode& c = kMpgHuffCodes[info.first + i];
            kraft += std::ldexp(1.0, -c.length);
            EXPECT_TRUE(seen.insert(c.value).second) << t;
            if (t < 32) {
                EXPECT_LT(c.value >> 4, info.xlen) << t;
                EXPECT_LT(c.value & 15, info.xlen) << t;
            }
            for (int j = 0; j < i; ++j) {
                const MpgHuffCode& d = kMpgHuffCodes[info.first + j];  // shorter or equal
                ASSERT_FALSE((c.code >> (c.length - d.length)) == d.code) << "table " << t << " not prefix-free";
            }
        }
        EXPECT_DOUBLE_EQ(kraft, 1.0) << t;
    }
    // Linbits of the escape tables 16..31.
    const int linbits[16] = {1, 2, 3, 4, 6, 8, 10, 13, 4, 5, 6, 7, 8, 9, 11, 13};
    for (int t = 16; t < 32; ++t) {
        EXPECT_EQ(kMpgHuffTables[t].linbits, linbits[t - 16]) << t;
    }
    // Table 1 as printed in the standard: (0,0) 1, (0,1) 001, (1,0) 01, (1,1) 000.
    const MpgHuffTableInfo& t1 = kMpgHuffTables[1];
    const struct { uint8_t value, length; uint32_t code; } table1[] = {
        {0x00, 1, 1}, {0x01, 3, 1}, {0x10, 2, 1}, {0x11, 3, 0}};
    for (const auto& want : table1) {
        bool found = false;
        for (int i = 0; i < t1.count; ++i) {
            const MpgHuffCode& c = kMpgHuffCodes[t1.first + i];
            if (c.value == want.value) {
                EXPECT_EQ(c.length, want.length);
                EXPECT_EQ(c.code, want.code);
                found = true;
            }
        }
        EXPECT_TRUE(found);
    }
}

TEST(MpegTables, SynthesisWindow) {
    EXPECT_EQ(kMpgSynthWindow[0], 0.0f);
    EXPECT_FLOAT_EQ(kMpgSynthWindow[1], -0.000015259f);
    EXPECT_FLOAT_EQ(kMpgSynthWindow[256], 1.144989014f);
    for (int i = 1; i < 512; ++i) {
        // Odd symmetry about the centre, except at multiples of 64 (even there).
        const float mirror = kMpgSynthWindow[512 - i];
        EXPECT_FLOAT_EQ(kMpgSynthWindow[i], i % 64 ? -mirror : mirror) << i;
        // Values are multiples of 2^-16, printed to nine decimals.
        const double scaled = kMpgSynthWindow[i] * 65536.0;
        EXPECT_NEAR(scaled, std::round(scaled), 2e-4) << i;
    }
}

TEST(MpegTables, LayerIIAllocation) {
    const int sblimits[5] = {27, 30, 8, 12, 30};
    for (int t = 0; t < 5; ++t) {
        const MpgAllocTable& table = kMpgAllocTables[t];
        ASSERT_EQ(table.sblimit, sblimits[t]);
        for (int sb = 0; sb < table.sblimit; ++sb) {
            const MpgAllocSubband& sub = kMpgAllocSubbands[table.first + sb];
            ASSERT_GE(sub.nbal, 2);
            ASSERT_LE(sub.nbal, 4);
            int lastSteps = 0;
            for (int idx = 1; idx < (1 << sub.nbal); ++idx) {
                const MpgAllocEntry& e = kMpgAllocEntries[sub.first + idx];
                EXPECT_GT(e.steps, lastSteps) << t << " " << sb;
                lastSteps = e.steps;
                if (e.group == 1) {
                    // Three levels share one codeword: steps^3 codes in that many bits.
                    EXPECT_TRUE(e.steps == 3 || e.steps == 5 || e.steps == 9);
                    EXPECT_LE(e.steps * e.steps * e.steps, 1 << e.bits);
                    EXPECT_GT(e.steps * e.steps * e.steps, 1 << (e.bits - 1));
                } else {
                    EXPECT_EQ(e.group, 3);
                    EXPECT_EQ(e.steps, (1 << e.bits) - 1);
                }
            }
        }
    }
    // First subband of table B.2a: nbal 4, 15 levels at index 3 ... 65535 levels at 15.
    const MpgAllocSubband& sb0 = kMpgAllocSubbands[kMpgAllocTables[0].first];
    EXPECT_EQ(sb0.nbal, 4);
    EXPECT_EQ(kMpgAllocEntries[sb0.first + 15].steps, 65535);
}

TEST(MpegTables, TypedTables) {
    // Bitrates rise with the index in every layer.
    for (int v = 0; v < 2; ++v) {
        for (int l = 0; l < 3; ++l) {
            for (int i = 2; i < 15; ++i) {
                EXPECT_GT(kMpgBitrates[v][l][i], kMpgBitrates[v][l][i - 1]);
            }
        }
    }
    EXPECT_EQ(kMpgBitrates[0][0][14], 448);
    EXPECT_EQ(kMpgBitrates[0][1][14], 384);
    EXPECT_EQ(kMpgBitrates[0][2][14], 320);
    EXPECT_EQ(kMpgBitrates[1][0][14], 256);
    EXPECT_EQ(kMpgBitrates[1][2][14], 160);
    for (int v = 0; v < 3; ++v) {
        EXPECT_EQ(kMpgSampleRates[v][3], 0);
        for (int f = 0; f < 3; ++f) {
            EXPECT_EQ(kMpgSampleRates[v][f] * (1 << v), kMpgSampleRates[0][f]);
        }
    }
    for (const MpgBandTable& b : kMpgBands) {
        EXPECT_EQ(b.longBands[0], 0);
        EXPECT_EQ(b.longBands[22], 576);
        EXPECT_EQ(b.shortBands[0], 0);
        EXPECT_EQ(b.shortBands[13], 192);
        for (int i = 1; i < 23; ++i) {
            EXPECT_GT(b.longBands[i], b.longBands[i - 1]);
            EXPECT_EQ(b.longBands[i] % 2, 0);  // pairs never straddle a band
        }
        for (int i = 1; i < 14; ++i) {
            EXPECT_GT(b.shortBands[i], b.shortBands[i - 1]);
        }
    }
    int pretabSum = 0;
    for (const uint8_t p : kMpgPretab) {
        pretabSum += p;
    }
    EXPECT_EQ(pretabSum, 1 + 1 + 1 + 1 + 2 + 2 + 3 + 3 + 3 + 2);
    // slen1/slen2 run through the 16 combinations the standard lists.
    EXPECT_EQ(kMpgSlen[0][15], 4);
    EXPECT_EQ(kMpgSlen[1][15], 3);
    for (int c = 0; c < 16; ++c) {
        EXPECT_LE(kMpgSlen[0][c], 4);
        EXPECT_LE(kMpgSlen[1][c], 3);
    }
    // Every partition row covers the 21 long bands, the 12 x 3 short ones, or the
    // 6 long and 9 x 3 short ones of a mixed block.
    for (int row = 0; row < 6; ++row) {
        const int want[3] = {21, 36, 33};
        for (int kind = 0; kind < 3; ++kind) {
            int sum = 0;
            for (int p = 0; p < 4; ++p) {
                sum += kMpgLsfPartitions[row][kind][p];
            }
            EXPECT_EQ(sum, want[kind]) << row << " " << kind;
        }
    }
}

TEST(MpegTables, LayerIScaleFactors) {
    const float* scale = mpgScaleFactors();
    // Table B.1: 2.0 x 2^(-i/3); a few entries as printed.
    EXPECT_NEAR(scale[0], 2.0, 1e-7);
    EXPECT_NEAR(scale[1], 1.58740105196820, 1e-6);
    EXPECT_NEAR(scale[2], 1.25992104989487, 1e-6);
    EXPECT_NEAR(scale[30], 0.00195312500000, 1e-9);
    EXPECT_NEAR(scale[60], 0.00000190734863, 1e-12);
    EXPECT_NEAR(scale[62], 0.00000120155435, 1e-12);
}

}  // namespace
