// KVLBufferedStream: block-buffered reading over another stream.
#include "core/kvl_bufferedstream.h"

#include <cstring>

KVLBufferedStream::KVLBufferedStream(const KVLStream& inner, int32_t bufferSize)
    : m_inner(inner.Clone()), m_bufferSize(bufferSize > 0 ? bufferSize : 1) {}

KVLBufferedStream::~KVLBufferedStream() {
    if (m_position != -1) {
        m_inner->Close();
    }
}

std::unique_ptr<KVLStream> KVLBufferedStream::Clone() const {
    return std::make_unique<KVLBufferedStream>(*m_inner, m_bufferSize);
}

bool KVLBufferedStream::IsEOF() { return m_position >= m_inner->GetLength(); }

bool KVLBufferedStream::AfterOpen(bool ok) {
    if (ok) {
        m_position = 0;
        m_index = -1;
    }
    return ok;
}

bool KVLBufferedStream::OpenRead() { return AfterOpen(m_position == -1 && m_inner->OpenRead()); }
bool KVLBufferedStream::OpenReadWrite() { return AfterOpen(m_position == -1 && m_inner->OpenReadWrite()); }
bool KVLBufferedStream::OpenWrite() { return AfterOpen(m_position == -1 && m_inner->OpenWrite()); }

bool KVLBufferedStream::Close() {
    if (m_position == -1) {
        return false;
    }
    const bool ok = m_inner->Close();
    if (ok || !m_inner->IsOpen()) {
        m_position = -1;
        m_index = -1;
    }
    return ok;
}

void KVLBufferedStream::Refill() {
    if (m_buffer.empty()) {
        m_buffer.resize(static_cast<size_t>(m_bufferSize));
    }
    m_valid = m_inner->Read(m_buffer.data(), m_bufferSize);
    if (m_valid < 0) {
        m_valid = 0;
    }
    m_index = 0;
}

int32_t KVLBufferedStream::Read(void* destination, int32_t n) {
    if (m_position == -1 || n <= 0 || destination == nullptr) {
        return 0;
    }
    unsigned char* out = static_cast<unsigned char*>(destination);
    if (m_index == -1 || m_index >= m_valid) {
        if (n >= m_bufferSize) {
            int32_t got = m_inner->Read(out, n);
            if (got < 0) got = 0;
            m_index = -1;
            m_position += got;
            return got;
        }
        Refill();
    }
    const int32_t available = m_valid - m_index;
    if (n <= available) {
        std::memcpy(out, m_buffer.data() + m_index, static_cast<size_t>(n));
        m_index += n;
        m_position += n;
        return n;
    }
    if (available > 0) {
        std::memcpy(out, m_buffer.data() + m_index, static_cast<size_t>(available));
    }
    int32_t r = n - available;
    int32_t result = 0;
    if (r >= m_bufferSize) {
        int32_t got = m_inner->Read(out + available, r);
        if (got < 0) got = 0;
        m_index = -1;
        result = available + got;
    } else {
        Refill();
        if (m_valid < r) {
            r = m_valid;
        }
        std::memcpy(out + available, m_buffer.data(), static_cast<size_t>(r));
        m_index = r;
        result = available + r;
    }
    m_position += result;
    return result;
}

int32_t KVLBufferedStream::Write(const void* source, int32_t n) {
    if (m_position == -1 || n <= 0 || source == nullptr) {
        return 0;
    }
    // After buffered reads the inner stream stands ahead of the logical position:
    // bring it back so that the bytes land where the caller believes it is.
    if (m_index != -1 && !m_inner->SeekAbsolute(m_position)) {
        return 0;
    }
    int32_t written = m_inner->Write(source, n);
    if (written < 0) written = 0;
    m_index = -1;
    m_position += written;
    return written;
}

bool KVLBufferedStream::SeekRelative(int32_t delta) {
    if (m_position == -1) {
        return false;
    }
    const int64_t target = static_cast<int64_t>(m_position) + delta;
    if (target < 0 || target > INT32_MAX) {
        return false;
    }
    return SeekAbsolute(static_cast<int32_t>(target));
}

bool KVLBufferedStream::SeekAbsolute(int32_t position) {
    if (m_position == -1 || position < 0 || !m_inner->SeekAbsolute(position)) {
        return false;
    }
    m_index = -1;
    m_position = position;
    return true;
}

bool KVLBufferedStream::SeekFromEnd(int32_t distance) {
    if (m_position == -1) {
        return false;
    }
    const int64_t target = static_cast<int64_t>(m_inner->GetLength()) - distance;
    if (target < 0 || target > INT32_MAX || !m_inner->SeekFromEnd(distance)) {
        return false;
    }
    m_index = -1;
    m_position = static_cast<int32_t>(target);
    return true;
}
