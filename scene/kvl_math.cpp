// Vector, transform and quaternion operations. The trigonometric functions are
// evaluated in double precision and rounded once to float, which gives the same
// float on every C library (single-precision sinf/cosf may differ in the last bit).
#include "scene/kvl_math.h"

#include <cmath>

namespace {

float Sin(float a) { return static_cast<float>(std::sin(static_cast<double>(a))); }
float Cos(float a) { return static_cast<float>(std::cos(static_cast<double>(a))); }

// Below this squared-trace value the direct formula loses precision and the
// quaternion is taken from the largest diagonal entry instead (2^-23).
constexpr float kTraceEpsilon = 1.1920929e-7f;
// Slerp falls back to a straight blend from this cosine on: 1 - 2^-23, the
// largest float below 1.0 but one.
constexpr float kSlerpLinear = 1.0f - 0x1p-23f;

}  // namespace

KVLMatrix34 KVLMatrix34::Translation(float x, float y, float z) {
    KVLMatrix34 r;
    r.m[9] = x;
    r.m[10] = y;
    r.m[11] = z;
    return r;
}

KVLMatrix34 KVLMatrix34::Scale(float sx, float sy, float sz) {
    KVLMatrix34 r;
    r.m[0] = sx;
    r.m[4] = sy;
    r.m[8] = sz;
    return r;
}

namespace {

// A rotation by a about one axis: the other two, j then k (in the order x, y, z, x),
// turn as c, s over -s, c.
KVLMatrix34 AxisRotation(int j, int k, float a) {
    const float c = Cos(a);
    const float s = Sin(a);
    KVLMatrix34 r;
    r.m[j * 3 + j] = c;
    r.m[j * 3 + k] = s;
    r.m[k * 3 + j] = -s;
    r.m[k * 3 + k] = c;
    return r;
}

}  // namespace

KVLMatrix34 KVLMatrix34::RotationX(float a) { return AxisRotation(1, 2, a); }

KVLMatrix34 KVLMatrix34::RotationY(float a) { return AxisRotation(2, 0, a); }

KVLMatrix34 KVLMatrix34::RotationZ(float a) { return AxisRotation(0, 1, a); }

KVLMatrix34 KVLMatrix34::LinearPart() const {
    KVLMatrix34 r = *this;
    r.m[9] = r.m[10] = r.m[11] = 0.0f;
    return r;
}

KVLMatrix34 KVLMatrix34::Product(const KVLMatrix34& a, const KVLMatrix34& b) {
    KVLMatrix34 c;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            c.m[i * 3 + j] = a.At(i, 0) * b.At(0, j) + a.At(i, 1) * b.At(1, j) + a.At(i, 2) * b.At(2, j);
        }
    }
    for (int j = 0; j < 3; ++j) {
        c.m[9 + j] = a.m[9] * b.At(0, j) + a.m[10] * b.At(1, j) + a.m[11] * b.At(2, j) + b.m[9 + j];
    }
    return c;
}

KVLMatrix34& KVLMatrix34::PostMultiply(const KVLMatrix34& b) {
    *this = Product(*this, b);
    return *this;
}

KVLMatrix34 KVLMatrix34::Interpolate(const KVLMatrix34& a, const KVLMatrix34& b, float f) {
    const KVLQuaternion qa = KVLQuaternion::FromMatrix(a);
    const KVLQuaternion qb = KVLQuaternion::FromMatrix(b);
    KVLMatrix34 c = KVLQuaternion::Slerp(qa, qb, f).ToMatrix();
    const KVLVector3 t = KVLLerp(a.GetTranslation(), b.GetTranslation(), f);
    c.m[9] = t.x;
    c.m[10] = t.y;
    c.m[11] = t.z;
    return c;
}

KVLVector3 KVLMatrix34::Apply(const KVLVector3& p) const {
    return {p.x * m[0] + p.y * m[3] + p.z * m[6] + m[9], p.x * m[1] + p.y * m[4] + p.z * m[7] + m[10],
            p.x * m[2] + p.y * m[5] + p.z * m[8] + m[11]};
}

bool KVLMatrix34::operator==(const KVLMatrix34& o) const {
    for (int i = 0; i < 12; ++i) {
        if (m[i] != o.m[i]) {
            return false;
        }
    }
    return true;
}

