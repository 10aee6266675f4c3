// ZRNMeshReaderMD2: MD2 layout and reading. All fields little-endian; the header is
// 68 bytes of 32-bit signed integers after the four-byte ident.
#include "scene/readers/zrn_meshreadermd2.h"

#include <vector>

namespace {

constexpr uint32_t kIdent = 'I' | ('D' << 8) | ('P' << 16) | ('2' << 24);
constexpr int32_t kHeaderSize = 68;

// Header field offsets.
constexpr int kSkinWidth = 8;
constexpr int kSkinHeight = 12;
constexpr int kFrameSize = 16;
constexpr int kVertexCount = 24;
constexpr int kTexCoordCount = 28;
constexpr int kTriangleCount = 32;
constexpr int kFrameCount = 40;
constexpr int kTexCoordOffset = 48;
constexpr int kTriangleOffset = 52;
constexpr int kFramesOffset = 56;
constexpr int kEndOffset = 64;

// Frame record: scale (3 floats), translate (3 floats), 16-byte name, then 4 bytes
// per vertex (x, y, z, normal index).
constexpr int32_t kFrameHeaderSize = 40;
constexpr int32_t kFrameVertexSize = 4;
constexpr int32_t kTexCoordSize = 4;   // s, t: 16-bit signed
constexpr int32_t kTriangleSize = 12;  // a, b, c, ta, tb, tc: 16-bit unsigned

constexpr float kUnitScale = 0.03125f;  // model units to engine units: 1/32

// Reads frame `frame` and appends its vertices to the mesh.
bool ReadFrame(KVLStream& s, int32_t offset, int32_t vertexCount, int32_t frame, ZRNMesh& mesh,
               std::vector<uint8_t>& buffer) {
    if (!ZRNReadBlock(s, offset, kFrameHeaderSize + int64_t{kFrameVertexSize} * vertexCount, buffer)) {
        return false;
    }
    const uint8_t* p = buffer.data();
    const float sx = ZRNGetF32(p), sy = ZRNGetF32(p + 4), sz = ZRNGetF32(p + 8);
    const float tx = ZRNGetF32(p + 12), ty = ZRNGetF32(p + 16), tz = ZRNGetF32(p + 20);
    const uint8_t* v = p + kFrameHeaderSize;
    mesh.ReserveVertices(frame, vertexCount);
    for (int32_t i = 0; i < vertexCount; ++i, v += kFrameVertexSize) {
        const float x = (static_cast<float>(v[0]) * sx + tx) * kUnitScale;
        const float y = (static_cast<float>(v[2]) * sz + tz) * kUnitScale;
        const float z = -((static_cast<float>(v[1]) * sy + ty) * kUnitScale);
        mesh.AddVertex({x, y, z}, frame);
    }
    return true;
}

}  // namespace

KVL_IMPLEMENT_CLASS(ZRNMeshReaderMD2, ZRNMeshReader);

bool ZRNMeshReaderMD2::CanRead(const KVLString& extension) const { return extension.EqualsNoCase("MD2"); }

std::unique_ptr<ZRNMesh> ZRNMeshReaderMD2::ReadStream(KVLStream& stream, int32_t, int32_t) {
    const ZRNModelFile file(stream, kHeaderSize, kIdent, kEndOffset);
    if (!file.IsValid()) {
        return Fail(stream, file);
    }
    const uint8_t* h = file.Header();
    const int64_t length = file.GetLength();
    const int32_t skinWidth = KVLGetS32(h + kSkinWidth);
    const int32_t skinHeight = KVLGetS32(h + kSkinHeight);
    const int32_t frameSize = KVLGetS32(h + kFrameSize);
    const int32_t vertexCount = KVLGetS32(h + kVertexCount);
    const int32_t texCount = KVLGetS32(h + kTexCoordCount);
    const int32_t triCount = KVLGetS32(h + kTriangleCount);
    const int32_t frameCount = KVLGetS32(h + kFrameCount);
    const int32_t texOffset = KVLGetS32(h + kTexCoordOffset);
    const int32_t triOffset = KVLGetS32(h + kTriangleOffset);
    const int32_t framesOffset = KVLGetS32(h + kFramesOffset);

    // Counts, then every block against the stream, before anything is allocated.
    if (frameCount < 1 || frameCount > kZRNMaxModelFrames || vertexCount < 0 ||
        vertexCount > kZRNMaxModelVertices || texCount < 0 || texCount > kZRNMaxModelVertices ||
        triCount < 0 || triCount > kZRNMaxModelTriangles) {
        return Fail(stream, "a frame, vertex, texture coordinate or triangle count out of range");
    }
    if (texCount > 0 && (skinWidth <= 0 || skinHeight <= 0)) {
        return Fail(stream, "texture coordinates with no skin size");
    }
    if (frameSize < kFrameHeaderSize + int64_t{kFrameVertexSize} * vertexCount ||
        !ZRNBlockFits(framesOffset, frameCount, frameSize, length) ||
        !ZRNBlockFits(texOffset, texCount, kTexCoordSize, length) ||
        !ZRNBlockFits(triOffset, triCount, kTriangleSize, length)) {
        return Fail(stream, "a block of frames, texture coordinates or triangles outside the file");
    }

    auto mesh = std::make_unique<ZRNMesh>();
    mesh->SetFrameCount(frameCount);
    std::vector<uint8_t> buffer;
    if (!ReadFrame(stream, framesOffset, vertexCount, 0, *mesh, buffer)) {
        return Fail(stream, "frame 0 does not read");
    }

    if (!ZRNReadBlock(stream, texOffset, int64_t{kTexCoordSize} * texCount, buffer)) {
        return Fail(stream, "the texture coordinates do not read");
    }
    for (int32_t i = 0; i < texCount; ++i) {
        const uint8_t* p = buffer.data() + int64_t{kTexCoordSize} * i;
        const auto s = static_cast<int16_t>(KVLGetU16(p));
        const auto t = static_cast<int16_t>(KVLGetU16(p + 2));
        mesh->AddTexCoord(static_cast<float>(s) / static_cast<float>(skinWidth),
                          static_cast<float>(t) / static_cast<float>(skinHeight));
    }

    if (!ZRNReadBlock(stream, triOffset, int64_t{kTriangleSize} * triCount, buffer)) {
        return Fail(stream, "the triangles do not read");
    }
    for (int32_t i = 0; i < triCount; ++i) {
        const uint8_t* p = buffer.data() + int64_t{kTriangleSize} * i;
        uint16_t idx[6];
        for (int k = 0; k < 6; ++k) {
            idx[k] = KVLGetU16(p + 2 * k);
        }
        if (idx[0] >= vertexCount || idx[1] >= vertexCount || idx[2] >= vertexCount || idx[3] >= texCount ||
            idx[4] >= texCount || idx[5] >= texCount) {
            return Fail(stream, "a triangle indexes past the vertices or texture coordinates");
        }
        // The engine winds faces the other way round.
        mesh->AddFace(idx[2], idx[1], idx[0], kZRNNoIndex, idx[5], idx[4], idx[3], kZRNNoIndex);
    }

    for (int32_t f = 1; f < frameCount; ++f) {
        if (!ReadFrame(stream, framesOffset + f * frameSize, vertexCount, f, *mesh, buffer)) {
            return Fail(stream, "a frame does not read");
        }
    }
    mesh->ComputeNormals();
    Succeed();
    return mesh;
}
