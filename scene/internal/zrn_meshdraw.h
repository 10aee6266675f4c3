// The four mesh draw routines (flat, smooth, textured flat, textured smooth), written
// once against a vertex sink so that they carry no graphics API: the renderers lay
// what they send out as client arrays (ZRNBuildMeshArrays), tests pass a sink that
// records.
//
// A sink offers Normal(const float*), TexCoord(const float*) and Vertex(const float*).
// Every routine uses frame 0 of the mesh (or a blended pose of it, ZRNMeshFrame) and
// sends triangles only: a quad (a, b, c, d) becomes a, b, c then a, c, d. Indices
// beyond the mesh's lists are skipped face by face, so a damaged mesh draws less but
// never reads outside its arrays.
#pragma once

#include <cstdint>
#include <vector>

#include "scene/zrn_mesh.h"

enum class ZRNDrawRoutine { Flat, Smooth, TexturedFlat, TexturedSmooth };

// The routine of a material kind (the kinds are listed in zrn_material.h).
constexpr ZRNDrawRoutine ZRNRoutineForKind(int32_t kind) {
    switch (kind) {
        case 0:
        case 1:
        case 2:
        case 7:
            return ZRNDrawRoutine::Flat;
        case 4:
        case 5:
            return ZRNDrawRoutine::TexturedFlat;
        case 6:
            return ZRNDrawRoutine::TexturedSmooth;
        default:
            return ZRNDrawRoutine::Smooth;
    }
}

// The routine over the mesh's faces and texture coordinates with the pose's vertices
// and normals (lists as ZRNMesh keeps them per frame).
template <class Sink>
void ZRNDrawPoseWith(ZRNDrawRoutine routine, const ZRNMesh& mesh, const KVLArray<KVLVector3>& vertices,
                     const KVLArray<KVLVector3>& vertexNormals, const KVLArray<KVLVector3>& faceNormals,
                     Sink& sink) {
    const KVLArray<ZRNFace>& faces = mesh.GetFaces();
    const KVLArray<ZRNTexCoord>& texCoords = mesh.GetTexCoords();
    const bool textured = routine == ZRNDrawRoutine::TexturedFlat || routine == ZRNDrawRoutine::TexturedSmooth;
    const bool flat = routine == ZRNDrawRoutine::Flat || routine == ZRNDrawRoutine::TexturedFlat;
    const int32_t vertexCount = vertices.GetCount();
    const bool haveVertexNormals = vertexNormals.GetCount() >= vertexCount;
    const int32_t faceCount = faces.GetCount();

    auto emit = [&](uint16_t v, uint16_t t) {
        if (textured) {
            sink.TexCoord(&texCoords[t].u);
        }
        if (!flat) {
            sink.Normal(&vertexNormals[v].x);
        }
        sink.Vertex(&vertices[v].x);
    };
    for (int32_t i = 0; i < faceCount; ++i) {
        const ZRNFace& f = faces[i];
        const bool quad = f.IsQuad();
        const int corners = quad ? 4 : 3;
        bool usable = (!flat || i < faceNormals.GetCount()) && (flat || haveVertexNormals);
        for (int c = 0; c < corners && usable; ++c) {
            usable = f.v[c] < vertexCount && (!textured || f.t[c] < texCoords.GetCount());
        }
        if (!usable) {
            continue;
        }
        if (flat) {
            sink.Normal(&faceNormals[i].x);
        }
        emit(f.v[0], f.t[0]);
        emit(f.v[1], f.t[1]);
        emit(f.v[2], f.t[2]);
        if (quad) {
            if (flat) {
                sink.Normal(&faceNormals[i].x);
            }
            emit(f.v[0], f.t[0]);
            emit(f.v[2], f.t[2]);
            emit(f.v[3], f.t[3]);
        }
    }
}

template <class Sink>
void ZRNDrawMeshWith(ZRNDrawRoutine routine, const ZRNMesh& mesh, Sink& sink) {
    ZRNDrawPoseWith(routine, mesh, mesh.GetVertices(0), mesh.GetVertexNormals(0), mesh.GetFaceNormals(0), sink);
}

