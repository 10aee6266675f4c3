// ZRNMesh: the engine's one geometry type. Indexed triangles and quads shared by all
// frames, one vertex list per animation frame, one texture-coordinate list, and
// per-frame vertex and face normals computed from the geometry. Frame 0's normals are
// computed by ComputeNormals; those of the other frames on first request (drawing
// blends poses and computes their normals afresh, so a character's hundreds of
// frames usually never need theirs).
//
// Faces hold 16-bit indices; 0xFFFF in the fourth vertex slot marks a triangle, so a
// mesh addresses at most 65535 vertices. A mesh is filled completely by its producer
// (a reader or MakeGrid) and then only read, apart from FlipFaces. Not thread-safe.
//
// A mesh keeps, per draw routine, the client arrays its frame 0 draws as (see
// zrn_meshdraw.h), built on first request. Every change to the mesh bumps a version
// number, and arrays built at an older version are rebuilt on the next request, so a
// renderer never draws stale corners; the arrays die with the mesh.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <vector>

#include "core/kvl_array.h"
#include "core/kvl_string.h"
#include "scene/kvl_math.h"
#include "scene/zrn_frametime.h"

constexpr uint16_t kZRNNoIndex = 0xFFFF;

struct ZRNFace {
    uint16_t v[4];  // vertex indices a, b, c, d (d = kZRNNoIndex for a triangle)
    uint16_t t[4];  // texture coordinate indices ta, tb, tc, td
    bool IsQuad() const { return v[3] != kZRNNoIndex; }
};

struct ZRNTexCoord {
    float u;
    float v;
};

struct ZRNMeshArrays;        // zrn_meshdraw.h
enum class ZRNDrawRoutine;  // zrn_meshdraw.h

// One blended pose of a mesh: what frame 0 of FrameAt's mesh would hold. Kept by the
// caller and refilled pose after pose, so that its storage is reused.
struct ZRNMeshFrame {
    KVLArray<KVLVector3> vertices{-1};
    KVLArray<KVLVector3> vertexNormals{-1};
    KVLArray<KVLVector3> faceNormals{-1};
};

class ZRNMesh {
public:
    ZRNMesh();
    virtual ~ZRNMesh();
    ZRNMesh(const ZRNMesh&) = delete;
    ZRNMesh& operator=(const ZRNMesh&) = delete;

    // A one-frame mesh blended between frames A and B at the fraction, or null when
    // the mesh is not animated at that time (one frame, or exactly frame 0) — the
    // caller then draws this mesh, whose frame 0 is what drawing uses. Also null
    // when a frame number lies outside the mesh (nothing sensible to blend).
    virtual std::unique_ptr<ZRNMesh> FrameAt(const ZRNFrameTime& time) const;
    // The same pose written into the caller's lists instead of a new mesh (faces and
    // texture coordinates are this mesh's). false, leaving out untouched, wherever
    // FrameAt gives null.
    bool BlendFrame(const ZRNFrameTime& time, ZRNMeshFrame& out) const;

    // The arrays the routine draws from frame 0 (ZRNBuildMeshArrays), kept until the
    // mesh changes. The reference stays valid until the mesh changes or dies.
    const ZRNMeshArrays& GetArrays(ZRNDrawRoutine routine) const;
    // Bumped by every change to faces, vertices, texture coordinates or normals.
    uint64_t GetVersion() const { return m_version; }

    // Resizes the per-frame lists; new frames start empty, dropped frames are freed.
    void SetFrameCount(int32_t n);
    void SetName(const KVLString& name) { m_name = name; }
    // Appends to the frame's vertex list (ignored for a frame outside the mesh).
    // Frame 0's list defines the vertex count.
    void AddVertex(const KVLVector3& v, int32_t frame) {
        if (frame < 0 || frame >= m_frameCount) {
            return;
        }
        m_vertices[static_cast<size_t>(frame)].Add(v);
        ++m_version;
        if (frame == 0) {
            ++m_vertexCount;
        }
    }
    // Makes room for n vertices in the frame's list (a reader that knows the count).
    void ReserveVertices(int32_t frame, int32_t n);
    void AddFace(uint16_t a, uint16_t b, uint16_t c, uint16_t d, uint16_t ta, uint16_t tb, uint16_t tc,
                 uint16_t td);
    void AddTexCoord(float u, float v);
    // Face i gets the texture indices ta, tb, tc and no fourth one.
    void SetFaceTexCoords(int32_t i, uint16_t ta, uint16_t tb, uint16_t tc);
    // Face and vertex normals of every frame from the geometry (frame 0 now, the
    // others when first asked for).
    void ComputeNormals();
    // Turns the mesh inside out: reverses every face and negates every normal.
    void FlipFaces();

