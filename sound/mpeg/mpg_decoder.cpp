// Interface, input buffering, header parsing and frame measurement of the MPEG audio
// decoder; the layers' frame routines live in mpg_layer12.cpp and mpg_layer3.cpp.
//
// Buffering: the input buffer holds up to 60000 bytes and is topped up when fewer
// than 2500 remain. A frame is only decoded when all of its bytes are buffered, and
// every scan (sync search, free-format measurement) stays inside the filled part.
#include <algorithm>
#include <cstring>

#include "sound/mpeg/mpg_internal.h"
#include "sound/mpeg/mpg_tables.h"

namespace {

constexpr int32_t kFreeFormatWindow = 10000;
constexpr int32_t kFreeFormatMinDistance = 24;
constexpr int32_t kFreeFormatMaxDistance = 1999;
constexpr int32_t kTagSize = 128;
// Padding after the filled part of the input buffer (kept zero, never read as data).
constexpr int32_t kBufferPad = 8;

int32_t CallRead(MpgState& st, uint8_t* dst, int32_t max) {
    if (max <= 0 || st.read == nullptr) {
        return 0;
    }
    const int32_t got = st.read(st.context, dst, max);
    return got < 0 ? 0 : std::min(got, max);
}

// Moves the unread bytes to the start of the buffer and reads until at least need
// bytes are buffered or the input ends. Returns true when need bytes are there.
bool Ensure(MpgState& st, int32_t need) {
    if (st.fill >= need) {
        return true;
    }
    if (st.exhausted || need > kMpgInputBufferSize) {
        return false;
    }
    if (st.cursor != 0 && st.fill > 0) {
        std::memmove(st.buffer.get(), st.buffer.get() + st.cursor, static_cast<size_t>(st.fill));
    }
    st.cursor = 0;
    while (st.fill < need) {
        const int32_t got = CallRead(st, st.buffer.get() + st.fill, kMpgInputBufferSize - st.fill);
        if (got == 0) {
            st.exhausted = true;
            st.threshold = 0;
            break;
        }
        st.fill += got;
    }
    std::memset(st.buffer.get() + st.fill, 0, kBufferPad);
    return st.fill >= need;
}

void Consume(MpgState& st, int32_t n) {
    st.cursor += n;
    st.fill -= n;
}

void FreeInput(MpgState& st) {
    st.buffer.reset();
    st.fill = 0;
    st.cursor = 0;
}

// Measures a free-format frame at p (the first frame): the distance to the next
// position that starts with the same two header bytes, confirmed by every further
// frame inside the window. Returns the length without padding, 0 when none holds.
int32_t MeasureFreeFormat(const uint8_t* p, int32_t available, const MpgHeader& h) {
    const int32_t window = std::min(available, kFreeFormatWindow);
    const int32_t slot = h.layer == 1 ? 4 : 1;
    int32_t d = kFreeFormatMinDistance;
    while (d <= kFreeFormatMaxDistance && d + 1 < window) {
        int32_t at = -1;
        for (int32_t q = d; q + 1 < window && q <= kFreeFormatMaxDistance + slot; ++q) {
            if (p[q] == p[0] && p[q + 1] == p[1]) {
                at = q;
                break;
            }
        }
        if (at < 0) {
            return 0;
        }
        const int32_t length = at - h.padding * slot;
        bool ok = length > 0;
        int32_t checked = 0;
        int32_t pos = 0;
        while (ok) {
            const int32_t pad = (p[pos + 2] >> 1) & 1;
            const int32_t next = pos + length + pad * slot;
            if (next + 3 >= window) {
                break;
            }
            if (p[next] != p[0] || p[next + 1] != p[1]) {
                ok = false;
                break;
            }
            ++checked;
            pos = next;
        }
        if (ok && checked > 0) {
            return length;
        }
        d = at + 1;
    }
    return 0;
}

// Tops the input buffer up when fewer than threshold bytes remain (see mpgRefill).
bool Refill(MpgState& st) {
    if (!st.buffer) {
        return false;
    }
    if (st.fill < 0) {
        st.fill = 0;
    }
    if (st.fill >= st.threshold) {
        return true;
    }
    if (st.exhausted) {
        return false;
    }
    if (st.cursor != 0 && st.fill > 0) {
        std::memmove(st.buffer.get(), st.buffer.get() + st.cursor, static_cast<size_t>(st.fill));
    }
    st.cursor = 0;
    // Streams may deliver less than asked for: read until the buffer is full or the
    // input reports its end.
    int32_t total = 0;
    for (;;) {
        const int32_t got = CallRead(st, st.buffer.get() + st.fill, kMpgInputBufferSize - st.fill);
        if (got == 0) {
            break;
        }
        st.fill += got;
        total += got;
        if (st.fill >= kMpgInputBufferSize) {
            break;
        }
    }
    std::memset(st.buffer.get() + st.fill, 0, kBufferPad);
    if (total == 0 || st.fill < kMpgInputBufferSize) {
        st.threshold = 0;
        st.exhausted = true;
    }
    return total > 0;
}

bool Setup(MpgState& st, const MpgHeader& h, int32_t frameLength, int32_t reduction, int32_t channelMode,
           int32_t outputFlags, int32_t frequencyLimit) {
    mpgBuildTables();
    if (reduction < 0 || reduction > 2 || channelMode < 0 || channelMode > 3) {
        return false;
    }
    const int32_t rate = mpgSampleRateOf(h);
    if (rate == 0) {
        return false;
    }
    if (h.layer == 2 && !mpgLayer2Check(h, st.bitrate / 1000)) {
        return false;
    }
    st.header = h;
    st.frameLength = frameLength;
    st.reduction = reduction;
    st.eightBit = (outputFlags & kMpgOutput8Bit) != 0;
    st.fullBand = st.fullBandNext;
    const int32_t streamChannels = h.mode == 3 ? 1 : 2;
    st.channelMode = streamChannels == 1 ? 0 : channelMode + 1;
    static constexpr int32_t kOutChannels[5] = {1, 2, 1, 1, 1};
    st.outChannels = kOutChannels[st.channelMode];

    const int32_t limitHz = std::max<int32_t>(frequencyLimit, 1000);
    static constexpr int32_t kReductionCap[3] = {31, 15, 8};
    int32_t limit = st.fullBand && reduction == 0 ? 32 : kReductionCap[reduction];
    const int32_t byFrequency = static_cast<int32_t>((static_cast<int64_t>(limitHz) * 64 + rate / 2) / rate);
    if (!st.fullBand) {
        limit = std::min(limit, byFrequency);
    }
    st.subbandLimit = std::max<int32_t>(1, std::min<int32_t>(limit, 32));

    const int32_t samples = mpgSamplesPerFrame(h) >> reduction;
    st.description[0] = st.outChannels;
    st.description[1] = samples * st.outChannels;
    st.description[2] = rate >> reduction;
    st.description[3] = st.eightBit ? 8 : 16;
    st.description[4] = frameLength;
    st.description[5] = 0;
    st.outputIndex = st.channelMode + 5 * (reduction + 3 * (st.eightBit ? 1 : 0));
    st.outputRoutine = mpgSelectOutput(st.outputIndex);
    switch (h.layer) {
    case 1:
        st.frameRoutine = mpgLayer1Frame;
        break;
    case 2:
        st.frameRoutine = mpgLayer2Frame;
        break;
    default:
        st.frameRoutine = mpgLayer3Frame;
        break;
    }
    mpgSynthReset(st);
    mpgLayer3Reset(st);
    return st.outputRoutine != nullptr;
}

}  // namespace

