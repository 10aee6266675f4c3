// Animators and time visitors.
#include "scene/zrn_animator.h"

#include <cmath>
#include <limits>

void ZRNAnimator::SetPosition(float x) {
    const int32_t n = m_keys.GetCount();
    if (n == 0) {
        return;
    }
    if (!(x >= 0.0f)) {  // negative or NaN
        x = 0.0f;
    }
    if (x > 1.0f) {
        x = 1.0f;
    }
    const float a = static_cast<float>(n - 1) * x;
    int32_t i = static_cast<int32_t>(a);
    if (i > n - 1) {
        i = n - 1;
    }
    m_frameTime.frameA = m_keys[i];
    m_frameTime.frameB = i + 1 < n ? m_keys[i + 1] : m_keys[0];
    m_frameTime.fraction = n == 1 ? 0.0f : a - static_cast<float>(i);
}

void ZRNLoopAnimator::Update(int32_t ticksPerSecond, float /*ignored*/, int32_t token) {
    if (m_keys.IsEmpty() || (m_lastToken.has_value() && *m_lastToken == token)) {
        return;
    }
    m_lastToken = token;
    const int32_t length = m_cycleLength == -1 ? m_keys.GetCount() : m_cycleLength;
    // A rate, tick rate or cycle length of zero or less has no sensible step: the
    // animator keeps its pose rather than dividing by zero.
    if (m_rate <= 0 || ticksPerSecond <= 0 || length <= 0) {
        return;
    }
    const float cycleTicks =
        static_cast<float>(ticksPerSecond) * (static_cast<float>(length) / static_cast<float>(m_rate));
    m_position += 1.0f / cycleTicks;
    if (m_position > 1.0f) {
        m_position -= 1.0f;
        // A step longer than the whole cycle (a very short cycle) still lands inside it.
        if (m_position > 1.0f) {
            m_position = std::fmod(m_position, 1.0f);
        }
    }
    SetPosition(m_position);
}

void ZRNCycleAnimator::Update(int32_t value, float fraction, int32_t period) {
    const int32_t n = m_keys.GetCount();
    if (n == 0) {
        return;
    }
    if (!m_wrap) {
        SetPosition(fraction);
        return;
    }
    if (m_rate == 0 || period == 0 || value == 0) {
        return;
    }
    const float g = static_cast<float>(n) /
                    (static_cast<float>(period) / (static_cast<float>(value) / static_cast<float>(m_rate)));
    const float scaledG = g * 65535.0f;
    const float scaledF = fraction * 65535.0f;
    constexpr float kIntLimit = 2147483520.0f;  // largest float below 2^31
    // Conversions that would overflow, and a cycle that truncates to 0 (whose
    // remainder would divide by zero), leave the pose as it is.
    if (!(std::fabs(scaledG) < kIntLimit) || !(std::fabs(scaledF) < kIntLimit)) {
        return;
    }
    const int32_t modulus = static_cast<int32_t>(scaledG);
    if (modulus == 0) {
        return;
    }
    const int32_t phase = static_cast<int32_t>(scaledF) % modulus;
    SetPosition(static_cast<float>(phase) * 1.5259022e-5f / g);
}

void ZRNAnimVisitor::VisitJoint(ZRNNodeJoint& node) { VisitAnimated(node); }
void ZRNAnimVisitor::VisitMesh(ZRNNodeMesh& node) { VisitAnimated(node); }
void ZRNAnimVisitor::VisitTransformation(ZRNNodeTransformation& node) { VisitAnimated(node); }
void ZRNAnimVisitor::VisitCamera(ZRNNodeCamera& node) { VisitAnimated(node); }

void ZRNTickVisitor::VisitAnimated(ZRNNode& node) {
    if (ZRNAnimator* animator = node.TimeSource()) {
        animator->Update(m_ticksPerSecond, 0.0f, m_token);
    }
}

void ZRNCycleVisitor::SetTick(int32_t tick) {
    if (m_period == 0) {
        m_phase = 0;
        m_fraction = 0.0f;
        return;
    }
    // INT32_MIN % -1 overflows; its remainder is 0 anyway.
    m_phase = m_period == -1 ? 0 : tick % m_period;
    m_fraction = static_cast<float>(m_phase) / static_cast<float>(m_period);
}

void ZRNCycleVisitor::VisitAnimated(ZRNNode& node) {
    if (ZRNAnimator* animator = node.TimeSource()) {
        animator->Update(m_value, m_fraction, m_period);
    }
}
