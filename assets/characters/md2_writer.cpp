// MD2 writer. The file layout: a 68-byte header, then skins (64-byte names),
// texture coordinates (2 × int16), triangles (6 × uint16), frames (scale,
// translate, 16-byte name, 4 bytes per vertex) and GL commands, in that order.
// The GL command list holds one three-vertex strip per triangle, which every
// reader can draw, followed by the terminating 0.

#include "assets/characters/md2_writer.h"

#include "assets/characters/md2_normals.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr size_t kHeaderSize = 68;
constexpr size_t kSkinNameSize = 64;
constexpr size_t kFrameNameSize = 16;
constexpr size_t kMaxVertices = 2048;
constexpr size_t kMaxTriangles = 4096;
constexpr size_t kMaxFrames = 512;
constexpr size_t kMaxSkins = 32;

void PutU8(std::vector<uint8_t>& out, uint8_t v) { out.push_back(v); }

void PutU16(std::vector<uint8_t>& out, uint16_t v)
{
    out.push_back(static_cast<uint8_t>(v & 0xFF));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

void PutU32(std::vector<uint8_t>& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>((v >> (8 * i)) & 0xFF));
}

void PutS32(std::vector<uint8_t>& out, int32_t v) { PutU32(out, static_cast<uint32_t>(v)); }

void PutF32(std::vector<uint8_t>& out, float v)
{
    uint32_t bits = 0;
    std::memcpy(&bits, &v, sizeof bits);
    PutU32(out, bits);
}

void PutName(std::vector<uint8_t>& out, const std::string& name, size_t size)
{
    for (size_t i = 0; i < size; ++i)
        out.push_back(i < name.size() ? static_cast<uint8_t>(name[i]) : 0);
}

bool Fail(std::string* error, const char* text)
{
    if (error)
        *error = text;
    return false;
}

bool Validate(const Md2Model& m, std::string* error)
{
    if (m.skinWidth <= 0 || m.skinHeight <= 0)
        return Fail(error, "skin size must be positive");
    if (m.frames.empty() || m.frames.size() > kMaxFrames)
        return Fail(error, "frame count out of range");
    if (m.skins.size() > kMaxSkins)
        return Fail(error, "too many skins");
    for (const std::string& s : m.skins)
        if (s.size() >= kSkinNameSize)
            return Fail(error, "skin name too long");
    const size_t vertexCount = m.frames[0].vertices.size();
    if (vertexCount == 0 || vertexCount > kMaxVertices)
        return Fail(error, "vertex count out of range");
    if (m.triangles.empty() || m.triangles.size() > kMaxTriangles)
        return Fail(error, "triangle count out of range");
    for (const Md2Frame& f : m.frames) {
        if (f.vertices.size() != vertexCount)
            return Fail(error, "frames differ in vertex count");
        if (f.name.size() >= kFrameNameSize)
            return Fail(error, "frame name too long");
        for (const Md2Vec3& v : f.vertices)
            if (!std::isfinite(v.x) || !std::isfinite(v.y) || !std::isfinite(v.z))
                return Fail(error, "vertex is not finite");
    }
    for (const Md2Triangle& t : m.triangles)
        for (int k = 0; k < 3; ++k)
            if (t.vertex[k] >= vertexCount || t.texCoord[k] >= m.texCoords.size())
                return Fail(error, "triangle index out of range");
    return true;
}

// Vertex normals of one frame: the area-weighted sum of the outward normals of
// the triangles around each vertex. For clockwise front faces the outward normal
// of (a, b, c) is (c - a) × (b - a); for counter-clockwise ones its opposite.
std::vector<Md2Vec3> FrameNormals(const Md2Model& m, const Md2Frame& f)
{
    std::vector<Md2Vec3> n(f.vertices.size());
    for (const Md2Triangle& t : m.triangles) {
        const Md2Vec3& a = f.vertices[t.vertex[0]];
        const Md2Vec3& b = f.vertices[t.vertex[1]];
        const Md2Vec3& c = f.vertices[t.vertex[2]];
        const float ux = c.x - a.x, uy = c.y - a.y, uz = c.z - a.z;
        const float vx = b.x - a.x, vy = b.y - a.y, vz = b.z - a.z;
        const float sign = m.frontClockwise ? 1.0f : -1.0f;
        const float nx = sign * (uy * vz - uz * vy);
        const float ny = sign * (uz * vx - ux * vz);
        const float nz = sign * (ux * vy - uy * vx);
        for (int k = 0; k < 3; ++k) {
            Md2Vec3& s = n[t.vertex[k]];
            s.x += nx;
            s.y += ny;
            s.z += nz;
        }
    }
    return n;
}

uint8_t Quantise(float v, float lo, float scale)
{
    if (scale <= 0.0f)
        return 0;
    const float q = std::round((v - lo) / scale);
    return static_cast<uint8_t>(std::clamp(q, 0.0f, 255.0f));
}

}  // namespace

