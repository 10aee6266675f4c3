// KVLAnimMLZ: the engine's MLZ frame animations ("KVLMLZ" files, extensions MLZ and
// ALZ). A 24-byte header, then one record per frame: an int32 size (-1: raw), the
// frame's bytes raw or LZ77-compressed, and for 8-bit frames a 256-entry RGB 565
// palette. 8-bit frames may be stored as byte differences to the previous frame
// (compression type 2); 16-bit frames are RGB 565 words.
//
// Limits: pictures of at most 16384 x 16384 pixels and 2^20 frames; anything larger
// is refused as corrupt. The frame buffers are allocated only when the file can hold
// the first frame record at the densest LZ77 coding (a flag byte and eight 2-byte
// matches give 144 bytes for 17), so a small file cannot claim a large picture. The
// frame count is not held against the file: nothing is allocated by it, and a missing
// or damaged later record makes the animation invalid when it is reached.
//
// Threads: one thread may advance the animation (NextFrame) while another converts
// the current frame (GetFrame). NextFrame decodes into buffers of its own and
// publishes the finished frame under a lock, so GetFrame always sees one whole frame.
// Open and the destructor must not run concurrently with anything else.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include "anim/kvl_anim.h"

constexpr int32_t kKVLMLZHeaderSize = 24;
constexpr int32_t kKVLMLZPaletteSize = 512;
constexpr int32_t kKVLMLZMaxFrames = 1 << 20;
constexpr int32_t kKVLMLZMaxDistance = 4096;
constexpr int32_t kKVLMLZMinMatch = 3;
constexpr int32_t kKVLMLZMaxMatch = 18;
extern const char kKVLMLZMagic[6];

struct KVLMLZHeader {
    int32_t width = 0;
    int32_t height = 0;
    uint8_t bitsPerPixel = 0;
    uint8_t compression = 0;
    int32_t frameCount = 0;
    int32_t timing = 0;

    int64_t FrameSize() const {
        return static_cast<int64_t>(width) * height * (bitsPerPixel == 16 ? 2 : 1);
    }
    void Encode(uint8_t bytes[kKVLMLZHeaderSize]) const;
    // False when the bytes do not start with the magic.
    bool Decode(const uint8_t bytes[kKVLMLZHeaderSize]);
};

// Decompresses LZ77 data into destination (capacity bytes). Returns the number of
// bytes written, or -1 for data that would write past the capacity or copy from
// before the start of the output.
int64_t KVLMLZDecompress(const uint8_t* source, size_t sourceLength, uint8_t* destination, size_t capacity);

class KVLAnimMLZ : public KVLAnim {
    KVL_DECLARE_CLASS(KVLAnimMLZ)
public:
    KVLAnimMLZ();
    ~KVLAnimMLZ() override;

    bool CanRead(const KVLString& extension) const override;
    bool Open(const KVLStream& stream, KVLPixelFormat* format, KVLString* errorText) override;
    int32_t GetWidth() const override { return m_width; }
    int32_t GetHeight() const override { return m_height; }
    int32_t GetFrameCount() const override { return m_frameCount; }
    int32_t GetCurrentFrame() const override { return m_currentFrame.load(); }
    float GetTiming() const override { return m_timing; }
    bool NextFrame() override;
    bool GetFrame(KVLImage& image) override;

    bool IsValid() const { return m_valid.load(); }
    int GetBitsPerPixel() const { return m_bitsPerPixel; }

private:
    bool ReadFrame();

    std::atomic<bool> m_valid{false};
    std::unique_ptr<KVLStream> m_stream;
    int32_t m_width = -1;
    int32_t m_height = -1;
    int32_t m_frameCount = -1;
    std::atomic<int32_t> m_currentFrame{-1};
    float m_timing = -1.0f;
    bool m_delta = false;
    int m_bitsPerPixel = 0;
    size_t m_frameSize = 0;

    // Decoding side, used by NextFrame only.
    std::vector<uint8_t> m_frame;
    std::vector<uint8_t> m_previous;
    std::vector<uint8_t> m_scratch;
    uint8_t m_palette[kKVLMLZPaletteSize] = {};

    // The published frame, read by GetFrame.
    std::mutex m_publishLock;
    std::vector<uint8_t> m_shown;
    uint8_t m_shownPalette[kKVLMLZPaletteSize] = {};
};