bool mpgParseHeader(const uint8_t* p, MpgHeader& h) {
    if (p[0] != 0xFF) {
        return false;
    }
    MpgHeader r;
    if (p[1] >= 0xF0) {
        r.id = (p[1] >> 3) & 1;
        r.mpeg25 = 0;
    } else if ((p[1] & 0xF0) == 0xE0) {
        if (p[1] & 0x08) {
            return false;  // version bits 01: reserved
        }
        r.id = 0;
        r.mpeg25 = 1;
    } else {
        return false;
    }
    const int32_t layerField = (p[1] >> 1) & 3;
    if (layerField == 0) {
        return false;
    }
    r.layer = 4 - layerField;
    r.protection = p[1] & 1;
    r.bitrateIndex = p[2] >> 4;
    r.samplingFrequency = (p[2] >> 2) & 3;
    r.padding = (p[2] >> 1) & 1;
    r.privateBit = p[2] & 1;
    r.mode = p[3] >> 6;
    r.modeExtension = (p[3] >> 4) & 3;
    r.copyright = (p[3] >> 3) & 1;
    r.original = (p[3] >> 2) & 1;
    r.emphasis = p[3] & 3;
    if (r.bitrateIndex == 15 || r.samplingFrequency == 3) {
        return false;
    }
    h = r;
    return true;
}