std::vector<uint8_t> WriteMd2(const Md2Model& m, std::string* error)
{
    if (!Validate(m, error))
        return {};

    const size_t vertexCount = m.frames[0].vertices.size();
    const size_t frameSize = 40 + 4 * vertexCount;
    const size_t glWords = m.triangles.size() * (1 + 3 * 3) + 1;

    const size_t ofsSkins = kHeaderSize;
    const size_t ofsTexCoords = ofsSkins + kSkinNameSize * m.skins.size();
    const size_t ofsTriangles = ofsTexCoords + 4 * m.texCoords.size();
    const size_t ofsFrames = ofsTriangles + 12 * m.triangles.size();
    const size_t ofsGl = ofsFrames + frameSize * m.frames.size();
    const size_t ofsEnd = ofsGl + 4 * glWords;

    std::vector<uint8_t> out;
    out.reserve(ofsEnd);
    const char magic[4] = {'I', 'D', 'P', '2'};
    for (char c : magic)
        PutU8(out, static_cast<uint8_t>(c));
    PutS32(out, 8);
    PutS32(out, m.skinWidth);
    PutS32(out, m.skinHeight);
    PutS32(out, static_cast<int32_t>(frameSize));
    PutS32(out, static_cast<int32_t>(m.skins.size()));
    PutS32(out, static_cast<int32_t>(vertexCount));
    PutS32(out, static_cast<int32_t>(m.texCoords.size()));
    PutS32(out, static_cast<int32_t>(m.triangles.size()));
    PutS32(out, static_cast<int32_t>(glWords));
    PutS32(out, static_cast<int32_t>(m.frames.size()));
    PutS32(out, static_cast<int32_t>(ofsSkins));
    PutS32(out, static_cast<int32_t>(ofsTexCoords));
    PutS32(out, static_cast<int32_t>(ofsTriangles));
    PutS32(out, static_cast<int32_t>(ofsFrames));
    PutS32(out, static_cast<int32_t>(ofsGl));
    PutS32(out, static_cast<int32_t>(ofsEnd));

    for (const std::string& s : m.skins)
        PutName(out, s, kSkinNameSize);
    for (const auto& st : m.texCoords) {
        PutU16(out, static_cast<uint16_t>(st[0]));
        PutU16(out, static_cast<uint16_t>(st[1]));
    }
    for (const Md2Triangle& t : m.triangles) {
        for (uint16_t v : t.vertex)
            PutU16(out, v);
        for (uint16_t v : t.texCoord)
            PutU16(out, v);
    }

    for (const Md2Frame& f : m.frames) {
        Md2Vec3 lo = f.vertices[0], hi = f.vertices[0];
        for (const Md2Vec3& v : f.vertices) {
            lo.x = std::min(lo.x, v.x), lo.y = std::min(lo.y, v.y), lo.z = std::min(lo.z, v.z);
            hi.x = std::max(hi.x, v.x), hi.y = std::max(hi.y, v.y), hi.z = std::max(hi.z, v.z);
        }
        const Md2Vec3 scale{(hi.x - lo.x) / 255.0f, (hi.y - lo.y) / 255.0f, (hi.z - lo.z) / 255.0f};
        PutF32(out, scale.x);
        PutF32(out, scale.y);
        PutF32(out, scale.z);
        PutF32(out, lo.x);
        PutF32(out, lo.y);
        PutF32(out, lo.z);
        PutName(out, f.name, kFrameNameSize);
        const std::vector<Md2Vec3> normals = FrameNormals(m, f);
        for (size_t i = 0; i < vertexCount; ++i) {
            const Md2Vec3& v = f.vertices[i];
            PutU8(out, Quantise(v.x, lo.x, scale.x));
            PutU8(out, Quantise(v.y, lo.y, scale.y));
            PutU8(out, Quantise(v.z, lo.z, scale.z));
            PutU8(out, static_cast<uint8_t>(NearestMd2Normal(normals[i].x, normals[i].y, normals[i].z)));
        }
    }

    // One strip of three vertices per triangle; strips keep the triangle's own
    // winding. Texture coordinates here are floats in 0..1.
    for (const Md2Triangle& t : m.triangles) {
        PutS32(out, 3);
        for (int k = 0; k < 3; ++k) {
            const auto& st = m.texCoords[t.texCoord[k]];
            PutF32(out, (static_cast<float>(st[0]) + 0.5f) / static_cast<float>(m.skinWidth));
            PutF32(out, (static_cast<float>(st[1]) + 0.5f) / static_cast<float>(m.skinHeight));
            PutS32(out, t.vertex[k]);
        }
    }
    PutS32(out, 0);

    if (error)
        error->clear();
    return out;
}
