// Constant tables of the MPEG audio decoder: header fields (bitrates, sampling
// rates), Layer III Huffman codes and scale-factor bands, Layer II bit allocation,
// and the synthesis window. The Huffman codes, window and allocation tables are
// generated (mpg_tables_data.cpp, by gen_tables.py); the rest is typed in
// mpg_tables.cpp.
#pragma once

#include <cstdint>

// One Huffman codeword: its length in bits, the code right-aligned, and the value.
struct MpgHuffCode {
    uint8_t length;
    uint32_t code;
    uint8_t value;
};

// A Layer III Huffman table: its codes in kMpgHuffCodes, linbits, and the value
// range (xlen; 16 for the tables with escapes). Tables 0, 4 and 14 have no codes.
struct MpgHuffTableInfo {
    uint16_t first;
    uint16_t count;
    uint8_t linbits;
    uint8_t xlen;
};

extern const MpgHuffCode kMpgHuffCodes[];
extern const MpgHuffTableInfo kMpgHuffTables[34];

// Synthesis window D[0..511] of the polyphase filter bank.
extern const float kMpgSynthWindow[512];

// Layer II allocation: one entry per allocation index of a subband.
struct MpgAllocEntry {
    uint16_t steps;  // quantisation levels (0 for index 0)
    uint8_t bits;    // bits per codeword
    uint8_t group;   // 1: one codeword for three samples, 3: one per sample
    uint8_t quant;   // class index of the requantisation constants
};
struct MpgAllocSubband {
    uint8_t nbal;    // bits of the allocation index
    uint16_t first;  // index of allocation index 0 in kMpgAllocEntries
};
struct MpgAllocTable {
    uint8_t sblimit;
    uint16_t first;  // first subband in kMpgAllocSubbands
};
extern const MpgAllocEntry kMpgAllocEntries[];
extern const MpgAllocSubband kMpgAllocSubbands[];
// Tables B.2a-d of the MPEG-1 standard, then the lower-sampling-frequency table.
extern const MpgAllocTable kMpgAllocTables[5];

// Header tables. Version index: 0 MPEG-1, 1 MPEG-2, 2 MPEG-2.5.
extern const int kMpgBitrates[2][3][16];     // [MPEG-1 or lower rates][layer - 1][index], kbit/s
extern const int kMpgSampleRates[3][4];      // [version][index], 0 for the reserved index 3

// Layer III scale-factor band boundaries per sampling frequency (index version * 3 +
// frequency index): 23 long-block boundaries and 14 short-block boundaries.
struct MpgBandTable {
    int16_t longBands[23];
    int16_t shortBands[14];
};
extern const MpgBandTable kMpgBands[9];

extern const uint8_t kMpgPretab[22];
extern const uint8_t kMpgSlen[2][16];  // MPEG-1 scalefac_compress -> slen1, slen2
// Lower sampling frequencies: scale factors per partition, by the row that
// scalefac_compress selects (0..5) and the block kind (0 long, 1 short, 2 mixed).
extern const uint8_t kMpgLsfPartitions[6][3][4];