KVLMatrix44 KVLMatrix44::Product(const KVLMatrix44& p, const KVLMatrix34& a) {
    KVLMatrix44 r;
    for (int i = 0; i < 4; ++i) {
        const float* row = &p.m[i * 4];
        for (int j = 0; j < 3; ++j) {
            r.m[i * 4 + j] = row[0] * a.At(0, j) + row[1] * a.At(1, j) + row[2] * a.At(2, j) + row[3] * a.m[9 + j];
        }
        r.m[i * 4 + 3] = row[3];
    }
    return r;
}

KVLMatrix44 KVLMatrix44::Product(const KVLMatrix44& a, const KVLMatrix44& b) {
    KVLMatrix44 r;
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            float sum = 0.0f;
            for (int k = 0; k < 4; ++k) {
                sum += a.m[i * 4 + k] * b.m[k * 4 + j];
            }
            r.m[i * 4 + j] = sum;
        }
    }
    return r;
}

KVLMatrix44 KVLMatrix44::Perspective(double fovYDegrees, double aspect, double zNear, double zFar) {
    const double half = fovYDegrees * 0.5 * 3.14159265358979323846 / 180.0;
    const double depth = zFar - zNear;
    const double sine = std::sin(half);
    KVLMatrix44 r;
    if (depth == 0.0 || sine == 0.0 || aspect == 0.0) {
        return r;
    }
    const double cotangent = std::cos(half) / sine;
    r.m[0] = static_cast<float>(cotangent / aspect);
    r.m[5] = static_cast<float>(cotangent);
    r.m[10] = static_cast<float>(-(zFar + zNear) / depth);
    r.m[11] = -1.0f;
    r.m[14] = static_cast<float>(-2.0 * zNear * zFar / depth);
    r.m[15] = 0.0f;
    return r;
}

KVLMatrix44 KVLMatrix44::LookAt(const KVLVector3& eye, const KVLVector3& centre, const KVLVector3& up) {
    auto normalise = [](double v[3]) {
        const double len = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
        if (len != 0.0) {
            v[0] /= len, v[1] /= len, v[2] /= len;
        }
    };
    auto cross = [](const double a[3], const double b[3], double out[3]) {
        out[0] = a[1] * b[2] - a[2] * b[1];
        out[1] = a[2] * b[0] - a[0] * b[2];
        out[2] = a[0] * b[1] - a[1] * b[0];
    };
    double forward[3] = {static_cast<double>(centre.x) - eye.x, static_cast<double>(centre.y) - eye.y,
                         static_cast<double>(centre.z) - eye.z};
    const double upward[3] = {up.x, up.y, up.z};
    normalise(forward);
    double side[3];
    cross(forward, upward, side);
    normalise(side);
    double top[3];
    cross(side, forward, top);
    const double e[3] = {eye.x, eye.y, eye.z};
    KVLMatrix44 r;
    for (int i = 0; i < 3; ++i) {
        r.m[i * 4 + 0] = static_cast<float>(side[i]);
        r.m[i * 4 + 1] = static_cast<float>(top[i]);
        r.m[i * 4 + 2] = static_cast<float>(-forward[i]);
    }
    // The rotation applied after the move of the eye to the origin.
    r.m[12] = static_cast<float>(-(side[0] * e[0] + side[1] * e[1] + side[2] * e[2]));
    r.m[13] = static_cast<float>(-(top[0] * e[0] + top[1] * e[1] + top[2] * e[2]));
    r.m[14] = static_cast<float>(forward[0] * e[0] + forward[1] * e[1] + forward[2] * e[2]);
    return r;
}

KVLVector3 KVLMatrix44::ApplyPoint(const KVLVector3& p) const {
    return {p.x * m[0] + p.y * m[4] + p.z * m[8] + m[12], p.x * m[1] + p.y * m[5] + p.z * m[9] + m[13],
            p.x * m[2] + p.y * m[6] + p.z * m[10] + m[14]};
}

KVLVector3 KVLMatrix44::ApplyDirection(const KVLVector3& d) const {
    return {d.x * m[0] + d.y * m[4] + d.z * m[8], d.x * m[1] + d.y * m[5] + d.z * m[9],
            d.x * m[2] + d.y * m[6] + d.z * m[10]};
}

