// Vectors, transforms and quaternions: rotation directions, product order, the
// quaternion round trip and its half-turn branches, slerp's branches and roundings.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "scene/kvl_math.h"

namespace {

constexpr float kPi = std::numbers::pi_v<float>;

void ExpectNear(const KVLVector3& got, const KVLVector3& want, float tol = 1e-6f) {
    EXPECT_NEAR(got.x, want.x, tol);
    EXPECT_NEAR(got.y, want.y, tol);
    EXPECT_NEAR(got.z, want.z, tol);
}

void ExpectNear(const KVLMatrix34& got, const KVLMatrix34& want, float tol = 1e-6f) {
    for (int i = 0; i < 12; ++i) {
        EXPECT_NEAR(got.m[i], want.m[i], tol) << "element " << i;
    }
}

// Each rotation turns counter-clockwise seen from the positive end of its axis.
TEST(Math, RotationsTurnCounterClockwise) {
    struct Case {
        const char* name;
        KVLMatrix34 m;
        KVLVector3 in, out;
    };
    const Case cases[] = {
        {"X", KVLMatrix34::RotationX(kPi / 2), {0, 1, 0}, {0, 0, 1}},
        {"Y", KVLMatrix34::RotationY(kPi / 2), {0, 0, 1}, {1, 0, 0}},
        {"Z", KVLMatrix34::RotationZ(kPi / 2), {1, 0, 0}, {0, 1, 0}},
        {"Z 30deg", KVLMatrix34::RotationZ(kPi / 6), {2, 0, 0}, {std::sqrt(3.0f), 1, 0}},
        {"translation", KVLMatrix34::Translation(1, 2, 3), {1, 1, 1}, {2, 3, 4}},
        {"scale", KVLMatrix34::Scale(2, 3, 4), {1, 1, 1}, {2, 3, 4}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ExpectNear(c.m.Apply(c.in), c.out);
    }
    // The stored layout, not just the effect: row 1 of rotationX is (0, cos, sin).
    const KVLMatrix34 rx = KVLMatrix34::RotationX(0.5f);
    EXPECT_FLOAT_EQ(rx.m[5], std::sin(0.5f));
    EXPECT_FLOAT_EQ(rx.m[7], -std::sin(0.5f));
    const KVLMatrix34 ry = KVLMatrix34::RotationY(0.5f);
    EXPECT_FLOAT_EQ(ry.m[2], -std::sin(0.5f));
    EXPECT_FLOAT_EQ(ry.m[6], std::sin(0.5f));
}

TEST(Math, ProductAppliesLeftFirst) {
    const KVLMatrix34 t = KVLMatrix34::Translation(1, 0, 0);
    const KVLMatrix34 r = KVLMatrix34::RotationZ(kPi / 2);
    // Move then turn: (0,0,0) -> (1,0,0) -> (0,1,0). Turn then move: -> (1,0,0).
    ExpectNear(KVLMatrix34::Product(t, r).Apply({0, 0, 0}), {0, 1, 0});
    ExpectNear(KVLMatrix34::Product(r, t).Apply({0, 0, 0}), {1, 0, 0});
    KVLMatrix34 m = t;
    m.PostMultiply(r);
    EXPECT_EQ(m, KVLMatrix34::Product(t, r));

    const KVLMatrix34 any = KVLMatrix34::Product(KVLMatrix34::RotationX(0.3f), KVLMatrix34::Translation(4, -2, 7));
    EXPECT_EQ(KVLMatrix34::Product(KVLMatrix34::Identity(), any), any);
    EXPECT_EQ(KVLMatrix34::Product(any, KVLMatrix34::Identity()), any);
    EXPECT_EQ(any.LinearPart().GetTranslation(), KVLVector3::Zero);
}

TEST(Math, Matrix44ForOpenGL) {
    KVLMatrix34 m;
    for (int i = 0; i < 12; ++i) {
        m.m[i] = static_cast<float>(i + 1);
    }
    const float want[16] = {1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0, 10, 11, 12, 1};
    const KVLMatrix44 g = KVLMatrix44::From(m);
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(g.m[i], want[i]) << i;
    }
    // A non-identity P: column 3 is P's, the rest is P times the 4x4 form of m.
    KVLMatrix44 p;
    p.m[3] = 2.0f;   // row 0, column 3
    p.m[12] = 5.0f;  // row 3, column 0
    const KVLMatrix44 r = KVLMatrix44::Product(p, m);
    EXPECT_EQ(r.m[0], 1 + 2 * 10.0f);  // row 0 . column 0: 1*1 + 2*t.x
    EXPECT_EQ(r.m[3], 2.0f);
    EXPECT_EQ(r.m[12], 5 * 1.0f + 10.0f);
    EXPECT_EQ(r.m[15], 1.0f);
}

TEST(Math, QuaternionRoundTrip) {
    const KVLMatrix34 rotations[] = {
        KVLMatrix34::Identity(),
        KVLMatrix34::RotationX(0.7f),
        KVLMatrix34::RotationY(-1.2f),
        KVLMatrix34::RotationZ(2.5f),
        KVLMatrix34::Product(KVLMatrix34::RotationX(0.4f), KVLMatrix34::RotationY(1.1f)),
        KVLMatrix34::Product(KVLMatrix34::RotationZ(2.0f), KVLMatrix34::RotationX(-1.5f)),
    };
    for (const KVLMatrix34& m : rotations) {
        const KVLQuaternion q = KVLQuaternion::FromMatrix(m);
        EXPECT_NEAR(q.w * q.w + q.x * q.x + q.y * q.y + q.z * q.z, 1.0f, 1e-5f);
        ExpectNear(q.ToMatrix(), m, 1e-5f);
    }
    // The formulas read the row-vector matrix as its column-vector transpose, so the
    // quaternion of a turn by a about Z is (cos a/2, 0, 0, -sin a/2).
    const KVLQuaternion qz = KVLQuaternion::FromMatrix(KVLMatrix34::RotationZ(1.0f));
    EXPECT_NEAR(qz.w, std::cos(0.5f), 1e-6f);
    EXPECT_NEAR(qz.z, -std::sin(0.5f), 1e-6f);
}

// Half turns take the largest-diagonal branches.
TEST(Math, QuaternionHalfTurns) {
    struct Case {
        const char* name;
        KVLMatrix34 m;
        float w, x, y, z;
    };
    const Case cases[] = {
        {"about X", KVLMatrix34::RotationX(kPi), 0, 1, 0, 0},
        {"about Y", KVLMatrix34::RotationY(kPi), 0, 0, 1, 0},
        {"about Z", KVLMatrix34::RotationZ(kPi), 0, 0, 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const KVLQuaternion q = KVLQuaternion::FromMatrix(c.m);
        EXPECT_NEAR(q.w, c.w, 1e-6f);
        EXPECT_NEAR(q.x, c.x, 1e-6f);
        EXPECT_NEAR(q.y, c.y, 1e-6f);
        EXPECT_NEAR(q.z, c.z, 1e-6f);
        ExpectNear(q.ToMatrix(), c.m, 1e-6f);
    }
    // Exact half turn about X: diagonal (1, -1, -1), s2 = 0.
    KVLMatrix34 exact = KVLMatrix34::Scale(1, -1, -1);
    const KVLQuaternion q = KVLQuaternion::FromMatrix(exact);
    EXPECT_EQ(q.x, 1.0f);
    EXPECT_EQ(q.w, 0.0f);
    EXPECT_EQ(q.y, 0.0f);
    EXPECT_EQ(q.z, 0.0f);
}

// Half turns about tilted axes: each branch of the largest-diagonal path fills the
// other two components from the off-diagonal pairs, which the turns about x, y and z
// above leave at zero.
TEST(Math, QuaternionHalfTurnsAboutTiltedAxes) {
    const KVLVector3 axes[] = {{3, 2, 1}, {1, 3, -2}, {-2, 1, 3}};  // largest x, y, z
    for (const KVLVector3& a : axes) {
        const float len = std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z);
        const float n[3] = {a.x / len, a.y / len, a.z / len};
        // A half turn about n: 2 n n^T - I.
        KVLMatrix34 m;
        for (int r = 0; r < 3; ++r) {
            for (int c = 0; c < 3; ++c) {
                m.m[r * 3 + c] = 2.0f * n[r] * n[c] - (r == c ? 1.0f : 0.0f);
            }
        }
        SCOPED_TRACE(testing::Message() << "axis " << a.x << " " << a.y << " " << a.z);
        const KVLQuaternion q = KVLQuaternion::FromMatrix(m);
        const float sign = q.x * n[0] + q.y * n[1] + q.z * n[2] < 0.0f ? -1.0f : 1.0f;
        EXPECT_NEAR(q.w, 0.0f, 1e-3f);
        ExpectNear(KVLVector3(sign * q.x, sign * q.y, sign * q.z), KVLVector3(n[0], n[1], n[2]), 1e-5f);
        ExpectNear(q.ToMatrix(), m, 1e-5f);
    }
}

TEST(Math, SlerpEnds) {
    const KVLQuaternion q0 = KVLQuaternion::FromMatrix(KVLMatrix34::RotationY(0.3f));
    const KVLQuaternion q1 = KVLQuaternion::FromMatrix(KVLMatrix34::RotationY(1.9f));
    const KVLQuaternion neg1{-q1.w, -q1.x, -q1.y, -q1.z};
    const KVLQuaternion far = KVLQuaternion::FromMatrix(KVLMatrix34::RotationX(2.0f));
    struct Case {
        const char* name;
        KVLQuaternion a, b;
        float f;
        KVLQuaternion want;
    };
    const Case cases[] = {
        {"f=0", q0, q1, 0.0f, q0},
        {"f=1", q0, q1, 1.0f, q1},
        {"f=1 negated target", q0, neg1, 1.0f, q1},
        {"itself", q1, q1, 0.37f, q1},
        {"q and -q", q0, {-q0.w, -q0.x, -q0.y, -q0.z}, 0.8f, q0},
        {"f=0 far", q0, far, 0.0f, q0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const KVLQuaternion r = KVLQuaternion::Slerp(c.a, c.b, c.f);
        EXPECT_NEAR(r.w, c.want.w, 2e-7f);
        EXPECT_NEAR(r.x, c.want.x, 2e-7f);
        EXPECT_NEAR(r.y, c.want.y, 2e-7f);
        EXPECT_NEAR(r.z, c.want.z, 2e-7f);
    }
}

TEST(Math, SlerpFollowsTheArc) {
    // Halfway between 0.2 and 1.4 rad about Z is 0.8 rad; a quarter of the way, 0.5.
    const KVLQuaternion a = KVLQuaternion::FromMatrix(KVLMatrix34::RotationZ(0.2f));
    const KVLQuaternion b = KVLQuaternion::FromMatrix(KVLMatrix34::RotationZ(1.4f));
    for (const auto& [f, angle] : {std::pair{0.5f, 0.8f}, std::pair{0.25f, 0.5f}, std::pair{0.9f, 1.28f}}) {
        SCOPED_TRACE(f);
        ExpectNear(KVLQuaternion::Slerp(a, b, f).ToMatrix(), KVLMatrix34::RotationZ(angle), 1e-6f);
    }
}

// Up to the second float below 1.0 the blend is the exact component-wise one.
TEST(Math, SlerpLinearThreshold) {
    const float below = std::nextafter(1.0f, 0.0f);
    const float second = std::nextafter(below, 0.0f);
    const KVLQuaternion q0{1, 0, 0, 0};
    for (float d : {below, second}) {
        // q1 with q0 . q1 = d exactly; f = 0.5 must be the component average.
        const KVLQuaternion q1{d, 0, 0, 0.25f};
        const KVLQuaternion r = KVLQuaternion::Slerp(q0, q1, 0.5f);
        EXPECT_EQ(r.w, 1.0f + 0.5f * (d - 1.0f)) << d;
        EXPECT_EQ(r.z, 0.125f) << d;
    }
}

// The trigonometric branch against the formula evaluated with the stated roundings.
TEST(Math, SlerpRoundings) {
    const KVLQuaternion q0 = KVLQuaternion::FromMatrix(KVLMatrix34::RotationX(0.9f));
    const KVLQuaternion q1 = KVLQuaternion::FromMatrix(KVLMatrix34::RotationY(-0.6f));
    const float f = 0.3f;
    const float d = q1.w * q0.w + q1.x * q0.x + q1.y * q0.y + q1.z * q0.z;
    ASSERT_GT(d, 0.0f);
    const double theta = std::acos(static_cast<double>(d));
    const float s = static_cast<float>(std::sin(theta));
    const float phi = static_cast<float>(f * theta);
    const double a = std::sin(static_cast<double>(phi)) / s;
    const double b = std::sin(theta - phi) / s;
    const KVLQuaternion r = KVLQuaternion::Slerp(q0, q1, f);
    EXPECT_EQ(r.w, static_cast<float>(b * q0.w) + static_cast<float>(a * q1.w));
    EXPECT_EQ(r.x, static_cast<float>(b * q0.x) + static_cast<float>(a * q1.x));
    EXPECT_EQ(r.y, static_cast<float>(b * q0.y) + static_cast<float>(a * q1.y));
    EXPECT_EQ(r.z, static_cast<float>(b * q0.z) + static_cast<float>(a * q1.z));
}

TEST(Math, Interpolate) {
    const KVLMatrix34 a = KVLMatrix34::Product(KVLMatrix34::RotationY(0.5f), KVLMatrix34::Translation(1, 2, 3));
    for (float f : {0.0f, 0.3f, 1.0f}) {
        ExpectNear(KVLMatrix34::Interpolate(a, a, f), a, 1e-6f);
    }
    const KVLMatrix34 p = KVLMatrix34::Product(KVLMatrix34::RotationX(0.2f), KVLMatrix34::Translation(0, 0, 0));
    const KVLMatrix34 q = KVLMatrix34::Product(KVLMatrix34::RotationX(1.0f), KVLMatrix34::Translation(4, 0, -2));
    const KVLMatrix34 mid = KVLMatrix34::Interpolate(p, q, 0.5f);
    ExpectNear(mid.LinearPart(), KVLMatrix34::RotationX(0.6f), 1e-6f);
    ExpectNear(mid.GetTranslation(), {2, 0, -1});
}

}  // namespace
