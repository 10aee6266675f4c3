// ZRNMesh: frame lists, normals, frame blending, face flipping and the grid builder.
#include "scene/zrn_mesh.h"

#include <utility>

#include "scene/internal/zrn_meshdraw.h"

ZRNMesh::ZRNMesh() = default;
ZRNMesh::~ZRNMesh() = default;

const KVLArray<KVLVector3>& ZRNMesh::PerFrame(const FrameLists& lists, int32_t frame) {
    static const KVLArray<KVLVector3> empty;
    if (frame < 0 || static_cast<size_t>(frame) >= lists.size()) {
        return empty;
    }
    return lists[static_cast<size_t>(frame)];
}

void ZRNMesh::SetFrameCount(int32_t n) {
    if (n < 0) {
        n = 0;
    }
    m_frameCount = n;
    m_vertices.resize(static_cast<size_t>(n));
    m_vertexNormals.resize(static_cast<size_t>(n));
    m_faceNormals.resize(static_cast<size_t>(n));
    m_normalsPending.resize(static_cast<size_t>(n), 0);
    m_vertexCount = n > 0 ? m_vertices[0].GetCount() : 0;
    ++m_version;
}

void ZRNMesh::ReserveVertices(int32_t frame, int32_t n) {
    if (frame >= 0 && frame < m_frameCount) {
        m_vertices[static_cast<size_t>(frame)].Reserve(n);
    }
}

void ZRNMesh::AddFace(uint16_t a, uint16_t b, uint16_t c, uint16_t d, uint16_t ta, uint16_t tb, uint16_t tc,
                      uint16_t td) {
    m_faces.Add(ZRNFace{{a, b, c, d}, {ta, tb, tc, td}});
    ++m_faceCount;
    ++m_version;
}

void ZRNMesh::AddTexCoord(float u, float v) {
    m_texCoords.Add(ZRNTexCoord{u, v});
    ++m_texCoordCount;
    ++m_version;
}

void ZRNMesh::SetFaceTexCoords(int32_t i, uint16_t ta, uint16_t tb, uint16_t tc) {
    if (i < 0 || i >= m_faceCount) {
        return;
    }
    ZRNFace& f = m_faces[i];
    f.t[0] = ta;
    f.t[1] = tb;
    f.t[2] = tc;
    f.t[3] = kZRNNoIndex;
    ++m_version;
}

void ZRNMesh::ComputeNormalsOf(const KVLArray<KVLVector3>& verts, KVLArray<KVLVector3>& vn,
                               KVLArray<KVLVector3>& fn, bool turned) const {
    vn.RemoveAll();
    vn.Reserve(m_vertexCount);
    for (int32_t i = 0; i < m_vertexCount; ++i) {
        vn.Add(KVLVector3::Zero);
    }
    fn.RemoveAll();
    fn.Reserve(m_faceCount);
    // A frame may hold fewer vertices than frame 0 when its producer filled it
    // short; faces reaching past either list get a zero normal and add nothing.
    const int32_t usable = verts.GetCount() < m_vertexCount ? verts.GetCount() : m_vertexCount;
    for (const ZRNFace& face : m_faces) {
        const int corners = face.IsQuad() ? 4 : 3;
        bool inside = true;
        for (int k = 0; k < corners; ++k) {
            inside = inside && face.v[k] < usable;
        }
        if (!inside) {
            fn.Add(KVLVector3::Zero);
            continue;
        }
        // Turned faces are read back in their order before the turn.
        const int first = turned ? corners - 1 : 0;
        const int step = turned ? -1 : 1;
        const KVLVector3& p0 = verts[face.v[first]];
        const KVLVector3& p1 = verts[face.v[first + step]];
        const KVLVector3& p2 = verts[face.v[first + 2 * step]];
        const KVLVector3 n = KVLCross(p1 - p0, p2 - p1).Normalized();
        fn.Add(n);
        for (int k = 0; k < corners; ++k) {
            vn[face.v[k]] += n;
        }
    }
    for (KVLVector3& n : vn) {
        n = turned ? -n.Normalized() : n.Normalized();
    }
    if (turned) {
        for (KVLVector3& n : fn) {
            n = -n;
        }
    }
}

void ZRNMesh::ComputeNormals() {
    if (!m_vertices.empty()) {
        ComputeNormalsOf(m_vertices[0], m_vertexNormals[0], m_faceNormals[0], false);
    }
    for (size_t r = 1; r < m_vertices.size(); ++r) {
        // Stale lists go now (storage included); the new ones come on request.
        m_vertexNormals[r] = KVLArray<KVLVector3>();
        m_faceNormals[r] = KVLArray<KVLVector3>();
        m_normalsPending[r] = 1;
    }
    m_turnedSinceNormals = false;
    ++m_version;
}

void ZRNMesh::ComputePendingNormals(size_t frame) const {
    // As if computed before any FlipFaces since ComputeNormals and negated by each.
    ComputeNormalsOf(m_vertices[frame], m_vertexNormals[frame], m_faceNormals[frame], m_turnedSinceNormals);
    m_normalsPending[frame] = 0;
}

