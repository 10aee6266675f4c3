// Skeleton posing, lathe meshing and atlas packing for the generated characters.

#include "assets/characters/rig.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr float kPi = 3.14159265358979f;
constexpr int kGutter = 2;
constexpr float kGround = -24.0f;

Vec3 Normalised(Vec3 v)
{
    const float len = std::sqrt(Dot(v, v));
    return len > 0.0f ? v * (1.0f / len) : v;
}

bool IsPole(const Ring& r) { return r.rSide == 0.0f && r.rThird == 0.0f; }

bool Fail(std::string* error, const std::string& text)
{
    if (error)
        *error = text;
    return false;
}

// Packs the cells of the parts that have their own into shelves, tallest cells
// first, each into the first shelf with room; parts sharing a cell get the
// cell of the part they name. Returns an empty string or what went wrong.
std::string PackCells(const Body& body, int skinWidth, int skinHeight, std::vector<CellRect>& cells)
{
    cells.assign(body.parts.size(), CellRect{});
    std::vector<size_t> order;
    for (size_t p = 0; p < body.parts.size(); ++p) {
        const int share = body.parts[p].shareCellOf;
        if (share >= static_cast<int>(p))
            return "a part shares the cell of a later part";
        if (share < 0)
            order.push_back(p);
    }
    std::stable_sort(order.begin(), order.end(), [&body](size_t a, size_t b) {
        return body.parts[a].cellHeight > body.parts[b].cellHeight;
    });
    struct Shelf {
        int y, height, used;
    };
    std::vector<Shelf> shelves;
    int bottom = 0;
    for (size_t p : order) {
        const int w = body.parts[p].cellWidth + 2 * kGutter, h = body.parts[p].cellHeight + 2 * kGutter;
        Shelf* home = nullptr;
        for (Shelf& s : shelves)
            if (s.height >= h && s.used + w <= skinWidth) {
                home = &s;
                break;
            }
        if (!home) {
            if (bottom + h > skinHeight || w > skinWidth)
                return "part cells do not fit in the skin";
            shelves.push_back({bottom, h, 0});
            bottom += h;
            home = &shelves.back();
        }
        cells[p] = {home->used + kGutter, home->y + kGutter, body.parts[p].cellWidth, body.parts[p].cellHeight};
        home->used += w;
    }
    for (size_t p = 0; p < body.parts.size(); ++p) {
        const int share = body.parts[p].shareCellOf;
        if (share >= 0)
            cells[p] = cells[static_cast<size_t>(share)];
    }
    return {};
}

// An empty string, or why part p cannot be meshed.
std::string PartProblem(const Body& body, size_t p)
{
    const PartSpec& spec = body.parts[p];
    const size_t n = spec.rings.size();
    if (n < 3 || spec.sides < 3 || spec.bone < 0 || spec.bone >= static_cast<int>(body.bones.size()))
        return "part " + std::to_string(p) + " is malformed";
    for (size_t i = 1; i + 1 < n; ++i)
        if (IsPole(spec.rings[i]))
            return "part " + std::to_string(p) + " has a pole inside";
    return {};
}

// Vertex and texture coordinate ids of each ring of a part: one vertex per pole
// (repeated for every side), sides per ring.
struct RingIds {
    std::vector<std::vector<int>> vertex;
    std::vector<std::vector<int>> texCoord;
};