    // An n x n grid of cells, w wide and h high, centred on the origin in the z = 0
    // plane, every cell showing the whole texture. Frame 1 is frame 0 moved up by
    // one cell. Null when cells is below 1 or the grid would need more than 65535
    // vertices.
    static std::unique_ptr<ZRNMesh> MakeGrid(float width, float height, int32_t cells);

    const KVLString& GetName() const { return m_name; }
    int32_t GetFrameCount() const { return m_frameCount; }
    int32_t GetFaceCount() const { return m_faceCount; }
    int32_t GetVertexCount() const { return m_vertexCount; }
    int32_t GetTexCoordCount() const { return m_texCoordCount; }
    const KVLArray<ZRNFace>& GetFaces() const { return m_faces; }
    const KVLArray<ZRNTexCoord>& GetTexCoords() const { return m_texCoords; }
    // Per-frame lists; an empty list for a frame outside the mesh.
    const KVLArray<KVLVector3>& GetVertices(int32_t frame) const { return PerFrame(m_vertices, frame); }
    const KVLArray<KVLVector3>& GetVertexNormals(int32_t frame) const {
        PendingNormals(frame);
        return PerFrame(m_vertexNormals, frame);
    }
    const KVLArray<KVLVector3>& GetFaceNormals(int32_t frame) const {
        PendingNormals(frame);
        return PerFrame(m_faceNormals, frame);
    }

private:
    using FrameLists = std::vector<KVLArray<KVLVector3>>;
    static const KVLArray<KVLVector3>& PerFrame(const FrameLists& lists, int32_t frame);
    // Computes the frame's normals if ComputeNormals left them for later.
    void PendingNormals(int32_t frame) const {
        if (frame > 0 && static_cast<size_t>(frame) < m_normalsPending.size() &&
            m_normalsPending[static_cast<size_t>(frame)] != 0) {
            ComputePendingNormals(static_cast<size_t>(frame));
        }
    }
    void ComputePendingNormals(size_t frame) const;
    // Face and vertex normals of one vertex list over this mesh's faces; turned: over
    // the faces as they were before FlipFaces turned them, negated.
    void ComputeNormalsOf(const KVLArray<KVLVector3>& verts, KVLArray<KVLVector3>& vn, KVLArray<KVLVector3>& fn,
                          bool turned) const;

    struct ArraysSlot {
        std::unique_ptr<ZRNMeshArrays> arrays;
        uint64_t version = 0;
    };
    static constexpr int kRoutineCount = 4;

    KVLString m_name;
    int32_t m_frameCount = 0;
    int32_t m_faceCount = 0;
    int32_t m_vertexCount = 0;
    int32_t m_texCoordCount = 0;
    KVLArray<ZRNFace> m_faces{-1};
    FrameLists m_vertices;
    KVLArray<ZRNTexCoord> m_texCoords{-1};
    // Normal lists filled on request: a cache that reading a const mesh fills in.
    mutable FrameLists m_vertexNormals;
    mutable FrameLists m_faceNormals;
    // Per frame: 1 while ComputeNormals has left its normals for later.
    mutable std::vector<uint8_t> m_normalsPending;
    // FlipFaces was called an odd number of times since ComputeNormals.
    bool m_turnedSinceNormals = false;
    uint64_t m_version = 1;
    // Draw arrays per routine: a cache that drawing a const mesh fills in.
    mutable ArraysSlot m_arrays[kRoutineCount];
};

// The bounding box of the listed frames' vertices (in the model's own units); false
// when they have none. Frames a model for a camera: look at the middle of frame 0's box
// from about 1.2 times its diagonal away.
bool ZRNMeshBounds(const ZRNMesh& mesh, std::initializer_list<int32_t> frames, KVLVector3* lo, KVLVector3* hi);
