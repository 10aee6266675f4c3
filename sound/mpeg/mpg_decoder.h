// The MPEG audio decoder module: Layers I, II and III of MPEG-1, of the MPEG-2 lower
// sampling frequencies and of MPEG-2.5, decoded frame by frame into 16-bit PCM.
//
// All state of a decoding lives in an MpgDecoder that the caller owns; the module
// keeps none of its own (its constant tables are built once, on first use, in a
// thread-safe way). Independent decoders may run side by side, also on different
// threads; one decoder is used from one thread at a time. Use: mpgOpen, then
// mpgDecodeFrame until it returns -1, then mpgClose (or destroy the decoder).
// Compressed bytes come through a read callback into a 60000-byte input buffer that is
// topped up when fewer than 2500 bytes remain, so each frame is decoded from
// contiguous memory; nothing taken from the stream changes the size of any buffer.
//
// Limits: no resynchronisation (a frame without a sync word ends the stream); the
// stream's layer, version and sampling frequency are those of its first frame. By
// default the top subband (above 31/32 of the Nyquist frequency) is not decoded and
// output values are truncated toward zero; mpgSetFullBand(decoder, true) decodes all
// 32 subbands and rounds to the nearest integer (for tools and tests).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

// Supplies up to maximum bytes at destination; returns the count, 0 at the end.
using MpgReadCallback = int32_t (*)(void* context, uint8_t* destination, int32_t maximum);

// The fields of a frame header, each as a plain integer.
struct MpgHeader {
    int32_t id = 0;                 // 1 MPEG-1, 0 lower sampling frequencies (and MPEG-2.5)
    int32_t layer = 0;              // 1, 2 or 3
    int32_t protection = 0;         // protection bit: 0 means a CRC word follows the header
    int32_t bitrateIndex = 0;       // 0 free format
    int32_t samplingFrequency = 0;  // index 0..2
    int32_t padding = 0;
    int32_t privateBit = 0;
    int32_t mode = 0;               // 0 stereo, 1 joint stereo, 2 dual channel, 3 single channel
    int32_t modeExtension = 0;
    int32_t copyright = 0;
    int32_t original = 0;
    int32_t emphasis = 0;
    int32_t mpeg25 = 0;             // 1 for the MPEG-2.5 extension
};

constexpr int32_t kMpgInputBufferSize = 60000;
constexpr int32_t kMpgRefillThreshold = 2500;
constexpr int32_t kMpgMaxFrameSamples = 2304;  // 1152 frames x 2 channels
constexpr int32_t kMpgOutput8Bit = 8;

// The state of one decoding (input buffer, stream parameters, synthesis and Layer III
// memory), defined in mpg_internal.h.
struct MpgState;

// One decoder. Its state (about 50 KB, plus the input buffer while a stream is open)
// is allocated with it and freed with it; it cannot be copied or moved.
class MpgDecoder {
public:
    MpgDecoder();
    ~MpgDecoder();
    MpgDecoder(const MpgDecoder&) = delete;
    MpgDecoder& operator=(const MpgDecoder&) = delete;

    MpgState& State() { return *m_state; }
    const MpgState& State() const { return *m_state; }

private:
    const std::unique_ptr<MpgState> m_state;
};

// Opens a stream on the decoder (closing the one it had): size is the stream's byte
// length for mpgEstimatedFrames, -1 when unknown. False when no first frame is found.
bool mpgOpen(MpgDecoder& decoder, MpgReadCallback read, void* context, int32_t size);
// mpgOpen with the internal setup spelled out: reduction 0/1/2 (full, half, quarter
// rate), channel mode for two-channel streams (0 stereo, 1 mono mix, 2 left, 3 right),
// output flags (kMpgOutput8Bit for unsigned 8-bit samples), frequency limit in Hz.
bool mpgOpenCustom(MpgDecoder& decoder, MpgReadCallback read, void* context, int32_t size, int32_t reduction,
                   int32_t channelMode, int32_t outputFlags, int32_t frequencyLimit);
// Frames written to output (interleaved when stereo), or -1 at the end or on failure.
// output holds at least kMpgMaxFrameSamples 16-bit samples.
int32_t mpgDecodeFrame(MpgDecoder& decoder, void* output);
// Frees the input buffer and forgets the read callback; the decoder can open again.
void mpgClose(MpgDecoder& decoder);