// Adds a part's vertices and texture coordinates to the rig and returns their
// ids and the centre of its vertices. Texture coordinates form a full
// (sides + 1)-column grid so that the seam gets its own column; rows are
// spaced by the profile's length.
Vec3 AddPartVertices(const PartSpec& spec, const CellRect& cell, Rig& rig, RingIds& ids)
{
    const size_t n = spec.rings.size();
    const Vec3 axis = Normalised(spec.axis);
    const Vec3 side = Normalised(spec.side - axis * Dot(spec.side, axis));
    const Vec3 third = Cross(axis, side);

    std::vector<float> v = ProfileLengths(spec);
    for (float& f : v)
        f /= v.back() > 0.0f ? v.back() : 1.0f;

    ids.vertex.assign(n, {});
    ids.texCoord.assign(n, {});
    Vec3 centre;
    int count = 0;
    for (size_t i = 0; i < n; ++i) {
        const Ring& r = spec.rings[i];
        const Vec3 c = spec.origin + axis * r.along + side * r.shiftSide + third * r.shiftThird;
        if (IsPole(r)) {
            ids.vertex[i].assign(static_cast<size_t>(spec.sides), static_cast<int>(rig.vertices.size()));
            rig.vertices.push_back({spec.bone, c});
            centre = centre + c;
            ++count;
        } else {
            for (int j = 0; j < spec.sides; ++j) {
                const float th = kPi + 2.0f * kPi * static_cast<float>(j) / static_cast<float>(spec.sides);
                const Vec3 pos = c + side * (std::cos(th) * r.rSide) + third * (std::sin(th) * r.rThird);
                ids.vertex[i].push_back(static_cast<int>(rig.vertices.size()));
                rig.vertices.push_back({spec.bone, pos});
                centre = centre + pos;
                ++count;
            }
        }
        for (int j = 0; j <= spec.sides; ++j) {
            const int s = cell.x + (cell.w * j) / spec.sides;
            const int t = cell.y + static_cast<int>(std::lround(v[i] * static_cast<float>(cell.h)));
            ids.texCoord[i].push_back(static_cast<int>(rig.texCoords.size()));
            rig.texCoords.push_back({s, t});
        }
    }
    return centre * (1.0f / static_cast<float>(count));
}

// Two triangles per quad between neighbouring rings, one next to a pole.
void AddPartTriangles(const PartSpec& spec, const RingIds& ids, Rig& rig)
{
    const auto& vid = ids.vertex;
    const auto& tid = ids.texCoord;
    for (size_t i = 0; i + 1 < spec.rings.size(); ++i) {
        for (int j = 0; j < spec.sides; ++j) {
            const size_t j1 = static_cast<size_t>(j + 1) % static_cast<size_t>(spec.sides);
            const size_t jj = static_cast<size_t>(j);
            const int a = vid[i][jj], b = vid[i][j1], c = vid[i + 1][j1], d = vid[i + 1][jj];
            const int ta = tid[i][jj], tb = tid[i][jj + 1], tc = tid[i + 1][jj + 1], td = tid[i + 1][jj];
            if (!IsPole(spec.rings[i + 1]))
                rig.triangles.push_back({{a, c, d}, {ta, tc, td}});
            if (!IsPole(spec.rings[i]))
                rig.triangles.push_back({{a, b, c}, {ta, tb, tc}});
        }
    }
}

// Orients the triangles from first on outward: their signed volume about the
// part's centre must be positive.
void OrientOutward(Rig& rig, size_t first, Vec3 centre)
{
    float volume = 0.0f;
    for (size_t k = first; k < rig.triangles.size(); ++k) {
        const RigTriangle& t = rig.triangles[k];
        const Vec3 pa = rig.vertices[static_cast<size_t>(t.v[0])].rest - centre;
        const Vec3 pb = rig.vertices[static_cast<size_t>(t.v[1])].rest - centre;
        const Vec3 pc = rig.vertices[static_cast<size_t>(t.v[2])].rest - centre;
        volume += Dot(pa, Cross(pb, pc));
    }
    if (volume < 0.0f)
        for (size_t k = first; k < rig.triangles.size(); ++k) {
            std::swap(rig.triangles[k].v[1], rig.triangles[k].v[2]);
            std::swap(rig.triangles[k].t[1], rig.triangles[k].t[2]);
        }
}

}  // namespace

Mat3 Mat3::operator*(const Mat3& o) const
{
    Mat3 r;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            r.m[i * 3 + j] = m[i * 3] * o.m[j] + m[i * 3 + 1] * o.m[3 + j] + m[i * 3 + 2] * o.m[6 + j];
    return r;
}

Mat3 EulerMatrix(Vec3 r)
{
    const float cx = std::cos(r.x), sx = std::sin(r.x);
    const float cy = std::cos(r.y), sy = std::sin(r.y);
    const float cz = std::cos(r.z), sz = std::sin(r.z);
    Mat3 rx, ry, rz;
    rx.m = {1, 0, 0, 0, cx, -sx, 0, sx, cx};
    ry.m = {cy, 0, sy, 0, 1, 0, -sy, 0, cy};
    rz.m = {cz, -sz, 0, sz, cz, 0, 0, 0, 1};
    return rz * (ry * rx);
}

