// Animators and time visitors.
//
// An animator turns a list of key-frame numbers and a position between 0 and 1 into a
// frame time (frame A, frame B, fraction). Nodes attached to an animator read that
// frame time; a time visitor walks a tree once per rendered frame and asks the
// animator of every animated node (camera, joint, mesh, transformation) to move on.
//
// ZRNLoopAnimator advances by ticks and takes one step per distinct token, so however
// many nodes share it — and although camera, joint and transformation nodes are
// visited twice per walk — it moves once per tick. ZRNCycleAnimator takes its position
// from the cycle visitor's phase. Degenerate parameters (no keys, a rate, period or
// tick rate of zero, positions outside 0..1) leave the frame time where it is or clamp
// it to the keys; they never divide by zero or index outside the key list.
#pragma once

#include <cstdint>
#include <optional>

#include "core/kvl_array.h"
#include "scene/zrn_frametime.h"
#include "scene/zrn_node.h"

class ZRNAnimator {
public:
    explicit ZRNAnimator(int32_t rate) : m_rate(rate) {}
    virtual ~ZRNAnimator() = default;
    ZRNAnimator(const ZRNAnimator&) = delete;
    ZRNAnimator& operator=(const ZRNAnimator&) = delete;

    // Meaning of the three arguments per subclass.
    virtual void Update(int32_t a, float b, int32_t c) = 0;
    // Position x in 0..1 over the keys: frame A = keys[i], frame B = the next key
    // (wrapping to the first), fraction the remainder, with i = (n - 1) x truncated.
    virtual void SetPosition(float x);

    // Appends a key-frame number; returns the new key count.
    int32_t AddKey(int32_t frame) {
        m_keys.Add(frame);
        return m_keys.GetCount();
    }
    const KVLArray<int32_t>& Keys() const { return m_keys; }
    int32_t Rate() const { return m_rate; }
    const ZRNFrameTime& FrameTime() const { return m_frameTime; }

protected:
    KVLArray<int32_t> m_keys{-1};
    ZRNFrameTime m_frameTime;
    int32_t m_rate;
};

class ZRNLoopAnimator : public ZRNAnimator {
public:
    explicit ZRNLoopAnimator(int32_t rate, int32_t cycleLength = -1) : ZRNAnimator(rate), m_cycleLength(cycleLength) {}
    // ticksPerSecond, an ignored value, token: moves on by 1 / (ticksPerSecond x
    // cycle seconds) unless the token is the one seen last. Cycle length -1 means the
    // key count; the cycle lasts length / rate seconds.
    void Update(int32_t ticksPerSecond, float ignored, int32_t token) override;
    float Position() const { return m_position; }

private:
    int32_t m_cycleLength;
    float m_position = 0.0f;
    std::optional<int32_t> m_lastToken;
};

class ZRNCycleAnimator : public ZRNAnimator {
public:
    ZRNCycleAnimator(int32_t rate, bool wrap) : ZRNAnimator(rate), m_wrap(wrap) {}
    // value, fraction of the visitor's period, period.
    void Update(int32_t value, float fraction, int32_t period) override;

private:
    bool m_wrap;
};

// A visitor that advances the animators of a tree. Camera, joint, mesh and
// transformation nodes go to VisitAnimated; the others are passed by.
class ZRNAnimVisitor : public ZRNVisitor {
public:
    virtual void SetTick(int32_t tick) = 0;
    // The three values the visitor passes to animators (per subclass).
    virtual int32_t GetPhase() const = 0;
    virtual int32_t GetRate() const = 0;
    virtual int32_t GetPeriod() const = 0;
    virtual void VisitAnimated(ZRNNode& node) = 0;

    void VisitFoo(ZRNNodeFoo&) override {}
    void VisitFog(ZRNNodeFog&) override {}
    void VisitMaterial(ZRNNodeMaterial&) override {}
    void VisitJoint(ZRNNodeJoint& node) override;
    void VisitMesh(ZRNNodeMesh& node) override;
    void VisitTransformation(ZRNNodeTransformation& node) override;
    void VisitCamera(ZRNNodeCamera& node) override;
};

// Moves loop animators by one tick per SetTick: Update(ticks per second, 0, tick).
class ZRNTickVisitor : public ZRNAnimVisitor {
public:
    explicit ZRNTickVisitor(int32_t ticksPerSecond) : m_ticksPerSecond(ticksPerSecond) {}
    void SetTick(int32_t tick) override { m_token = tick; }
    int32_t GetPhase() const override { return m_token; }
    int32_t GetRate() const override { return m_ticksPerSecond; }
    int32_t GetPeriod() const override { return -1; }
    void VisitAnimated(ZRNNode& node) override;

private:
    int32_t m_ticksPerSecond;
    int32_t m_token = 0;
};

// Drives cycle animators from the tick's phase within a period:
// Update(value, phase / period, period).
class ZRNCycleVisitor : public ZRNAnimVisitor {
public:
    ZRNCycleVisitor(float fraction, int32_t value, int32_t period)
        : m_fraction(fraction), m_period(period), m_value(value) {}
    // phase = tick mod period (sign of the tick), fraction = phase / period. A period
    // of 0 gives phase 0 and fraction 0.
    void SetTick(int32_t tick) override;
    int32_t GetPhase() const override { return m_phase; }
    int32_t GetRate() const override { return m_value; }
    int32_t GetPeriod() const override { return m_period; }
    float GetFraction() const { return m_fraction; }
    void VisitAnimated(ZRNNode& node) override;

private:
    float m_fraction;
    int32_t m_phase = 0;
    int32_t m_period;
    int32_t m_value;
};
