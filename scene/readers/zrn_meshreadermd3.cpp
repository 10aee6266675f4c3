// ZRNMeshReaderMD3: MD3 layout and reading. All fields little-endian; integers are
// 32-bit signed unless noted.
#include "scene/readers/zrn_meshreadermd3.h"

#include <vector>

namespace {

constexpr uint32_t kIdent = 'I' | ('D' << 8) | ('P' << 16) | ('3' << 24);

// Model header, 108 bytes.
constexpr int32_t kHeaderSize = 108;
constexpr int kFrameCount = 76;
constexpr int kTagCount = 80;
constexpr int kSurfaceCount = 84;
constexpr int kEndOffset = 104;

constexpr int32_t kFrameRecordSize = 56;  // bounds, origin, radius, name: not used
// Tag record: 64-byte name, origin (3 floats), axes (9 floats, by rows).
constexpr int32_t kTagRecordSize = 112;
constexpr int kTagName = 0;
constexpr int kTagNameSize = 64;
constexpr int kTagOrigin = 64;
constexpr int kTagAxes = 76;

// Surface header, 108 bytes; offsets inside it are from the surface start.
constexpr int32_t kSurfaceHeaderSize = 108;
constexpr int kSurfName = 4;
constexpr int kSurfNameSize = 64;
constexpr int kSurfFrameCount = 72;
constexpr int kSurfVertexCount = 80;
constexpr int kSurfTriangleCount = 84;
constexpr int kSurfTriangleOffset = 88;
constexpr int kSurfTexCoordOffset = 96;
constexpr int kSurfVertexOffset = 100;
constexpr int kSurfEndOffset = 104;

constexpr int32_t kVertexRecordSize = 8;    // x, y, z (16-bit signed), packed normal
constexpr int32_t kTexCoordRecordSize = 8;  // s, t (floats)
constexpr int32_t kTriangleRecordSize = 12; // three 32-bit vertex indices

// Limits on counts that real models keep far below.
constexpr int32_t kMaxTags = 4096;
constexpr int32_t kMaxSurfaces = 4096;

constexpr float kVertexScale = 0.00048828125f;  // 1/64 fixed point, then 1/32: 1/2048
constexpr float kOriginScale = 0.03125f;        // 1/32

// Reads the surface starting at start; on success returns the mesh and sets next to
// where the following surface starts.
std::unique_ptr<ZRNMesh> ReadSurface(KVLStream& s, int64_t start, int64_t length, int64_t& next, const char*& why) {
    std::vector<uint8_t> buffer;
    if (!ZRNBlockFits(start, 1, kSurfaceHeaderSize, length) || !ZRNReadBlock(s, start, kSurfaceHeaderSize, buffer)) {
        why = "a surface header outside the file";
        return nullptr;
    }
    const uint8_t* h = buffer.data();
    const KVLString name(reinterpret_cast<const char*>(h + kSurfName), kSurfNameSize);
    const int32_t frameCount = KVLGetS32(h + kSurfFrameCount);
    const int32_t vertexCount = KVLGetS32(h + kSurfVertexCount);
    const int32_t triCount = KVLGetS32(h + kSurfTriangleCount);
    const int32_t triOffset = KVLGetS32(h + kSurfTriangleOffset);
    const int32_t texOffset = KVLGetS32(h + kSurfTexCoordOffset);
    const int32_t vertexOffset = KVLGetS32(h + kSurfVertexOffset);
    const int32_t endOffset = KVLGetS32(h + kSurfEndOffset);
    if (frameCount < 1 || frameCount > kZRNMaxModelFrames || vertexCount < 0 ||
        vertexCount > kZRNMaxModelVertices || triCount < 0 || triCount > kZRNMaxModelTriangles) {
        why = "a surface's frame, vertex or triangle count out of range";
        return nullptr;
    }
    if (endOffset < kSurfaceHeaderSize || !ZRNBlockFits(start, 1, endOffset, length) || vertexOffset < 0 ||
        texOffset < 0 || triOffset < 0 ||
        !ZRNBlockFits(start + vertexOffset, int64_t{frameCount} * vertexCount, kVertexRecordSize, length) ||
        !ZRNBlockFits(start + texOffset, vertexCount, kTexCoordRecordSize, length) ||
        !ZRNBlockFits(start + triOffset, triCount, kTriangleRecordSize, length)) {
        why = "a surface's blocks outside the file";
        return nullptr;
    }

    auto mesh = std::make_unique<ZRNMesh>();
    mesh->SetFrameCount(frameCount);
    if (!ZRNReadBlock(s, start + vertexOffset, int64_t{kVertexRecordSize} * frameCount * vertexCount, buffer)) {
        why = "a surface's vertices do not read";
        return nullptr;
    }
    const uint8_t* p = buffer.data();
    for (int32_t f = 0; f < frameCount; ++f) {
        for (int32_t i = 0; i < vertexCount; ++i, p += kVertexRecordSize) {
            const auto x = static_cast<int16_t>(KVLGetU16(p));
            const auto y = static_cast<int16_t>(KVLGetU16(p + 2));
            const auto z = static_cast<int16_t>(KVLGetU16(p + 4));
            mesh->AddVertex({static_cast<float>(x) * kVertexScale, static_cast<float>(y) * kVertexScale,
                             static_cast<float>(z) * kVertexScale},
                            f);
        }
    }

    if (!ZRNReadBlock(s, start + texOffset, int64_t{kTexCoordRecordSize} * vertexCount, buffer)) {
        why = "a surface's texture coordinates do not read";
        return nullptr;
    }
    for (int32_t i = 0; i < vertexCount; ++i) {
        const uint8_t* t = buffer.data() + int64_t{kTexCoordRecordSize} * i;
        mesh->AddTexCoord(ZRNGetF32(t), ZRNGetF32(t + 4));
    }

    if (!ZRNReadBlock(s, start + triOffset, int64_t{kTriangleRecordSize} * triCount, buffer)) {
        why = "a surface's triangles do not read";
        return nullptr;
    }
    for (int32_t i = 0; i < triCount; ++i) {
        const uint8_t* t = buffer.data() + int64_t{kTriangleRecordSize} * i;
        uint16_t idx[3];
        for (int k = 0; k < 3; ++k) {
            const uint32_t v = KVLGetU32(t + 4 * k);
            // Faces hold 16-bit indices: a larger one cannot be kept, and one past
            // the vertex list would read outside it.
            if (v > 0xFFFF || v >= static_cast<uint32_t>(vertexCount)) {
                why = "a triangle indexes past its surface's vertices";
                return nullptr;
            }
            idx[k] = static_cast<uint16_t>(v);
        }
        // Texture coordinates run parallel to the vertices.
        mesh->AddFace(idx[0], idx[1], idx[2], kZRNNoIndex, idx[0], idx[1], idx[2], kZRNNoIndex);
    }

    mesh->SetName(name);
    next = start + endOffset;
    mesh->ComputeNormals();
    return mesh;
}

}  // namespace