int Body::BoneIndex(const std::string& name) const
{
    for (size_t i = 0; i < bones.size(); ++i)
        if (bones[i].name == name)
            return static_cast<int>(i);
    return -1;
}

bool BuildRig(const Body& body, int skinWidth, int skinHeight, Rig& rig, std::string* error)
{
    rig = Rig{};
    rig.body = body;

    std::vector<CellRect> cells;
    if (const std::string problem = PackCells(body, skinWidth, skinHeight, cells); !problem.empty())
        return Fail(error, problem);
    for (size_t p = 0; p < body.parts.size(); ++p)
        if (body.parts[p].shareCellOf < 0)
            rig.layout.push_back({cells[p], body.parts[p].paint, static_cast<int>(p)});

    for (size_t p = 0; p < body.parts.size(); ++p) {
        if (const std::string problem = PartProblem(body, p); !problem.empty())
            return Fail(error, problem);
        const PartSpec& spec = body.parts[p];
        RingIds ids;
        const Vec3 centre = AddPartVertices(spec, cells[p], rig, ids);
        const size_t first = rig.triangles.size();
        AddPartTriangles(spec, ids, rig);
        OrientOutward(rig, first, centre);
    }
    return true;
}

std::vector<float> ProfileLengths(const PartSpec& part)
{
    const size_t n = part.rings.size();
    std::vector<float> len(n, 0.0f);
    for (size_t i = 1; i < n; ++i) {
        const Ring& a = part.rings[i - 1];
        const Ring& b = part.rings[i];
        const float dr = 0.5f * ((b.rSide - a.rSide) + (b.rThird - a.rThird));
        const float da = b.along - a.along;
        len[i] = len[i - 1] + std::sqrt(da * da + dr * dr);
    }
    return len;
}

Pose RestPose(const Body& body)
{
    Pose p;
    p.rotation.assign(body.bones.size(), Vec3{});
    return p;
}

Pose BlendPoses(const Pose& a, const Pose& b, float t)
{
    auto mix = [t](Vec3 x, Vec3 y) { return x + (y - x) * t; };
    Pose r;
    r.rootOffset = mix(a.rootOffset, b.rootOffset);
    r.rootRotation = mix(a.rootRotation, b.rootRotation);
    r.lift = a.lift + (b.lift - a.lift) * t;
    r.rotation.resize(a.rotation.size());
    for (size_t i = 0; i < a.rotation.size(); ++i)
        r.rotation[i] = mix(a.rotation[i], i < b.rotation.size() ? b.rotation[i] : Vec3{});
    return r;
}

std::vector<Vec3> PoseVertices(const Rig& rig, const Pose& pose)
{
    const std::vector<Bone>& bones = rig.body.bones;
    std::vector<Mat3> rot(bones.size());
    std::vector<Vec3> pos(bones.size());
    for (size_t b = 0; b < bones.size(); ++b) {
        const Vec3 local = b < pose.rotation.size() ? pose.rotation[b] : Vec3{};
        if (bones[b].parent < 0) {
            rot[b] = EulerMatrix(pose.rootRotation) * EulerMatrix(local);
            pos[b] = bones[b].joint + pose.rootOffset;
        } else {
            const size_t parent = static_cast<size_t>(bones[b].parent);
            rot[b] = rot[parent] * EulerMatrix(local);
            pos[b] = pos[parent] + rot[parent] * (bones[b].joint - bones[parent].joint);
        }
    }
    std::vector<Vec3> out;
    out.reserve(rig.vertices.size());
    float lowest = 1e9f;
    for (const RigVertex& v : rig.vertices) {
        const size_t b = static_cast<size_t>(v.bone);
        const Vec3 p = pos[b] + rot[b] * (v.rest - bones[b].joint);
        lowest = std::min(lowest, p.z);
        out.push_back(p);
    }
    const float shift = kGround + pose.lift - lowest;
    for (Vec3& p : out)
        p.z += shift;
    return out;
}
