// KVLBufferedStream: a read buffer in front of any other stream. Small reads are
// served from a buffer refilled in blocks of the buffer size; reads of at least the
// buffer size go straight to the inner stream. Seeks and opens drop the buffer.
#pragma once

#include <vector>

#include "core/kvl_stream.h"

class KVLBufferedStream : public KVLStream {
public:
    // Works on its own Clone of inner.
    KVLBufferedStream(const KVLStream& inner, int32_t bufferSize);
    ~KVLBufferedStream() override;
    KVLBufferedStream(const KVLBufferedStream&) = delete;
    KVLBufferedStream& operator=(const KVLBufferedStream&) = delete;

    int32_t GetBufferSize() const { return m_bufferSize; }
    // Bytes of the last refill still unread (0 when the buffer holds nothing usable).
    int32_t GetBufferedCount() const { return m_index < 0 ? 0 : m_valid - m_index; }

    std::unique_ptr<KVLStream> Clone() const override;
    bool Exists() const override { return m_inner->Exists(); }
    KVLString GetName() const override { return m_inner->GetName(); }
    KVLString GetOpenError() const override { return m_inner->GetOpenError(); }
    bool IsEOF() override;
    bool IsOpen() const override { return m_position != -1; }
    bool OpenRead() override;
    bool OpenReadWrite() override;
    bool OpenWrite() override;
    bool Close() override;
    int32_t Read(void* destination, int32_t n) override;
    int32_t Write(const void* source, int32_t n) override;
    int32_t GetLength() override { return m_inner->GetLength(); }
    int32_t Tell() override { return m_position; }
    bool SeekRelative(int32_t delta) override;
    bool SeekAbsolute(int32_t position) override;
    bool SeekFromEnd(int32_t distance) override;

private:
    bool AfterOpen(bool ok);
    void Refill();

    std::unique_ptr<KVLStream> m_inner;
    int32_t m_position = -1;
    std::vector<unsigned char> m_buffer;  // allocated on first use
    int32_t m_bufferSize;
    int32_t m_valid = 0;
    int32_t m_index = -1;
};
