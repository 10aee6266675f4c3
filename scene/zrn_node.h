// The scene tree: ZRNNode and its seven concrete kinds, the abstract visitor, and the
// evaluation of the tracks at a frame time.
//
// A node has ordered children (owned), an enabled flag, a name, an optional time
// source (an animator, not owned) and a frame time of its own. Each concrete kind
// points to a payload it does not own (camera track, fog settings, joint track,
// material, mesh, transformation track; the plain group ZRNNodeFoo has none). Nodes do
// nothing by themselves: Accept calls the visitor operation of the node's kind.
// Camera, joint, material and transformation nodes are visited twice, entering and
// leaving their subtree; the others once, before their children. A disabled node
// skips its whole subtree.
//
// Every kind is a registered class; the factories make nodes without payload named
// "[NODE]" (the group's factory gives it its own label).
//
// Trees are built and walked on one thread.
#pragma once

#include <cstdint>
#include <memory>

#include "core/kvl_array.h"
#include "core/kvl_object.h"
#include "core/kvl_string.h"
#include "scene/kvl_math.h"
#include "scene/zrn_classranks.h"
#include "scene/zrn_frametime.h"
#include "scene/zrn_jointtrack.h"
#include "scene/zrn_material.h"
#include "scene/zrn_mesh.h"
#include "scene/zrn_payloads.h"

class ZRNAnimator;
class ZRNVisitor;
class ZRNNodeCamera;
class ZRNNodeFog;
class ZRNNodeFoo;
class ZRNNodeJoint;
class ZRNNodeMaterial;
class ZRNNodeMesh;
class ZRNNodeTransformation;

class ZRNNode : public KVLObject {
    KVL_DECLARE_CLASS(ZRNNode)
public:
    ZRNNode();
    ~ZRNNode() override;
    ZRNNode(const ZRNNode&) = delete;
    ZRNNode& operator=(const ZRNNode&) = delete;

    // A node of the same kind with the same payload, time source and name, and clones
    // of all children in order.
    std::unique_ptr<ZRNNode> Clone() const;
    // Visits this node (and its subtree) unless it is disabled; false when disabled.
    virtual bool Accept(ZRNVisitor& visitor) = 0;

    void SetEnabled(bool enabled) { m_enabled = enabled; }
    bool IsEnabled() const { return m_enabled; }
    void SetName(const KVLString& name) { m_name = name; }
    const KVLString& GetName() const { return m_name; }
    void SetTimeSource(ZRNAnimator* animator) { m_timeSource = animator; }
    ZRNAnimator* TimeSource() const { return m_timeSource; }
    // The time source's frame time when one is attached, else the node's own.
    const ZRNFrameTime& FrameTime() const;
    ZRNFrameTime& OwnFrameTime() { return m_frameTime; }

    // Appends a child; the node owns it from now on. Returns it.
    ZRNNode* AddChild(std::unique_ptr<ZRNNode> child);
    int32_t GetChildCount() const { return m_children.GetCount(); }
    ZRNNode* GetChild(int32_t i) const { return m_children[i]; }
    void AcceptChildren(ZRNVisitor& visitor);

protected:
    // A childless copy of this node (same payload and time source).
    virtual std::unique_ptr<ZRNNode> CloneSelf() const = 0;
    // Copies name and time source onto a fresh node of the same kind.
    std::unique_ptr<ZRNNode> CopyCommon(std::unique_ptr<ZRNNode> copy) const;

private:
    KVLArray<ZRNNode*> m_children{-1};
    bool m_enabled = true;
    KVLString m_name;
    ZRNAnimator* m_timeSource = nullptr;
    ZRNFrameTime m_frameTime;
};

// Sets the time source of every node in root's tree (root included, depth first)
// whose class is the named class or derives from it and whose name equals nodeName
// exactly. Nothing happens when no class has that name.
void ZRNAttachTimeSource(ZRNNode* root, ZRNAnimator* animator, const char* className, const KVLString& nodeName);

// The concrete kinds. Each keeps its payload pointer (not owned).
template <class Payload>
class ZRNPayloadNode : public ZRNNode {
public:
    Payload* GetPayload() const { return m_payload; }

protected:
    explicit ZRNPayloadNode(Payload* payload) : m_payload(payload) {}
    Payload* m_payload;
};