void KVLMatrix44::NormalMatrix(float out[9]) const {
    // a: the upper-left 3x3 in rows. In the row-vector convention normals go through
    // the inverse transpose, which is the cofactor matrix over the determinant.
    const auto a = [this](int r, int c) { return static_cast<double>(m[r * 4 + c]); };
    double cof[9];
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            const int r1 = (r + 1) % 3, r2 = (r + 2) % 3, c1 = (c + 1) % 3, c2 = (c + 2) % 3;
            cof[r * 3 + c] = a(r1, c1) * a(r2, c2) - a(r1, c2) * a(r2, c1);
        }
    }
    const double det = a(0, 0) * cof[0] + a(0, 1) * cof[1] + a(0, 2) * cof[2];
    const double scale = det != 0.0 ? 1.0 / det : 1.0;
    for (int i = 0; i < 9; ++i) {
        out[i] = static_cast<float>(cof[i] * scale);
    }
}

KVLQuaternion KVLQuaternion::FromMatrix(const KVLMatrix34& mat) {
    const float* m = mat.m;
    KVLQuaternion q;
    const float s2 = m[0] + m[4] + m[8] + 1.0f;
    if (s2 > kTraceEpsilon) {
        const float s = std::sqrt(s2);
        const float g = 0.5f / s;
        q.w = 0.5f * s;
        q.x = (m[7] - m[5]) * g;
        q.y = (m[2] - m[6]) * g;
        q.z = (m[3] - m[1]) * g;
        return q;
    }
    // Near a half turn: start from the largest diagonal entry i (ties keep the earlier
    // one), with j and k the next two axes in the order x, y, z, x. The scalar part
    // comes out with the opposite sign convention of the branch above; it is within
    // about 2e-4 of zero here, so the rotation this describes is the same to that
    // precision.
    int i = 0;
    if (m[0] < m[4]) {
        i = 1;
    }
    if ((m[0] < m[4] ? m[4] : m[0]) < m[8]) {
        i = 2;
    }
    const int j = (i + 1) % 3;
    const int k = (i + 2) % 3;
    float* const axis[3] = {&q.x, &q.y, &q.z};
    const float s = std::sqrt(m[i * 4] - m[j * 4] - m[k * 4] + 1.0f);
    const float g = s != 0.0f ? 0.5f / s : 0.0f;
    *axis[i] = 0.5f * s;
    q.w = (m[j * 3 + k] - m[k * 3 + j]) * g;
    *axis[j] = (m[j * 3 + i] + m[i * 3 + j]) * g;
    *axis[k] = (m[k * 3 + i] + m[i * 3 + k]) * g;
    return q;
}

KVLMatrix34 KVLQuaternion::ToMatrix() const {
    KVLMatrix34 r;
    r.m[0] = 1.0f - 2.0f * (y * y + z * z);
    r.m[1] = 2.0f * (x * y - w * z);
    r.m[2] = 2.0f * (x * z + w * y);
    r.m[3] = 2.0f * (x * y + w * z);
    r.m[4] = 1.0f - 2.0f * (x * x + z * z);
    r.m[5] = 2.0f * (y * z - w * x);
    r.m[6] = 2.0f * (x * z - w * y);
    r.m[7] = 2.0f * (y * z + w * x);
    r.m[8] = 1.0f - 2.0f * (x * x + y * y);
    return r;
}

KVLQuaternion KVLQuaternion::Slerp(const KVLQuaternion& q0, const KVLQuaternion& q1In, float f) {
    KVLQuaternion q1 = q1In;
    float d = q1.w * q0.w + q1.x * q0.x + q1.y * q0.y + q1.z * q0.z;
    if (d < 0.0f) {
        q1 = {-q1.w, -q1.x, -q1.y, -q1.z};
        d = -d;
    }
    if (d >= kSlerpLinear) {
        return {q0.w + f * (q1.w - q0.w), q0.x + f * (q1.x - q0.x), q0.y + f * (q1.y - q0.y),
                q0.z + f * (q1.z - q0.z)};
    }
    // The angle stays in double; sin(theta) and f.theta are rounded to float, and
    // each weighted component is rounded to float before the sum.
    const double theta = std::acos(static_cast<double>(d));
    const float s = static_cast<float>(std::sin(theta));
    const float phi = static_cast<float>(static_cast<double>(f) * theta);
    const double a = std::sin(static_cast<double>(phi)) / s;
    const double b = std::sin(theta - phi) / s;
    auto mix = [a, b](float c0, float c1) {
        return static_cast<float>(b * c0) + static_cast<float>(a * c1);
    };
    return {mix(q0.w, q1.w), mix(q0.x, q1.x), mix(q0.y, q1.y), mix(q0.z, q1.z)};
}
