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
    const int32_t taken = got < 0 ? 0 : std::min(got, max);
    st.readTotal += taken;
    return taken;
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

// The next frame at the cursor, with its length: ID3v1 tags met at a frame boundary are
// stepped over (a loop, not recursion: a run of tags must not deepen the stack); null
// at the end of the input or at anything that is not a frame of the stream's kind.
// Decoding and the frame index (mpgScanFrames) both walk the stream through it, so
// they agree on every frame.
const uint8_t* NextFrame(MpgState& st, int32_t* length) {
    const uint8_t* p = nullptr;
    for (;;) {
        if (!Ensure(st, 4)) {
            return nullptr;
        }
        p = st.buffer.get() + st.cursor;
        if (p[0] != 'T') {
            break;
        }
        if (p[1] != 'A' || p[2] != 'G' || !Ensure(st, kTagSize)) {
            return nullptr;
        }
        Consume(st, kTagSize);
        Refill(st);
    }
    MpgHeader h;
    if (!mpgParseHeader(p, h) || h.layer != st.header.layer || h.id != st.header.id ||
        h.mpeg25 != st.header.mpeg25 || h.samplingFrequency != st.header.samplingFrequency) {
        return nullptr;
    }
    *length = mpgFrameLengthOf(st, h);
    if (*length <= 4 || !Ensure(st, *length)) {
        return nullptr;
    }
    return st.buffer.get() + st.cursor;
}