KVL_IMPLEMENT_CLASS(ZRNMeshReaderMD3, ZRNMeshReader);

bool ZRNMeshReaderMD3::CanRead(const KVLString& extension) const { return extension.EqualsNoCase("MD3"); }

std::unique_ptr<ZRNMesh> ZRNMeshReaderMD3::ReadStream(KVLStream& stream, int32_t, int32_t) {
    return std::unique_ptr<ZRNMesh>(ReadAll(stream, nullptr, nullptr));
}

ZRNMesh* ZRNMeshReaderMD3::ReadAll(KVLStream& stream, KVLArray<ZRNMesh*>* surfaces,
                                   KVLArray<ZRNJointTrack*>* tags) {
    const ZRNModelFile file(stream, kHeaderSize, kIdent, kEndOffset);
    if (!file.IsValid()) {
        return Fail(stream, file);
    }
    const uint8_t* h = file.Header();
    const int64_t length = file.GetLength();
    const int32_t frameCount = KVLGetS32(h + kFrameCount);
    const int32_t tagCount = KVLGetS32(h + kTagCount);
    const int32_t surfaceCount = KVLGetS32(h + kSurfaceCount);
    if (frameCount < 1 || frameCount > kZRNMaxModelFrames || tagCount < 0 || tagCount > kMaxTags ||
        surfaceCount < 0 || surfaceCount > kMaxSurfaces || (surfaces == nullptr && surfaceCount == 0)) {
        return Fail(stream, "a frame, tag or surface count out of range (or no surface)");
    }
    const int64_t tagsStart = kHeaderSize + int64_t{kFrameRecordSize} * frameCount;
    const int64_t tagRecords = int64_t{frameCount} * tagCount;
    if (!ZRNBlockFits(tagsStart, tagRecords, kTagRecordSize, length)) {
        return Fail(stream, "the tags lie outside the file");
    }

    // Everything is collected here first and handed over only when the whole model
    // has been read, so that a failure leaves the caller's lists as they were.
    std::vector<std::unique_ptr<ZRNJointTrack>> tracks;
    if (tags != nullptr) {
        std::vector<uint8_t> block;
        if (!ZRNReadBlock(stream, tagsStart, tagRecords * kTagRecordSize, block)) {
            return Fail(stream, "the tags do not read");
        }
        for (int32_t i = 0; i < tagCount; ++i) {
            tracks.push_back(std::make_unique<ZRNJointTrack>());
        }
        const uint8_t* p = block.data();
        for (int32_t f = 0; f < frameCount; ++f) {
            for (int32_t i = 0; i < tagCount; ++i, p += kTagRecordSize) {
                ZRNJointTrack& track = *tracks[static_cast<size_t>(i)];
                track.name = KVLString(reinterpret_cast<const char*>(p + kTagName), kTagNameSize);
                track.origins.Add({ZRNGetF32(p + kTagOrigin) * kOriginScale, ZRNGetF32(p + kTagOrigin + 4) * kOriginScale,
                                   ZRNGetF32(p + kTagOrigin + 8) * kOriginScale});
                KVLMatrix34 axes;
                for (int k = 0; k < 9; ++k) {
                    axes.m[k] = ZRNGetF32(p + kTagAxes + 4 * k);
                }
                track.axes.Add(axes);
            }
        }
    }

    int64_t start = tagsStart + tagRecords * kTagRecordSize;
    const int32_t wanted = surfaces != nullptr ? surfaceCount : 1;
    std::vector<std::unique_ptr<ZRNMesh>> meshes;
    for (int32_t i = 0; i < wanted; ++i) {
        int64_t next = 0;
        const char* why = "";
        std::unique_ptr<ZRNMesh> mesh = ReadSurface(stream, start, length, next, why);
        if (!mesh) {
            return Fail(stream, why);
        }
        meshes.push_back(std::move(mesh));
        start = next;
    }

    if (tags != nullptr) {
        for (std::unique_ptr<ZRNJointTrack>& t : tracks) {
            tags->Add(t.release());
        }
    }
    if (surfaces == nullptr) {
        Succeed();
        return meshes.front().release();
    }
    if (meshes.empty()) {
        return Fail(stream, "a model of tags only: no surface");
    }
    Succeed();
    ZRNMesh* first = meshes.front().get();
    for (std::unique_ptr<ZRNMesh>& m : meshes) {
        surfaces->Add(m.release());
    }
    return first;
}
