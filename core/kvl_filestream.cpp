// KVLFileStream: stdio-backed file stream.
#include "core/kvl_filestream.h"

#include <cerrno>
#include <climits>
#include <cstring>

KVLFileStream::KVLFileStream(const KVLString& path) : m_path(path) {}

KVLFileStream::~KVLFileStream() {
    if (m_file != nullptr) {
        std::fclose(m_file);
    }
}

std::unique_ptr<KVLStream> KVLFileStream::Clone() const { return std::make_unique<KVLFileStream>(m_path); }

bool KVLFileStream::Exists() const {
    std::FILE* f = std::fopen(m_path.c_str(), "rb");
    if (f == nullptr) {
        return false;
    }
    std::fclose(f);
    return true;
}

bool KVLFileStream::IsEOF() { return m_file == nullptr || std::feof(m_file) != 0; }

bool KVLFileStream::Open(const char* mode) {
    if (m_file != nullptr) {
        return false;
    }
    m_file = std::fopen(m_path.c_str(), mode);
    m_lastOp = LastOp::None;
    if (m_file == nullptr) {
        m_openError.Format("cannot open '%s': %s", m_path.c_str(), std::strerror(errno));
        return false;
    }
    m_openError.Clear();
    return true;
}

bool KVLFileStream::Close() {
    if (m_file == nullptr) {
        return false;
    }
    const int rc = std::fclose(m_file);
    m_file = nullptr;
    return rc == 0;
}

void KVLFileStream::SwitchTo(LastOp op) {
    if (m_lastOp != LastOp::None && m_lastOp != op) {
        std::fseek(m_file, 0, SEEK_CUR);
    }
    m_lastOp = op;
}

int32_t KVLFileStream::Read(void* destination, int32_t n) {
    if (m_file == nullptr || n <= 0 || destination == nullptr) {
        return 0;
    }
    SwitchTo(LastOp::Read);
    return static_cast<int32_t>(std::fread(destination, 1, static_cast<size_t>(n), m_file));
}

int32_t KVLFileStream::Write(const void* source, int32_t n) {
    if (m_file == nullptr || n <= 0 || source == nullptr) {
        return 0;
    }
    SwitchTo(LastOp::Write);
    return static_cast<int32_t>(std::fwrite(source, 1, static_cast<size_t>(n), m_file));
}

int32_t KVLFileStream::GetLength() {
    if (m_file == nullptr) {
        return -1;
    }
    const long here = std::ftell(m_file);
    if (here < 0 || std::fseek(m_file, 0, SEEK_END) != 0) {
        return -1;
    }
    const long end = std::ftell(m_file);
    std::fseek(m_file, here, SEEK_SET);
    m_lastOp = LastOp::None;
    if (end < 0) {
        return -1;
    }
    return end > INT32_MAX ? INT32_MAX : static_cast<int32_t>(end);
}

int32_t KVLFileStream::Tell() {
    if (m_file == nullptr) {
        return -1;
    }
    const long here = std::ftell(m_file);
    if (here > INT32_MAX) {
        return INT32_MAX;
    }
    return static_cast<int32_t>(here);
}

bool KVLFileStream::Seek(long offset, int whence) {
    if (m_file == nullptr) {
        return false;
    }
    m_lastOp = LastOp::None;
    return std::fseek(m_file, offset, whence) == 0;
}

bool KVLFileStream::SeekRelative(int32_t delta) { return Seek(delta, SEEK_CUR); }

bool KVLFileStream::SeekAbsolute(int32_t position) {
    if (position < 0) {
        return false;
    }
    return Seek(position, SEEK_SET);
}

bool KVLFileStream::SeekFromEnd(int32_t distance) { return Seek(-static_cast<long>(distance), SEEK_END); }
