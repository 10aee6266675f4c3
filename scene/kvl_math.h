// The engine's small linear-algebra kit: a three-float vector, an affine 3x4
// transform, a 4x4 matrix for handing transforms to OpenGL, and a rotation
// quaternion with spherical interpolation.
//
// Row-vector convention throughout: a point p becomes p x L + t, so the product
// A.B applies A first, then B. Angles are in radians. Everything is 32-bit float
// and by value; nothing allocates. Where a formula keeps an intermediate in double
// precision (slerp's angle), the code says so: every result is rounded at fixed
// points, so that keyframed poses come out the same bit for bit on every build.
#pragma once

#include <cmath>

struct KVLVector3 {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;

    constexpr KVLVector3() = default;
    constexpr KVLVector3(float vx, float vy, float vz) : x(vx), y(vy), z(vz) {}

    // Named constants. Constant-initialised, so they are ready before any static
    // constructor of another unit could read them.
    static const KVLVector3 Zero;
    static const KVLVector3 Origin;  // the second zero vector
    static const KVLVector3 UnitX;
    static const KVLVector3 UnitY;
    static const KVLVector3 UnitZ;
    // The two shared colours.
    static const KVLVector3 White;
    static const KVLVector3 Black;

    constexpr KVLVector3 operator+(const KVLVector3& o) const { return {x + o.x, y + o.y, z + o.z}; }
    constexpr KVLVector3 operator-(const KVLVector3& o) const { return {x - o.x, y - o.y, z - o.z}; }
    constexpr KVLVector3 operator-() const { return {-x, -y, -z}; }
    constexpr KVLVector3 operator*(float f) const { return {x * f, y * f, z * f}; }
    KVLVector3& operator+=(const KVLVector3& o) {
        x += o.x;
        y += o.y;
        z += o.z;
        return *this;
    }
    constexpr bool operator==(const KVLVector3& o) const { return x == o.x && y == o.y && z == o.z; }

    // Inline: mesh normals call these for every vertex and face of every frame.
    float Length() const { return std::sqrt(x * x + y * y + z * z); }
    // This vector divided by its length; a zero vector stays zero.
    KVLVector3 Normalized() const {
        const float len = Length();
        if (len == 0.0f) {
            return *this;
        }
        return {x / len, y / len, z / len};
    }
};

inline constexpr KVLVector3 KVLVector3::Zero{0.0f, 0.0f, 0.0f};
inline constexpr KVLVector3 KVLVector3::Origin{0.0f, 0.0f, 0.0f};
inline constexpr KVLVector3 KVLVector3::UnitX{1.0f, 0.0f, 0.0f};
inline constexpr KVLVector3 KVLVector3::UnitY{0.0f, 1.0f, 0.0f};
inline constexpr KVLVector3 KVLVector3::UnitZ{0.0f, 0.0f, 1.0f};
inline constexpr KVLVector3 KVLVector3::White{1.0f, 1.0f, 1.0f};
inline constexpr KVLVector3 KVLVector3::Black{0.0f, 0.0f, 0.0f};