int32_t mpgSampleRateOf(const MpgHeader& h) {
    const int version = h.mpeg25 ? 2 : (h.id ? 0 : 1);
    if (h.samplingFrequency < 0 || h.samplingFrequency > 3) {
        return 0;
    }
    return kMpgSampleRates[version][h.samplingFrequency];
}

int32_t mpgSamplesPerFrame(const MpgHeader& h) {
    if (h.layer == 1) {
        return 384;
    }
    if (h.layer == 3 && h.id == 0) {
        return 576;
    }
    return 1152;
}

int32_t mpgFrameBytes(const MpgHeader& h) {
    const int32_t f = mpgSampleRateOf(h);
    if (f == 0 || h.bitrateIndex <= 0 || h.bitrateIndex >= 15 || h.layer < 1 || h.layer > 3) {
        return 0;
    }
    const int32_t b = kMpgBitrates[h.id ? 0 : 1][h.layer - 1][h.bitrateIndex];
    if (h.layer == 1) {
        return 4 * (12000 * b / f);
    }
    if (h.layer == 3 && h.id == 0) {
        return 72000 * b / f;
    }
    return 144000 * b / f;
}

int32_t mpgFrameLengthOf(const MpgState& st, const MpgHeader& h) {
    const int32_t slot = h.layer == 1 ? 4 : 1;
    const int32_t base = h.bitrateIndex == 0 ? st.freeLength : mpgFrameBytes(h);
    if (base <= 0) {
        return 0;
    }
    return base + h.padding * slot;
}

void mpgBuildTables() {
    mpgScaleFactors();
    mpgBuildSynthTables();
    mpgBuildLayer3Tables();
}

MpgDecoder::MpgDecoder() : m_state(std::make_unique<MpgState>()) {}

MpgDecoder::~MpgDecoder() = default;

bool mpgRefill(MpgDecoder& decoder) { return Refill(decoder.State()); }

void mpgSetFullBand(MpgDecoder& decoder, bool on) { decoder.State().fullBandNext = on; }
bool mpgGetFullBand(const MpgDecoder& decoder) { return decoder.State().fullBandNext; }

bool mpgOpen(MpgDecoder& decoder, MpgReadCallback read, void* context, int32_t size) {
    return mpgOpenCustom(decoder, read, context, size, 0, 0, 0, 24000);
}

bool mpgOpenCustom(MpgDecoder& decoder, MpgReadCallback read, void* context, int32_t size, int32_t reduction,
                   int32_t channelMode, int32_t outputFlags, int32_t frequencyLimit) {
    MpgState& st = decoder.State();
    st.frameRoutine = nullptr;
    st.read = read;
    st.context = context;
    st.fill = 0;
    st.cursor = 0;
    st.exhausted = false;
    st.threshold = kMpgRefillThreshold;
    st.freeLength = 0;
    st.framesPerCall = 0;
    st.buffer.reset(new uint8_t[kMpgInputBufferSize + kBufferPad]());
    if (!Refill(st)) {
        FreeInput(st);
        return false;
    }
    st.size = size;
    const uint8_t* p = st.buffer.get();
    int32_t at = -1;
    for (int32_t i = 0; i + 1 < st.fill; ++i) {
        if (p[i] == 0xFF && p[i + 1] >= 0xE0) {
            at = i;
            break;
        }
    }
    if (at < 0) {
        FreeInput(st);
        return false;
    }
    // Drop the bytes before the sync (the first decode would skip them anyway) and top
    // the buffer up, so that a first frame found near the end of the first load is
    // measured on bytes that are really there.
    Consume(st, at);
    Ensure(st, kFreeFormatWindow);
    p = st.buffer.get() + st.cursor;
    MpgHeader h;
    if (st.fill < 4 || !mpgParseHeader(p, h)) {
        FreeInput(st);
        return false;
    }
    int32_t frameLength = mpgFrameBytes(h);
    const int32_t rate = mpgSampleRateOf(h);
    if (h.bitrateIndex == 0) {
        frameLength = MeasureFreeFormat(p, st.fill, h);
        st.freeLength = frameLength;
        if (frameLength <= 0) {
            FreeInput(st);
            return false;
        }
        // Bits per frame over the frame's duration.
        const int64_t bitsPerFrame = static_cast<int64_t>(frameLength) * 8;
        st.bitrate = static_cast<int32_t>(bitsPerFrame * rate / mpgSamplesPerFrame(h));
    } else {
        st.bitrate = kMpgBitrates[h.id ? 0 : 1][h.layer - 1][h.bitrateIndex] * 1000;
    }
    if (frameLength <= 0) {
        FreeInput(st);
        return false;
    }
    if (!Setup(st, h, frameLength, reduction, channelMode, outputFlags, frequencyLimit)) {
        FreeInput(st);
        return false;
    }
    st.framesPerCall = st.description[1] / st.description[0];
    Refill(st);
    return true;
}

