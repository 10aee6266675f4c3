// KVLStream: the operations every stream shares, and the little-endian helpers.
#include "core/kvl_stream.h"

#include <cstring>

bool KVLStream::Exists() const {
    std::unique_ptr<KVLStream> probe = Clone();
    if (probe && probe->OpenRead()) {
        probe->Close();
        return true;
    }
    return false;
}

bool KVLStream::IsEOF() { return Tell() >= GetLength(); }

int32_t KVLStream::ReadLine(KVLString& line) {
    char buffer[2048];
    int32_t stored = 0;
    while (stored < 2047) {
        char c = 0;
        if (Read(&c, 1) != 1) {
            break;
        }
        if (c == '\n') {
            if (stored > 0 && buffer[stored - 1] == '\r') {
                --stored;
            }
            break;
        }
        buffer[stored++] = c;
    }
    line = KVLString(buffer, stored);
    return line.GetLength();
}

int32_t KVLStream::WriteLine(const KVLString& line) {
    const char* text = line.c_str();
    int32_t written = 0;
    while (text[written] != '\0') {
        if (Write(text + written, 1) != 1) {
            break;
        }
        ++written;
    }
    static const char kEnd[2] = {'\r', '\n'};
    Write(kEnd, 2);
    return written;
}

bool KVLStream::SeekRelative(int32_t delta) {
    const int64_t target = static_cast<int64_t>(Tell()) + delta;
    if (target < INT32_MIN || target > INT32_MAX) {
        return false;
    }
    return SeekAbsolute(static_cast<int32_t>(target));
}

bool KVLStream::SeekFromEnd(int32_t distance) {
    const int64_t target = static_cast<int64_t>(GetLength()) - distance;
    if (target < INT32_MIN || target > INT32_MAX) {
        return false;
    }
    return SeekAbsolute(static_cast<int32_t>(target));
}

bool KVLReadExact(KVLStream& s, void* destination, int32_t n) {
    if (n < 0) {
        return false;
    }
    if (n == 0) {
        return true;
    }
    return s.Read(destination, n) == n;
}

bool KVLReadU8(KVLStream& s, uint8_t& value) {
    value = 0;
    return s.Read(&value, 1) == 1;
}

bool KVLReadU16(KVLStream& s, uint16_t& value) {
    uint8_t b[2];
    value = 0;
    if (s.Read(b, 2) != 2) return false;
    value = KVLGetU16(b);
    return true;
}

bool KVLReadS16(KVLStream& s, int16_t& value) {
    uint16_t u = 0;
    const bool ok = KVLReadU16(s, u);
    value = static_cast<int16_t>(u);
    return ok;
}

bool KVLReadU32(KVLStream& s, uint32_t& value) {
    uint8_t b[4];
    value = 0;
    if (s.Read(b, 4) != 4) return false;
    value = KVLGetU32(b);
    return true;
}

bool KVLReadS32(KVLStream& s, int32_t& value) {
    uint32_t u = 0;
    const bool ok = KVLReadU32(s, u);
    value = static_cast<int32_t>(u);
    return ok;
}

bool KVLReadF32(KVLStream& s, float& value) {
    uint32_t u = 0;
    const bool ok = KVLReadU32(s, u);
    std::memcpy(&value, &u, sizeof value);
    return ok;
}

bool KVLWriteU16(KVLStream& s, uint16_t value) {
    uint8_t b[2];
    KVLPutU16(b, value);
    return s.Write(b, 2) == 2;
}

bool KVLWriteU32(KVLStream& s, uint32_t value) {
    uint8_t b[4];
    KVLPutU32(b, value);
    return s.Write(b, 4) == 4;
}

bool KVLWriteS32(KVLStream& s, int32_t value) { return KVLWriteU32(s, static_cast<uint32_t>(value)); }

KVLString KVLWhyNotOpen(KVLStream& stream) {
    if (stream.IsOpen()) {
        return KVLString();
    }
    if (stream.OpenRead()) {
        stream.Close();
        return KVLString();
    }
    KVLString why = stream.GetOpenError();
    if (why.IsEmpty()) {
        const KVLString name = stream.GetName();
        if (name.IsEmpty()) {
            why = "the stream does not open";
        } else {
            why.Format("cannot open '%s'", name.c_str());
        }
    }
    return why;
}

KVLString KVLStreamExtension(const KVLStream& stream) {
    KVLString extension;
    KVLSplitExtension(stream.GetName(), nullptr, &extension);
    // A dot in a folder's name is no extension.
    if (std::strchr(extension.c_str(), '/') != nullptr || std::strchr(extension.c_str(), '\\') != nullptr) {
        extension.Clear();
    }
    return extension;
}