constexpr KVLVector3 KVLCross(const KVLVector3& a, const KVLVector3& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

constexpr float KVLDot(const KVLVector3& a, const KVLVector3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

// a + f.(b - a), per component: the interpolation of every keyframed vector.
constexpr KVLVector3 KVLLerp(const KVLVector3& a, const KVLVector3& b, float f) {
    return {a.x + f * (b.x - a.x), a.y + f * (b.y - a.y), a.z + f * (b.z - a.z)};
}

// Affine transform: m[0..8] the linear part by rows, m[9..11] the translation.
struct KVLMatrix34 {
    float m[12] = {1.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f};

    // Element (row, column) of the linear part.
    float& At(int row, int column) { return m[row * 3 + column]; }
    float At(int row, int column) const { return m[row * 3 + column]; }
    KVLVector3 GetTranslation() const { return {m[9], m[10], m[11]}; }

    static KVLMatrix34 Identity() { return {}; }
    static KVLMatrix34 Translation(float x, float y, float z);
    static KVLMatrix34 Translation(const KVLVector3& t) { return Translation(t.x, t.y, t.z); }
    static KVLMatrix34 Scale(float sx, float sy, float sz);
    static KVLMatrix34 RotationX(float a);
    static KVLMatrix34 RotationY(float a);
    static KVLMatrix34 RotationZ(float a);

    // Same linear part, zero translation.
    KVLMatrix34 LinearPart() const;
    // A.B: A first, then B.
    static KVLMatrix34 Product(const KVLMatrix34& a, const KVLMatrix34& b);
    // this := this.B
    KVLMatrix34& PostMultiply(const KVLMatrix34& b);
    // Rotation by quaternion slerp of the two linear parts, translation by lerp.
    static KVLMatrix34 Interpolate(const KVLMatrix34& a, const KVLMatrix34& b, float f);

    // p x L + t for a row vector p.
    KVLVector3 Apply(const KVLVector3& p) const;

    bool operator==(const KVLMatrix34& o) const;
};

// 4x4 matrix by rows; its memory order is what glLoadMatrixf expects.
struct KVLMatrix44 {
    float m[16] = {1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f,
                   0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f};

    static KVLMatrix44 Identity() { return {}; }
    // P times M, M taken as the 4x4 matrix with rows (row 0, 0), (row 1, 0),
    // (row 2, 0), (t, 1). Column 3 of the result is P's column 3.
    static KVLMatrix44 Product(const KVLMatrix44& p, const KVLMatrix34& m);
    // The conversion the renderer uses: Product(Identity(), m).
    static KVLMatrix44 From(const KVLMatrix34& m) { return Product(Identity(), m); }
    // A.B in full: A first, then B (OpenGL's glMultMatrix(B) on a current A is B.A).
    static KVLMatrix44 Product(const KVLMatrix44& a, const KVLMatrix44& b);
    // OpenGL's perspective projection: vertical field of view in degrees, width over
    // height, distances of the near and far planes (both positive). Evaluated in
    // double precision and rounded once, as GLU does.
    static KVLMatrix44 Perspective(double fovYDegrees, double aspect, double zNear, double zFar);
    // OpenGL's look-at view: the eye at eye looking towards centre, up projected to
    // the screen's vertical. Degenerate input (centre at eye, up along the view)
    // gives a matrix with zero rows, as GLU's does.
    static KVLMatrix44 LookAt(const KVLVector3& eye, const KVLVector3& centre, const KVLVector3& up);
    // The point p (w = 1) and the direction d (w = 0) through the matrix, row vector
    // times matrix; the point's w is dropped.
    KVLVector3 ApplyPoint(const KVLVector3& p) const;
    KVLVector3 ApplyDirection(const KVLVector3& d) const;
    // The matrix that carries normals when this one carries points: the inverse
    // transpose of the upper-left 3x3 (as OpenGL transforms normals), rows of three
    // in this file's row-vector convention: the cofactors over the determinant, so
    // that n' . (n through the matrix) = |n|^2 under a mirror too. A singular matrix
    // gives the cofactors alone.
    void NormalMatrix(float out[9]) const;
};

struct KVLQuaternion {
    float w = 1.0f;
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;

    void Set(float qw, float qx, float qy, float qz) {
        w = qw;
        x = qx;
        y = qy;
        z = qz;
    }
    KVLQuaternion operator+(const KVLQuaternion& o) const { return {w + o.w, x + o.x, y + o.y, z + o.z}; }
    bool operator==(const KVLQuaternion& o) const { return w == o.w && x == o.x && y == o.y && z == o.z; }

    // From the linear part of m (its translation is ignored).
    static KVLQuaternion FromMatrix(const KVLMatrix34& m);
    // Rotation matrix with zero translation; the quaternion is used as it is, not
    // normalised first.
    KVLMatrix34 ToMatrix() const;
    static KVLQuaternion Slerp(const KVLQuaternion& q0, const KVLQuaternion& q1, float f);
};