int32_t mpgDecodeFrame(MpgDecoder& decoder, void* output) {
    MpgState& st = decoder.State();
    if (!st.buffer || st.frameRoutine == nullptr || output == nullptr) {
        return -1;
    }
    // ID3v1 tags met at a frame boundary are stepped over (a loop, not recursion: a
    // run of tags must not deepen the stack).
    const uint8_t* p = nullptr;
    for (;;) {
        if (!Ensure(st, 4)) {
            return -1;
        }
        p = st.buffer.get() + st.cursor;
        if (p[0] != 'T') {
            break;
        }
        if (p[1] != 'A' || p[2] != 'G' || !Ensure(st, kTagSize)) {
            return -1;
        }
        Consume(st, kTagSize);
        Refill(st);
    }
    MpgHeader h;
    if (!mpgParseHeader(p, h) || h.layer != st.header.layer || h.id != st.header.id ||
        h.mpeg25 != st.header.mpeg25 || h.samplingFrequency != st.header.samplingFrequency) {
        return -1;
    }
    const int32_t length = mpgFrameLengthOf(st, h);
    if (length <= 4 || !Ensure(st, length)) {
        return -1;
    }
    p = st.buffer.get() + st.cursor;
    const int consumed = st.frameRoutine(st, p, length, output);
    if (consumed <= 0) {
        return -1;
    }
    Consume(st, consumed);
    Refill(st);
    return st.framesPerCall;
}

void mpgClose(MpgDecoder& decoder) {
    MpgState& st = decoder.State();
    FreeInput(st);
    st.frameRoutine = nullptr;
    st.read = nullptr;
    st.context = nullptr;
}

int32_t mpgSampleRate(const MpgDecoder& decoder) { return decoder.State().description[2]; }
int32_t mpgBitsPerSample(const MpgDecoder& decoder) { return decoder.State().description[3]; }
bool mpgIsStereo(const MpgDecoder& decoder) { return decoder.State().description[0] == 2; }
int32_t mpgChannels(const MpgDecoder& decoder) { return decoder.State().description[0]; }
int32_t mpgBitrate(const MpgDecoder& decoder) { return decoder.State().bitrate; }
int32_t mpgFramesPerCall(const MpgDecoder& decoder) { return decoder.State().framesPerCall; }
const MpgHeader& mpgFirstHeader(const MpgDecoder& decoder) { return decoder.State().header; }
int32_t mpgFirstFrameLength(const MpgDecoder& decoder) { return decoder.State().frameLength; }

int32_t mpgEstimatedFrames(const MpgDecoder& decoder) {
    const MpgState& st = decoder.State();
    if (st.size == -1 || st.frameLength <= 0 || st.framesPerCall <= 0) {
        return -1;
    }
    const double bytesPerFrame = static_cast<double>(st.frameLength) / st.framesPerCall;
    return static_cast<int32_t>(static_cast<double>(st.size) / bytesPerFrame);
}
