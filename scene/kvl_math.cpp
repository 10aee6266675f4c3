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

KVLMatrix34 KVLMatrix34::RotationX(float a) {
    const float c = Cos(a);
    const float s = Sin(a);
    KVLMatrix34 r;
    r.m[4] = c;
    r.m[5] = s;
    r.m[7] = -s;
    r.m[8] = c;
    return r;
}

KVLMatrix34 KVLMatrix34::RotationY(float a) {
    const float c = Cos(a);
    const float s = Sin(a);
    KVLMatrix34 r;
    r.m[0] = c;
    r.m[2] = -s;
    r.m[6] = s;
    r.m[8] = c;
    return r;
}

KVLMatrix34 KVLMatrix34::RotationZ(float a) {
    const float c = Cos(a);
    const float s = Sin(a);
    KVLMatrix34 r;
    r.m[0] = c;
    r.m[1] = s;
    r.m[3] = -s;
    r.m[4] = c;
    return r;
}

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
    // Near a half turn: start from the largest diagonal entry (ties keep the
    // earlier one). The scalar part comes out with the opposite sign convention of
    // the branch above; it is within about 2e-4 of zero here, so the rotation this
    // describes is the same to that precision.
    int c = 0;
    if (m[0] < m[4]) {
        c = 1;
    }
    if ((m[0] < m[4] ? m[4] : m[0]) < m[8]) {
        c = 2;
    }
    if (c == 0) {
        const float s = std::sqrt(m[0] - m[4] - m[8] + 1.0f);
        const float g = s != 0.0f ? 0.5f / s : 0.0f;
        q.x = 0.5f * s;
        q.w = (m[5] - m[7]) * g;
        q.y = (m[3] + m[1]) * g;
        q.z = (m[6] + m[2]) * g;
    } else if (c == 1) {
        const float s = std::sqrt(m[4] - m[8] - m[0] + 1.0f);
        const float g = s != 0.0f ? 0.5f / s : 0.0f;
        q.y = 0.5f * s;
        q.w = (m[6] - m[2]) * g;
        q.z = (m[7] + m[5]) * g;
        q.x = (m[3] + m[1]) * g;
    } else {
        const float s = std::sqrt(m[8] - m[0] - m[4] + 1.0f);
        const float g = s != 0.0f ? 0.5f / s : 0.0f;
        q.z = 0.5f * s;
        q.w = (m[1] - m[3]) * g;
        q.x = (m[6] + m[2]) * g;
        q.y = (m[7] + m[5]) * g;
    }
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