// The open stream's parameters (those of the last stream opened after mpgClose).
int32_t mpgSampleRate(const MpgDecoder& decoder);
int32_t mpgBitsPerSample(const MpgDecoder& decoder);
bool mpgIsStereo(const MpgDecoder& decoder);
int32_t mpgBitrate(const MpgDecoder& decoder);
int32_t mpgEstimatedFrames(const MpgDecoder& decoder);
int32_t mpgChannels(const MpgDecoder& decoder);
int32_t mpgFramesPerCall(const MpgDecoder& decoder);
const MpgHeader& mpgFirstHeader(const MpgDecoder& decoder);
int32_t mpgFirstFrameLength(const MpgDecoder& decoder);
// Tops the input buffer up when it runs low; false at the end of the input.
bool mpgRefill(MpgDecoder& decoder);

// The frame index of a stream, for seeking: where each frame starts in the input and
// the frame at which decoding must restart for that frame to come out exactly as in a
// decoding from the start. Frame k's output is frames [k * samplesPerFrame,
// (k + 1) * samplesPerFrame) of that decoding; the stream decodes to frames.size()
// frames of output and then ends.
//
// Why the restart frames suffice. Decoding carries three things from frame to frame:
// the synthesis ring (the window of one output slot reads the newest 16 V vectors,
// each made from one slot's subband samples), the Layer III overlap (the second halves
// of the last IMDCT of each channel, made from that granule alone) and the Layer III
// bit reservoir (a frame's main data may begin up to 511 bytes, 255 at the lower
// rates, before its own, in the main data of earlier frames). A granule carries 18
// slots (>= 16), and its subband samples are its own IMDCT plus the overlap of the
// granule before; so the state on entering frame k is rebuilt by the last decoding
// frame before k and, where a frame has one granule (the lower rates), the decoding
// frame before that one too; channel 1's overlap likewise by the last one or two
// decoding two-channel frames. A Layer I frame has 12 slots: the two frames before;
// Layer II (36 slots, no overlap): the one frame before. A frame whose main data lies
// out of reach, or whose side information breaks a rule, decodes as silence and
// changes no state, and the index knows which do so in a decoding from the start.
// Those frames, frame k and every later frame decode exactly when the reservoir holds
// the main data their main_data_begin reaches back to; a restart at the earliest frame
// any of them reaches (state reset, reservoir empty) gives exactly that. Frames decoded
// in between may come out differently, but the frames above set again whatever they
// change. The tests check every frame of many streams against a decoding from the
// start, and that a restart one frame later than the index says breaks some stream.
// This holds for every stream whose frames decode whole; in a damaged stream a frame
// that fails half way (a broken Huffman code) can leave state a restart does not
// rebuild.
struct MpgFrameEntry {
    int32_t offset = 0;   // input offset of the frame's header
    int32_t restart = 0;  // index of the frame to restart at (<= this frame's)
};
struct MpgFrameIndex {
    std::vector<MpgFrameEntry> frames;
    int32_t samplesPerFrame = 0;
    int32_t endOffset = 0;  // input offset just past the last frame
};
// Walks the stream that read gives from its start (the bytes mpgOpen read on decoder)
// with decoder's stream parameters, without decoding. False when decoder has no stream
// open; an input that breaks off gives the frames up to the break, as decoding would.
bool mpgScanFrames(const MpgDecoder& decoder, MpgReadCallback read, void* context, MpgFrameIndex* index);
// Restarts the open stream at input offset offset (a frame's, from the index): empties
// the input buffer, resets the synthesis and Layer III state and reads on through the
// stream's callback, which the caller has already put at that offset. False when no
// stream is open.
bool mpgRestart(MpgDecoder& decoder, int32_t offset);

// Full-band, rounded decoding for the decoder's next mpgOpen (tools and accuracy
// tests); the stream already open keeps its setting.
void mpgSetFullBand(MpgDecoder& decoder, bool on);
bool mpgGetFullBand(const MpgDecoder& decoder);

// Header helpers, also used by the tests. mpgParseHeader checks the four bytes at p
// (sync, layer, bitrate index 15 and sampling-frequency index 3 are invalid).
bool mpgParseHeader(const uint8_t* p, MpgHeader& header);
int32_t mpgSampleRateOf(const MpgHeader& header);
// Bytes of a frame without its padding slot; 0 for free format.
int32_t mpgFrameBytes(const MpgHeader& header);
// Samples per channel in one frame of that header.
int32_t mpgSamplesPerFrame(const MpgHeader& header);