// The triangles a routine draws, laid out as client arrays: three floats of position
// and of normal per corner, two of texture coordinate per corner for the textured
// routines (empty otherwise). Any renderer that draws from arrays (OpenGL 1.1 client
// arrays, a shader renderer's attribute buffers) fills them here, so that every
// renderer draws the same corners in the same order as the immediate-mode path.
struct ZRNMeshArrays {
    std::vector<float> positions;
    std::vector<float> normals;
    std::vector<float> texCoords;
    int32_t GetCornerCount() const { return static_cast<int32_t>(positions.size() / 3); }
    void Clear() {
        positions.clear();
        normals.clear();
        texCoords.clear();
    }
};

namespace zrn_detail {
// Collects the routine's calls: the last normal and texture coordinate given are the
// current ones when a vertex arrives, as in immediate mode. Writes through raw
// pointers into storage sized for the most corners a mesh can give (six per face).
struct ArraySink {
    float* position;
    float* normalOut;
    float* texCoordOut;  // null for the untextured routines
    float normal[3] = {0.0f, 0.0f, 1.0f};
    float texCoord[2] = {0.0f, 0.0f};
    void Normal(const float* n) { normal[0] = n[0], normal[1] = n[1], normal[2] = n[2]; }
    void TexCoord(const float* t) { texCoord[0] = t[0], texCoord[1] = t[1]; }
    void Vertex(const float* v) {
        position[0] = v[0], position[1] = v[1], position[2] = v[2];
        normalOut[0] = normal[0], normalOut[1] = normal[1], normalOut[2] = normal[2];
        position += 3;
        normalOut += 3;
        if (texCoordOut != nullptr) {
            texCoordOut[0] = texCoord[0], texCoordOut[1] = texCoord[1];
            texCoordOut += 2;
        }
    }
};

template <class Draw>
void BuildArrays(ZRNDrawRoutine routine, const ZRNMesh& mesh, ZRNMeshArrays& arrays, Draw draw) {
    const bool textured = routine == ZRNDrawRoutine::TexturedFlat || routine == ZRNDrawRoutine::TexturedSmooth;
    const size_t most = static_cast<size_t>(mesh.GetFaces().GetCount()) * 6;
    // resize only grows the storage; the values written below replace whatever it held.
    arrays.positions.resize(most * 3);
    arrays.normals.resize(most * 3);
    arrays.texCoords.resize(textured ? most * 2 : 0);
    ArraySink sink{arrays.positions.data(), arrays.normals.data(), textured ? arrays.texCoords.data() : nullptr};
    draw(sink);
    const size_t corners = static_cast<size_t>(sink.position - arrays.positions.data()) / 3;
    arrays.positions.resize(corners * 3);
    arrays.normals.resize(corners * 3);
    arrays.texCoords.resize(textured ? corners * 2 : 0);
}
}  // namespace zrn_detail

// Replaces the arrays' contents with the mesh drawn by the routine (keeping their
// storage, so a mesh that changes every frame reuses it).
inline void ZRNBuildMeshArrays(ZRNDrawRoutine routine, const ZRNMesh& mesh, ZRNMeshArrays& arrays) {
    zrn_detail::BuildArrays(routine, mesh, arrays,
                            [&](zrn_detail::ArraySink& sink) { ZRNDrawMeshWith(routine, mesh, sink); });
}

// The same for a blended pose of the mesh (ZRNMesh::BlendFrame).
inline void ZRNBuildMeshArrays(ZRNDrawRoutine routine, const ZRNMesh& mesh, const ZRNMeshFrame& pose,
                               ZRNMeshArrays& arrays) {
    zrn_detail::BuildArrays(routine, mesh, arrays, [&](zrn_detail::ArraySink& sink) {
        ZRNDrawPoseWith(routine, mesh, pose.vertices, pose.vertexNormals, pose.faceNormals, sink);
    });
}