bool ZRNMesh::BlendFrame(const ZRNFrameTime& time, ZRNMeshFrame& out) const {
    if (m_frameCount == 1 || (time.frameA == 0 && time.fraction == 0.0f)) {
        return false;
    }
    if (time.frameA < 0 || time.frameA >= m_frameCount || time.frameB < 0 || time.frameB >= m_frameCount) {
        return false;
    }
    const KVLArray<KVLVector3>& a = m_vertices[static_cast<size_t>(time.frameA)];
    const KVLArray<KVLVector3>& b = m_vertices[static_cast<size_t>(time.frameB)];
    if (a.GetCount() < m_vertexCount || b.GetCount() < m_vertexCount) {
        return false;
    }
    KVLArray<KVLVector3>& v = out.vertices;
    v.RemoveAll();
    v.Reserve(m_vertexCount);
    const float f = time.fraction;
    for (int32_t j = 0; j < m_vertexCount; ++j) {
        v.Add(KVLLerp(a[j], b[j], f));
    }
    ComputeNormalsOf(v, out.vertexNormals, out.faceNormals, false);
    return true;
}

std::unique_ptr<ZRNMesh> ZRNMesh::FrameAt(const ZRNFrameTime& time) const {
    ZRNMeshFrame pose;
    if (!BlendFrame(time, pose)) {
        return nullptr;
    }
    auto out = std::make_unique<ZRNMesh>();
    out->SetFrameCount(1);
    out->m_vertices[0] = pose.vertices;
    out->m_vertexNormals[0] = pose.vertexNormals;
    out->m_faceNormals[0] = pose.faceNormals;
    out->m_vertexCount = m_vertexCount;
    out->m_faces = m_faces;
    out->m_faceCount = m_faceCount;
    out->m_texCoords = m_texCoords;
    out->m_texCoordCount = m_texCoordCount;
    return out;
}

const ZRNMeshArrays& ZRNMesh::GetArrays(ZRNDrawRoutine routine) const {
    const auto index = static_cast<size_t>(routine);
    static_assert(static_cast<size_t>(ZRNDrawRoutine::TexturedSmooth) < kRoutineCount);
    ArraysSlot& slot = m_arrays[index < kRoutineCount ? index : 0];
    if (slot.arrays == nullptr) {
        slot.arrays = std::make_unique<ZRNMeshArrays>();
        slot.version = 0;
    }
    if (slot.version != m_version) {
        ZRNBuildMeshArrays(routine, *this, *slot.arrays);
        // Drawn over and over: no spare capacity.
        slot.arrays->positions.shrink_to_fit();
        slot.arrays->normals.shrink_to_fit();
        slot.arrays->texCoords.shrink_to_fit();
        slot.version = m_version;
    }
    return *slot.arrays;
}

void ZRNMesh::FlipFaces() {
    for (ZRNFace& face : m_faces) {
        if (face.IsQuad()) {
            std::swap(face.v[0], face.v[3]);
            std::swap(face.v[1], face.v[2]);
            std::swap(face.t[0], face.t[3]);
            std::swap(face.t[1], face.t[2]);
        } else {
            std::swap(face.v[0], face.v[2]);
            std::swap(face.t[0], face.t[2]);
        }
    }
    // Pending normals are computed later as if they had been turned now.
    m_turnedSinceNormals = !m_turnedSinceNormals;
    for (FrameLists* lists : {&m_faceNormals, &m_vertexNormals}) {
        for (KVLArray<KVLVector3>& list : *lists) {
            for (KVLVector3& n : list) {
                n = -n;
            }
        }
    }
    ++m_version;
}

std::unique_ptr<ZRNMesh> ZRNMesh::MakeGrid(float width, float height, int32_t cells) {
    if (cells < 1 || static_cast<int64_t>(cells) * cells * 4 > kZRNNoIndex) {
        return nullptr;
    }
    auto mesh = std::make_unique<ZRNMesh>();
    mesh->SetFrameCount(2);
    const float cw = width / static_cast<float>(cells);
    const float ch = height / static_cast<float>(cells);
    const float left = -width / 2.0f;
    const float bottom = -height / 2.0f;
    for (int32_t row = 0; row < cells; ++row) {
        const float y0 = bottom + static_cast<float>(row) * ch;
        const float y1 = y0 + ch;
        const float y2 = y0 + 2.0f * ch;
        for (int32_t col = 0; col < cells; ++col) {
            const float x0 = left + static_cast<float>(col) * cw;
            const float x1 = x0 + cw;
            const auto k = static_cast<uint16_t>(mesh->m_vertexCount);
            mesh->AddVertex({x0, y0, 0.0f}, 0);
            mesh->AddVertex({x1, y0, 0.0f}, 0);
            mesh->AddVertex({x1, y1, 0.0f}, 0);
            mesh->AddVertex({x0, y1, 0.0f}, 0);
            mesh->AddVertex({x0, y1, 0.0f}, 1);
            mesh->AddVertex({x1, y1, 0.0f}, 1);
            mesh->AddVertex({x1, y2, 0.0f}, 1);
            mesh->AddVertex({x0, y2, 0.0f}, 1);
            const auto k1 = static_cast<uint16_t>(k + 1);
            const auto k2 = static_cast<uint16_t>(k + 2);
            const auto k3 = static_cast<uint16_t>(k + 3);
            mesh->AddFace(k, k1, k2, kZRNNoIndex, k, k1, k2, kZRNNoIndex);
            mesh->AddFace(k, k2, k3, kZRNNoIndex, k, k2, k3, kZRNNoIndex);
            mesh->AddTexCoord(0.0f, 0.0f);
            mesh->AddTexCoord(1.0f, 0.0f);
            mesh->AddTexCoord(1.0f, 1.0f);
            mesh->AddTexCoord(0.0f, 1.0f);
        }
    }
    mesh->ComputeNormals();
    return mesh;
}