class ZRNNodeCamera : public ZRNPayloadNode<ZRNCameraTrack> {
    KVL_DECLARE_CLASS(ZRNNodeCamera)
public:
    ZRNNodeCamera();
    explicit ZRNNodeCamera(ZRNCameraTrack* track);
    bool Accept(ZRNVisitor& visitor) override;

protected:
    std::unique_ptr<ZRNNode> CloneSelf() const override;
};

class ZRNNodeFog : public ZRNPayloadNode<ZRNFogSettings> {
    KVL_DECLARE_CLASS(ZRNNodeFog)
public:
    ZRNNodeFog();
    explicit ZRNNodeFog(ZRNFogSettings* fog);
    bool Accept(ZRNVisitor& visitor) override;

protected:
    std::unique_ptr<ZRNNode> CloneSelf() const override;
};

class ZRNNodeFoo : public ZRNNode {
    KVL_DECLARE_CLASS(ZRNNodeFoo)
public:
    ZRNNodeFoo();
    bool Accept(ZRNVisitor& visitor) override;

protected:
    std::unique_ptr<ZRNNode> CloneSelf() const override;
};

class ZRNNodeJoint : public ZRNPayloadNode<ZRNJointTrack> {
    KVL_DECLARE_CLASS(ZRNNodeJoint)
public:
    ZRNNodeJoint();
    explicit ZRNNodeJoint(ZRNJointTrack* track);
    bool Accept(ZRNVisitor& visitor) override;

protected:
    std::unique_ptr<ZRNNode> CloneSelf() const override;
};

class ZRNNodeMaterial : public ZRNPayloadNode<const ZRNMaterial> {
    KVL_DECLARE_CLASS(ZRNNodeMaterial)
public:
    ZRNNodeMaterial();
    explicit ZRNNodeMaterial(const ZRNMaterial* material);
    bool Accept(ZRNVisitor& visitor) override;

protected:
    std::unique_ptr<ZRNNode> CloneSelf() const override;
};

class ZRNNodeMesh : public ZRNPayloadNode<const ZRNMesh> {
    KVL_DECLARE_CLASS(ZRNNodeMesh)
public:
    ZRNNodeMesh();
    ZRNNodeMesh(const ZRNMesh* mesh, ZRNAnimator* timeSource);
    bool Accept(ZRNVisitor& visitor) override;

protected:
    std::unique_ptr<ZRNNode> CloneSelf() const override;
};

class ZRNNodeTransformation : public ZRNPayloadNode<ZRNTransformTrack> {
    KVL_DECLARE_CLASS(ZRNNodeTransformation)
public:
    ZRNNodeTransformation();
    explicit ZRNNodeTransformation(ZRNTransformTrack* track);
    bool Accept(ZRNVisitor& visitor) override;

protected:
    std::unique_ptr<ZRNNode> CloneSelf() const override;
};

class ZRNVisitor {
public:
    virtual ~ZRNVisitor() = default;
    virtual void SetEntering(bool entering) { m_entering = entering; }
    bool IsEntering() const { return m_entering; }
    virtual void VisitFoo(ZRNNodeFoo& node) = 0;
    virtual void VisitFog(ZRNNodeFog& node) = 0;
    virtual void VisitJoint(ZRNNodeJoint& node) = 0;
    virtual void VisitMesh(ZRNNodeMesh& node) = 0;
    virtual void VisitMaterial(ZRNNodeMaterial& node) = 0;
    virtual void VisitTransformation(ZRNNodeTransformation& node) = 0;
    virtual void VisitCamera(ZRNNodeCamera& node) = 0;

protected:
    bool m_entering = true;
};

// Track evaluation at a frame time. A track is interpolated when it has more than one
// key and the time is not exactly frame 0; otherwise key 0 is used. Frame numbers
// outside the track are clamped to its first and last keys; a track without keys
// gives the zero vector (camera: eye and target at the origin, joint: identity).
KVLVector3 ZRNEvaluateTrack(const ZRNTransformTrack& track, const ZRNFrameTime& time);
void ZRNEvaluateCamera(const ZRNCameraTrack& track, const ZRNFrameTime& time, KVLVector3* eye, KVLVector3* target);
KVLMatrix34 ZRNEvaluateJoint(const ZRNJointTrack& track, const ZRNFrameTime& time);
