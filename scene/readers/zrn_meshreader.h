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

    // A new instance of the first registered reader that accepts the extension, or
    // null when none does.
    static std::unique_ptr<ZRNMeshReader> CreateFor(const KVLString& extension);
};

// Reads a model file's fixed-size header from the open stream and checks its magic
// number and its end-of-file field, which both Quake formats carry and which must equal
// the stream's length. On success *length holds that length for the block checks.
inline bool ZRNReadModelHeader(KVLStream& stream, uint8_t* header, int32_t size, uint32_t ident,
                               int32_t endOffsetField, int64_t* length) {
    if (!KVLReadExact(stream, header, size)) {
        return false;
    }
    *length = stream.GetLength();
    return KVLGetU32(header) == ident && KVLGetS32(header + endOffsetField) == *length;
}

// True when [offset, offset + count x recordSize) lies inside a stream of the given
// length; computed without overflow for any 32-bit inputs.
inline bool ZRNBlockFits(int64_t offset, int64_t count, int64_t recordSize, int64_t length) {
    return offset >= 0 && count >= 0 && recordSize >= 0 && offset <= length &&
           (count == 0 || recordSize <= (length - offset) / count);
}
