// ZRNMeshReader: the abstract mesh reader. One registered subclass per model format;
// a reader is made, used for one file and destroyed, and the mesh it returns belongs
// to the caller.
//
// Readers validate every count, offset and index against the stream before they
// allocate or read, and fail (null) on anything short or out of range, so a damaged
// file never yields a partial mesh.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "core/kvl_object.h"
#include "core/kvl_stream.h"
#include "scene/zrn_classranks.h"
#include "scene/zrn_mesh.h"

// Limits beyond which a model is taken as damaged rather than merely large.
constexpr int32_t kZRNMaxModelVertices = 1 << 20;
constexpr int32_t kZRNMaxModelTriangles = 1 << 20;
constexpr int32_t kZRNMaxModelFrames = 4096;

class ZRNMeshReader : public KVLObject {
    KVL_DECLARE_CLASS(ZRNMeshReader)
public:
    ~ZRNMeshReader() override;

    // extension without the dot, e.g. "md2"; letter case does not matter.
    virtual bool CanRead(const KVLString& extension) const = 0;
    // stream: not yet open; the reader opens it and closes it again. a and b are
    // format-specific (callers pass -1 and 0). Null on failure.
    virtual std::unique_ptr<ZRNMesh> ReadStream(KVLStream& stream, int32_t a, int32_t b) = 0;
    // ReadStream on the file through a 65536-byte buffered stream.
    std::unique_ptr<ZRNMesh> ReadFile(const KVLString& path, int32_t a, int32_t b);
    // Why the last ReadStream failed, one line naming the stream: "cannot open 'x.md2':
    // No such file or directory", "TRIS.MD2: frame count 0 out of range". Empty after
    // a success.
    const KVLString& GetErrorText() const { return m_errorText; }

    // A new instance of the first registered reader that accepts the extension, or
    // null when none does.
    static std::unique_ptr<ZRNMeshReader> CreateFor(const KVLString& extension);

protected:
    // Sets the error text to "<stream's name>: <reason>" (the reason alone when it
    // names the stream itself); returns null for the reader to hand back.
    std::nullptr_t Fail(const KVLStream& stream, const char* reason, bool reasonNamesStream = false);
    // Fail with the model file's reason.
    std::nullptr_t Fail(const KVLStream& stream, const class ZRNModelFile& file);
    void Succeed() { m_errorText.Clear(); }

private:
    KVLString m_errorText;
};

// Reads a mesh with the first registered reader for the extension of the stream's name
// (a file's path, an archive member's name). Null with a one-line reason in errorText
// (when given) on failure, the reader's or "no mesh reader for ...".
std::unique_ptr<ZRNMesh> ZRNLoadMesh(KVLStream& stream, KVLString* errorText);

// A model file open for reading (closed again when this goes) with its fixed-size
// header read and checked: the magic number, and the end-of-file field, which both
// Quake formats carry and which must equal the stream's length. Valid only when the
// stream opened, the whole header was there and both fields matched.
class ZRNModelFile {
public:
    ZRNModelFile(KVLStream& stream, int32_t headerSize, uint32_t ident, int32_t endOffsetField);
    ZRNModelFile(const ZRNModelFile&) = delete;
    ZRNModelFile& operator=(const ZRNModelFile&) = delete;

    bool IsValid() const { return m_valid; }
    // Why the file is not valid: the stream's open failure, a short header, a wrong
    // magic number or end field.
    const KVLString& Why() const { return m_why; }
    bool IsOpen() const { return m_reading.IsOpen(); }
    const uint8_t* Header() const { return m_header.data(); }
    // The stream's length, for the block checks.
    int64_t GetLength() const { return m_length; }

private:
    KVLStreamReading m_reading;
    std::vector<uint8_t> m_header;
    int64_t m_length = 0;
    bool m_valid = false;
    KVLString m_why;
};

// The little-endian 32-bit float at p.
float ZRNGetF32(const uint8_t* p);
// Reads size bytes at offset (a position inside the stream) into out, resized to fit;
// false when the stream cannot seek there or ends first.
bool ZRNReadBlock(KVLStream& stream, int64_t offset, int64_t size, std::vector<uint8_t>& out);

// True when [offset, offset + count x recordSize) lies inside a stream of the given
// length; computed without overflow for any 32-bit inputs.
inline bool ZRNBlockFits(int64_t offset, int64_t count, int64_t recordSize, int64_t length) {
    return offset >= 0 && count >= 0 && recordSize >= 0 && offset <= length &&
           (count == 0 || recordSize <= (length - offset) / count);
}
