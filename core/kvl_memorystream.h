// KVLMemoryStream: a stream over bytes held in memory. Clones share the bytes, so an
// archive built in memory can be opened member by member like a file; writing grows
// the shared buffer. Used for data that arrives as a block (tests, fuzzing, tools).
#pragma once

#include <vector>

#include "core/kvl_stream.h"

class KVLMemoryStream : public KVLStream {
public:
    KVLMemoryStream();
    KVLMemoryStream(const void* data, size_t size);
    explicit KVLMemoryStream(std::shared_ptr<std::vector<uint8_t>> bytes);

    const std::vector<uint8_t>& GetBytes() const { return *m_bytes; }

    std::unique_ptr<KVLStream> Clone() const override;
    // A memory stream exists once it holds bytes (an empty one has nothing to read).
    bool Exists() const override { return !m_bytes->empty(); }
    bool IsOpen() const override { return m_open; }
    bool OpenRead() override;
    bool OpenReadWrite() override;
    bool OpenWrite() override;
    bool Close() override;
    int32_t Read(void* destination, int32_t n) override;
    int32_t Write(const void* source, int32_t n) override;
    int32_t GetLength() override;
    int32_t Tell() override { return m_open ? m_position : -1; }
    bool SeekAbsolute(int32_t position) override;

private:
    std::shared_ptr<std::vector<uint8_t>> m_bytes;
    bool m_open = false;
    int32_t m_position = 0;
};
