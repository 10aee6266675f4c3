// KVLStream: the byte-stream interface through which all engine data is read and
// written, and the little-endian helpers that readers use on it.
//
// Counts and positions are signed 32-bit byte values. A stream is created closed;
// whoever reads it opens it (consumers take a Clone and open that). Streams are not
// synchronised: one thread uses a stream object at a time.
//
// Contract shared by every implementation: Read with a count of 0 or less, or from a
// position outside the stream's data, returns 0 and writes nothing; short reads are
// reported by the count, never by reading past the source.
#pragma once

#include <cstdint>
#include <memory>

#include "core/kvl_string.h"

class KVLStream {
public:
    virtual ~KVLStream() = default;

    // A new, unopened stream of the same kind on the same target.
    virtual std::unique_ptr<KVLStream> Clone() const = 0;
    // True when a Clone opens for reading.
    virtual bool Exists() const;
    virtual bool IsEOF();
    virtual bool IsOpen() const = 0;
    virtual bool OpenRead() = 0;
    virtual bool OpenReadWrite() = 0;
    virtual bool OpenWrite() = 0;
    virtual bool Close() = 0;
    virtual int32_t Read(void* destination, int32_t n) = 0;
    virtual int32_t Write(const void* source, int32_t n) = 0;
    // One text line without its CR LF (at most 2047 characters; the rest of a longer
    // line comes with the next call). 0 for an empty line and at the end: IsEOF tells.
    virtual int32_t ReadLine(KVLString& line);
    // The characters, then CR LF. Returns the number of characters written before them.
    virtual int32_t WriteLine(const KVLString& line);
    virtual int32_t GetLength() = 0;
    virtual int32_t Tell() = 0;
    virtual bool SeekRelative(int32_t delta);
    virtual bool SeekAbsolute(int32_t position) = 0;
    virtual bool SeekFromEnd(int32_t distance);

    // What the stream reads: a file's path, an archive member's name; empty when it has
    // none (bytes in memory). Loaders take a file extension from it and name it in
    // their errors.
    virtual KVLString GetName() const { return KVLString(); }
    // Why the last open failed, naming the file or member ("no member 'X' in archive
    // 'Y'"); empty after a successful open and for streams that keep no reason.
    virtual KVLString GetOpenError() const { return KVLString(); }
};

// The reason stream does not open for reading, or an empty text when it does (the
// stream is closed again). For loaders that fail and want to say whether the data was
// there at all; a stream that is already open counts as opening.
KVLString KVLWhyNotOpen(KVLStream& stream);
// The extension of the stream's name (see KVLSplitExtension), empty when it has none.
KVLString KVLStreamExtension(const KVLStream& stream);

// Little-endian field access for readers. Each returns false (and leaves value 0)
// when the stream ends before the field does.
bool KVLReadU8(KVLStream& s, uint8_t& value);
bool KVLReadU16(KVLStream& s, uint16_t& value);
bool KVLReadS16(KVLStream& s, int16_t& value);
bool KVLReadU32(KVLStream& s, uint32_t& value);
bool KVLReadS32(KVLStream& s, int32_t& value);
bool KVLReadF32(KVLStream& s, float& value);
// Exactly n bytes, or false.
bool KVLReadExact(KVLStream& s, void* destination, int32_t n);

// Opens a stream for reading and closes it again when it goes out of scope, on every
// way out of a reader.
class KVLStreamReading {
public:
    explicit KVLStreamReading(KVLStream& stream) : m_stream(stream), m_open(stream.OpenRead()) {}
    ~KVLStreamReading() {
        if (m_open) {
            m_stream.Close();
        }
    }
    KVLStreamReading(const KVLStreamReading&) = delete;
    KVLStreamReading& operator=(const KVLStreamReading&) = delete;
    bool IsOpen() const { return m_open; }

private:
    KVLStream& m_stream;
    bool m_open;
};

bool KVLWriteU16(KVLStream& s, uint16_t value);
bool KVLWriteU32(KVLStream& s, uint32_t value);
bool KVLWriteS32(KVLStream& s, int32_t value);

inline uint16_t KVLGetU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t KVLGetU32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline int32_t KVLGetS32(const uint8_t* p) { return static_cast<int32_t>(KVLGetU32(p)); }
inline void KVLPutU16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline void KVLPutU32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}