// Drops the bytes before the first sync of the first load (the first decode would
// skip them anyway). False when the load holds no sync.
bool SkipToFirstSync(MpgState& st) {
    const uint8_t* p = st.buffer.get();
    for (int32_t i = 0; i + 1 < st.fill; ++i) {
        if (p[i] == 0xFF && p[i + 1] >= 0xE0) {
            Consume(st, i);
            return true;
        }
    }
    return false;
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
    st.readTotal = 0;
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
    if (!SkipToFirstSync(st)) {
        FreeInput(st);
        return false;
    }
    // Top the buffer up, so that a first frame found near the end of the first load is
    // measured on bytes that are really there.
    Ensure(st, kFreeFormatWindow);
    const uint8_t* p = st.buffer.get() + st.cursor;
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
    int32_t length = 0;
    const uint8_t* p = NextFrame(st, &length);
    if (p == nullptr) {
        return -1;
    }
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

namespace {

// Per-frame facts of a Layer III stream that fix where a restart must begin.
struct Layer3Facts {
    std::vector<int32_t> mainDataBegin;
    std::vector<uint8_t> channels;
    std::vector<uint8_t> usable;
    std::vector<int64_t> before;  // main data bytes of all earlier frames
};

void Layer3Restarts(const Layer3Facts& f, bool lsf, std::vector<MpgFrameEntry>& frames) {
    const int32_t n = static_cast<int32_t>(frames.size());
    // Whether a decoding from the start decodes frame m (its main data within reach).
    auto decodes = [&](int32_t m) {
        return f.usable[static_cast<size_t>(m)] != 0 && f.mainDataBegin[static_cast<size_t>(m)] <= f.before[static_cast<size_t>(m)];
    };
    // The latest frame whose main data, with that of the frames up to m, covers m's
    // main_data_begin (the reservoir never drops bytes a frame can still reach).
    auto reach = [&](int32_t m) {
        const int64_t target = f.before[static_cast<size_t>(m)] - f.mainDataBegin[static_cast<size_t>(m)];
        const auto end = f.before.begin() + m + 1;
        const auto it = std::upper_bound(f.before.begin(), end, target);
        return static_cast<int32_t>(it - f.before.begin()) - 1;
    };
    // The synthesis state on entering frame k comes from the last granule decoded, whose
    // output added the overlap of the granule before it: in the same frame where frames
    // carry two granules, in the frame before at the lower rates. So the last one (two
    // at the lower rates) decoding frames, and as many decoding two-channel frames for
    // channel 1's overlap.
    const int depth = lsf ? 2 : 1;
    std::vector<int32_t> lastAny;
    std::vector<int32_t> lastTwo;
    for (int32_t k = 0; k < n; ++k) {
        int32_t restart = decodes(k) ? reach(k) : k;
        for (int32_t m : lastAny) {
            restart = std::min(restart, reach(m));
        }
        for (int32_t m : lastTwo) {
            restart = std::min(restart, reach(m));
        }
        frames[static_cast<size_t>(k)].restart = std::max(restart, 0);
        if (decodes(k)) {
            lastAny.push_back(k);
            if (static_cast<int>(lastAny.size()) > depth) {
                lastAny.erase(lastAny.begin());
            }
            if (f.channels[static_cast<size_t>(k)] == 2) {
                lastTwo.push_back(k);
                if (static_cast<int>(lastTwo.size()) > depth) {
                    lastTwo.erase(lastTwo.begin());
                }
            }
        }
    }
    // Decoding goes on after the frame sought: every later frame must find its main data
    // too. In streams whose main data runs in order this changes nothing.
    int32_t later = n;
    for (int32_t k = n - 1; k >= 0; --k) {
        MpgFrameEntry& e = frames[static_cast<size_t>(k)];
        e.restart = std::min(e.restart, later);
        if (decodes(k)) {
            later = std::min(later, reach(k));
        }
    }
}

}  // namespace

bool mpgScanFrames(const MpgDecoder& decoder, MpgReadCallback read, void* context, MpgFrameIndex* index) {
    const MpgState& open = decoder.State();
    if (!open.buffer || open.frameRoutine == nullptr || index == nullptr) {
        return false;
    }
    index->frames.clear();
    index->samplesPerFrame = open.framesPerCall;
    index->endOffset = 0;
    // A walker with the stream's parameters and an input buffer of its own.
    auto walker = std::make_unique<MpgState>();
    MpgState& st = *walker;
    st.read = read;
    st.context = context;
    st.header = open.header;
    st.freeLength = open.freeLength;
    st.buffer.reset(new uint8_t[kMpgInputBufferSize + kBufferPad]());
    if (!Refill(st) || !SkipToFirstSync(st)) {
        return false;
    }
    const bool layer3 = st.header.layer == 3;
    Layer3Facts facts;
    int64_t mainTotal = 0;
    int32_t length = 0;
    while (const uint8_t* p = NextFrame(st, &length)) {
        if (index->frames.size() >= static_cast<size_t>(INT32_MAX / 2304)) {
            break;  // more output than a position can count
        }
        MpgFrameEntry entry;
        entry.offset = static_cast<int32_t>(st.readTotal - st.fill);
        if (layer3) {
            int mdb = 0;
            int mainBytes = 0;
            int channels = 0;
            bool usable = false;
            if (!mpgLayer3FrameInfo(p, length, &mdb, &mainBytes, &channels, &usable)) {
                break;  // decoding stops here too
            }
            facts.mainDataBegin.push_back(mdb);
            facts.channels.push_back(static_cast<uint8_t>(channels));
            facts.usable.push_back(usable ? 1 : 0);
            facts.before.push_back(mainTotal);
            mainTotal += mainBytes;
        } else {
            // Layer I: 12 slots a frame, so the two frames before; Layer II: 36.
            const int32_t k = static_cast<int32_t>(index->frames.size());
            entry.restart = std::max(0, k - (st.header.layer == 1 ? 2 : 1));
        }
        index->frames.push_back(entry);
        Consume(st, length);
        Refill(st);
    }
    index->endOffset = static_cast<int32_t>(st.readTotal - st.fill);
    if (layer3) {
        Layer3Restarts(facts, st.header.id == 0, index->frames);
    }
    return true;
}

bool mpgRestart(MpgDecoder& decoder, int32_t offset) {
    MpgState& st = decoder.State();
    if (!st.buffer || st.frameRoutine == nullptr || offset < 0) {
        return false;
    }
    st.fill = 0;
    st.cursor = 0;
    st.readTotal = offset;
    st.exhausted = false;
    st.threshold = kMpgRefillThreshold;
    mpgSynthReset(st);
    mpgLayer3Reset(st);
    // At the end of the input nothing comes: decoding then ends at once.
    Refill(st);
    return true;
}
