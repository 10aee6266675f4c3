// The four mesh draw routines (flat, smooth, textured flat, textured smooth), written
// once against a vertex sink so that they carry no graphics API: the renderer passes
// a sink that forwards to OpenGL immediate mode, tests pass one that records.
//
// A sink offers Normal(const float*), TexCoord(const float*) and Vertex(const float*).
// Every routine uses frame 0 of the mesh and sends triangles only: a quad (a, b, c, d)
// becomes a, b, c then a, c, d. Indices beyond the mesh's lists are skipped face by
// face, so a damaged mesh draws less but never reads outside its arrays.
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

template <class Sink>
void ZRNDrawMeshWith(ZRNDrawRoutine routine, const ZRNMesh& mesh, Sink& sink) {
    const KVLArray<ZRNFace>& faces = mesh.GetFaces();
    const KVLArray<KVLVector3>& vertices = mesh.GetVertices(0);
    const KVLArray<KVLVector3>& vertexNormals = mesh.GetVertexNormals(0);
    const KVLArray<KVLVector3>& faceNormals = mesh.GetFaceNormals(0);
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
// current ones when a vertex arrives, as in immediate mode.
struct ArraySink {
    ZRNMeshArrays& out;
    bool textured;
    float normal[3] = {0.0f, 0.0f, 1.0f};
    float texCoord[2] = {0.0f, 0.0f};
    void Normal(const float* n) { normal[0] = n[0], normal[1] = n[1], normal[2] = n[2]; }
    void TexCoord(const float* t) { texCoord[0] = t[0], texCoord[1] = t[1]; }
    void Vertex(const float* v) {
        out.positions.insert(out.positions.end(), v, v + 3);
        out.normals.insert(out.normals.end(), normal, normal + 3);
        if (textured) {
            out.texCoords.insert(out.texCoords.end(), texCoord, texCoord + 2);
        }
    }
};
}  // namespace zrn_detail

// Replaces the arrays' contents with the mesh drawn by the routine (keeping their
// storage, so a mesh that changes every frame reuses it).
inline void ZRNBuildMeshArrays(ZRNDrawRoutine routine, const ZRNMesh& mesh, ZRNMeshArrays& arrays) {
    arrays.Clear();
    const bool textured = routine == ZRNDrawRoutine::TexturedFlat || routine == ZRNDrawRoutine::TexturedSmooth;
    zrn_detail::ArraySink sink{arrays, textured};
    ZRNDrawMeshWith(routine, mesh, sink);
}
