// KVLMemoryStream: in-memory byte stream with shared storage.
#include "core/kvl_memorystream.h"

#include <cstring>

KVLMemoryStream::KVLMemoryStream() : m_bytes(std::make_shared<std::vector<uint8_t>>()) {}

KVLMemoryStream::KVLMemoryStream(const void* data, size_t size)
    : m_bytes(std::make_shared<std::vector<uint8_t>>(static_cast<const uint8_t*>(data),
                                                     static_cast<const uint8_t*>(data) + size)) {}

KVLMemoryStream::KVLMemoryStream(std::shared_ptr<std::vector<uint8_t>> bytes) : m_bytes(std::move(bytes)) {
    if (!m_bytes) {
        m_bytes = std::make_shared<std::vector<uint8_t>>();
    }
}

std::unique_ptr<KVLStream> KVLMemoryStream::Clone() const { return std::make_unique<KVLMemoryStream>(m_bytes); }

bool KVLMemoryStream::OpenRead() {
    if (m_open || m_bytes->size() > static_cast<size_t>(INT32_MAX)) {
        return false;
    }
    m_open = true;
    m_position = 0;
    return true;
}

bool KVLMemoryStream::OpenReadWrite() { return OpenRead(); }

bool KVLMemoryStream::OpenWrite() {
    if (m_open) {
        return false;
    }
    m_bytes->clear();
    m_open = true;
    m_position = 0;
    return true;
}

bool KVLMemoryStream::Close() {
    if (!m_open) {
        return false;
    }
    m_open = false;
    return true;
}

int32_t KVLMemoryStream::Read(void* destination, int32_t n) {
    if (!m_open || n <= 0 || destination == nullptr) {
        return 0;
    }
    const int64_t size = static_cast<int64_t>(m_bytes->size());
    if (m_position < 0 || m_position >= size) {
        return 0;
    }
    const int64_t available = size - m_position;
    const int32_t count = available < n ? static_cast<int32_t>(available) : n;
    std::memcpy(destination, m_bytes->data() + m_position, static_cast<size_t>(count));
    m_position += count;
    return count;
}

int32_t KVLMemoryStream::Write(const void* source, int32_t n) {
    if (!m_open || n <= 0 || source == nullptr || m_position < 0) {
        return 0;
    }
    const int64_t end = static_cast<int64_t>(m_position) + n;
    if (end > INT32_MAX) {
        return 0;
    }
    if (static_cast<size_t>(end) > m_bytes->size()) {
        m_bytes->resize(static_cast<size_t>(end));
    }
    std::memcpy(m_bytes->data() + m_position, source, static_cast<size_t>(n));
    m_position = static_cast<int32_t>(end);
    return n;
}

int32_t KVLMemoryStream::GetLength() {
    if (!m_open) {
        return -1;
    }
    return static_cast<int32_t>(m_bytes->size());
}

bool KVLMemoryStream::SeekAbsolute(int32_t position) {
    if (!m_open || position < 0) {
        return false;
    }
    m_position = position;
    return true;
}
