// The articulated bodies the characters are made of: a skeleton of bones with
// rest joint positions, rigid parts built as lathe shapes (rings of elliptical
// cross-section along an axis, closed by poles) hung on the bones, a texture
// atlas cell per part, and posing by per-bone rotations. Model axes are those of
// an MD2 player: x forward, y left, z up, soles at z = -24.
#pragma once

#include <array>
#include <string>
#include <vector>

struct Vec3 {
    float x = 0.0f, y = 0.0f, z = 0.0f;
};

inline Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vec3 operator*(Vec3 a, float s) { return {a.x * s, a.y * s, a.z * s}; }
inline float Dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline Vec3 Cross(Vec3 a, Vec3 b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

struct Mat3 {
    std::array<float, 9> m{1, 0, 0, 0, 1, 0, 0, 0, 1};  // row major
    Vec3 operator*(Vec3 v) const
    {
        return {m[0] * v.x + m[1] * v.y + m[2] * v.z, m[3] * v.x + m[4] * v.y + m[5] * v.z,
                m[6] * v.x + m[7] * v.y + m[8] * v.z};
    }
    Mat3 operator*(const Mat3& o) const;
};

// Rotation about z by r.z, after rotation about y by r.y, after rotation about x
// by r.x (radians, counter-clockwise seen from the positive end of each axis).
Mat3 EulerMatrix(Vec3 r);

struct Bone {
    std::string name;
    int parent = -1;  // parents come before their children
    Vec3 joint;       // rest position of the joint, model space
};

// One cross-section of a lathe part. A ring with both radii 0 is a pole (only
// allowed first or last). The centre may be pushed off the axis along the side
// direction (shiftSide) and the third direction (shiftThird).
struct Ring {
    float along = 0.0f;
    float rSide = 0.0f;
    float rThird = 0.0f;
    float shiftSide = 0.0f;
    float shiftThird = 0.0f;
};

struct PartSpec {
    int bone = 0;
    Vec3 origin;          // rest position of along = 0
    Vec3 axis{0, 0, 1};   // unit direction of the profile
    Vec3 side{1, 0, 0};   // unit direction of angle 0, perpendicular to axis
    int sides = 8;
    std::vector<Ring> rings;
    int paint = 0;        // which painter fills its atlas cell
    int cellWidth = 32;   // requested atlas cell, pixels (a multiple of sides)
    int cellHeight = 32;
    int shareCellOf = -1; // index of an earlier part whose cell (and painter) it reuses
};

struct Body {
    std::vector<Bone> bones;
    std::vector<PartSpec> parts;
    int BoneIndex(const std::string& name) const;  // -1 if none
};

struct CellRect {
    int x = 0, y = 0, w = 0, h = 0;
};

// Where a part's surface lies in the skin. Around the part u runs 0..1 with
// u = 0.5 on the side direction (the front for most parts); along it v runs 0..1
// from the first ring to the last, spaced by the profile's length.
struct PartLayout {
    CellRect cell;
    int paint = 0;
    int part = 0;
};

struct RigVertex {
    int bone = 0;
    Vec3 rest;
};

struct RigTriangle {
    std::array<int, 3> v{};  // counter-clockwise seen from outside
    std::array<int, 3> t{};
};

struct Rig {
    Body body;
    std::vector<RigVertex> vertices;
    std::vector<std::array<int, 2>> texCoords;  // skin pixels
    std::vector<RigTriangle> triangles;
    std::vector<PartLayout> layout;              // one per part with its own cell
};

// Builds the mesh of every part and packs their cells into a skin of the given
// size (shelves, tallest cells first, 2-pixel gutters). Returns false if the
// cells do not fit or a part is malformed.
bool BuildRig(const Body& body, int skinWidth, int skinHeight, Rig& rig, std::string* error);

// Length of a part's profile from the first ring to each ring, one entry per
// ring; the radii count by their mean change.
std::vector<float> ProfileLengths(const PartSpec& part);

// Per-bone local rotations (Euler angles as EulerMatrix takes them) plus the
// root's placement; lift raises the whole figure above the ground.
struct Pose {
    Vec3 rootOffset;
    Vec3 rootRotation;
    std::vector<Vec3> rotation;  // one per bone
    float lift = 0.0f;
};

Pose RestPose(const Body& body);
Pose BlendPoses(const Pose& a, const Pose& b, float t);

// Vertex positions of the posed rig. The figure is then moved up or down so its
// lowest point lies at z = -24 + pose.lift.
std::vector<Vec3> PoseVertices(const Rig& rig, const Pose& pose);
