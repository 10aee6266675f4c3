// Scene nodes: tree handling, Accept per kind, Clone, ZRNAttachTimeSource and track
// evaluation.
#include "scene/zrn_node.h"

#include "scene/zrn_animator.h"

KVL_IMPLEMENT_ABSTRACT_CLASS(ZRNNode, KVLObject);
KVL_IMPLEMENT_CLASS(ZRNNodeCamera, ZRNNode);
KVL_IMPLEMENT_CLASS(ZRNNodeFog, ZRNNode);
KVL_IMPLEMENT_CLASS(ZRNNodeFoo, ZRNNode);
KVL_IMPLEMENT_CLASS(ZRNNodeJoint, ZRNNode);
KVL_IMPLEMENT_CLASS(ZRNNodeMaterial, ZRNNode);
KVL_IMPLEMENT_CLASS(ZRNNodeMesh, ZRNNode);
KVL_IMPLEMENT_CLASS(ZRNNodeTransformation, ZRNNode);

namespace {

constexpr const char* kNameNode = "[NODE]";
constexpr const char* kNameFog = "[NODE - FOG]";
constexpr const char* kNameFoo = "[NODE - FOO]";
constexpr const char* kNameJoint = "[NODE - JOINT]";
constexpr const char* kNameMaterial = "[NODE - MATERIAL]";
constexpr const char* kNameMesh = "[NODE - MESH]";
constexpr const char* kNameTransformation = "[NODE - TRANSFORMATION]";

// Kinds visited once, before their children.
template <class Node>
bool AcceptOnce(Node& node, ZRNVisitor& visitor, void (ZRNVisitor::*visit)(Node&)) {
    if (!node.IsEnabled()) {
        return false;
    }
    (visitor.*visit)(node);
    node.AcceptChildren(visitor);
    return true;
}

// Kinds visited entering and leaving their subtree.
template <class Node>
bool AcceptAround(Node& node, ZRNVisitor& visitor, void (ZRNVisitor::*visit)(Node&)) {
    if (!node.IsEnabled()) {
        return false;
    }
    (visitor.*visit)(node);
    node.AcceptChildren(visitor);
    visitor.SetEntering(false);
    (visitor.*visit)(node);
    visitor.SetEntering(true);
    return true;
}

void Collect(ZRNNode* node, const KVLClassInfo* info, const KVLString& name, ZRNAnimator* animator) {
    if (node->IsKindOf(info) && node->GetName() == name) {
        node->SetTimeSource(animator);
    }
    for (int32_t i = 0; i < node->GetChildCount(); ++i) {
        Collect(node->GetChild(i), info, name, animator);
    }
}

// Index of a frame number within a list of count keys (count > 0).
int32_t ClampKey(int32_t frame, int32_t count) {
    if (frame < 0) {
        return 0;
    }
    return frame >= count ? count - 1 : frame;
}

bool Interpolated(int32_t count, const ZRNFrameTime& t) {
    return count != 1 && (t.frameA != 0 || t.fraction != 0.0f);
}

KVLVector3 LerpKeys(const KVLArray<KVLVector3>& keys, const ZRNFrameTime& t, bool interpolate) {
    const int32_t n = keys.GetCount();
    if (n == 0) {
        return KVLVector3::Zero;
    }
    if (!interpolate) {
        return keys[0];
    }
    return KVLLerp(keys[ClampKey(t.frameA, n)], keys[ClampKey(t.frameB, n)], t.fraction);
}

}  // namespace

ZRNNode::ZRNNode() : m_name(kNameNode) {}

ZRNNode::~ZRNNode() {
    for (ZRNNode* child : m_children) {
        delete child;
    }
}

const ZRNFrameTime& ZRNNode::FrameTime() const {
    return m_timeSource != nullptr ? m_timeSource->FrameTime() : m_frameTime;
}

ZRNNode* ZRNNode::AddChild(std::unique_ptr<ZRNNode> child) {
    ZRNNode* raw = child.get();
    if (raw != nullptr) {
        m_children.Add(raw);
        child.release();
    }
    return raw;
}

void ZRNNode::AcceptChildren(ZRNVisitor& visitor) {
    for (int32_t i = 0; i < m_children.GetCount(); ++i) {
        m_children[i]->Accept(visitor);
    }
}

std::unique_ptr<ZRNNode> ZRNNode::Clone() const {
    std::unique_ptr<ZRNNode> copy = CloneSelf();
    for (const ZRNNode* child : m_children) {
        copy->AddChild(child->Clone());
    }
    return copy;
}

std::unique_ptr<ZRNNode> ZRNNode::CopyCommon(std::unique_ptr<ZRNNode> copy) const {
    copy->SetName(m_name);
    copy->SetTimeSource(m_timeSource);
    return copy;
}

void ZRNAttachTimeSource(ZRNNode* root, ZRNAnimator* animator, const char* className, const KVLString& nodeName) {
    const KVLClassInfo* info = KVLClassInfo::FindClass(className);
    if (info == nullptr || root == nullptr) {
        return;
    }
    Collect(root, info, nodeName, animator);
}

ZRNNodeCamera::ZRNNodeCamera() : ZRNPayloadNode(nullptr) {}
ZRNNodeCamera::ZRNNodeCamera(ZRNCameraTrack* track) : ZRNPayloadNode(track) { SetName(kNameFog); }
bool ZRNNodeCamera::Accept(ZRNVisitor& visitor) { return AcceptAround(*this, visitor, &ZRNVisitor::VisitCamera); }
std::unique_ptr<ZRNNode> ZRNNodeCamera::CloneSelf() const {
    return CopyCommon(std::make_unique<ZRNNodeCamera>(m_payload));
}

ZRNNodeFog::ZRNNodeFog() : ZRNPayloadNode(nullptr) {}
ZRNNodeFog::ZRNNodeFog(ZRNFogSettings* fog) : ZRNPayloadNode(fog) { SetName(kNameFog); }
bool ZRNNodeFog::Accept(ZRNVisitor& visitor) { return AcceptOnce(*this, visitor, &ZRNVisitor::VisitFog); }
std::unique_ptr<ZRNNode> ZRNNodeFog::CloneSelf() const { return CopyCommon(std::make_unique<ZRNNodeFog>(m_payload)); }

ZRNNodeFoo::ZRNNodeFoo() { SetName(kNameFoo); }
bool ZRNNodeFoo::Accept(ZRNVisitor& visitor) { return AcceptOnce(*this, visitor, &ZRNVisitor::VisitFoo); }
std::unique_ptr<ZRNNode> ZRNNodeFoo::CloneSelf() const {
    // A group has no payload, and its clone no time source.
    std::unique_ptr<ZRNNode> copy = std::make_unique<ZRNNodeFoo>();
    copy->SetName(GetName());
    return copy;
}

ZRNNodeJoint::ZRNNodeJoint() : ZRNPayloadNode(nullptr) {}
ZRNNodeJoint::ZRNNodeJoint(ZRNJointTrack* track) : ZRNPayloadNode(track) { SetName(kNameJoint); }
bool ZRNNodeJoint::Accept(ZRNVisitor& visitor) { return AcceptAround(*this, visitor, &ZRNVisitor::VisitJoint); }
std::unique_ptr<ZRNNode> ZRNNodeJoint::CloneSelf() const {
    return CopyCommon(std::make_unique<ZRNNodeJoint>(m_payload));
}

ZRNNodeMaterial::ZRNNodeMaterial() : ZRNPayloadNode(nullptr) {}
ZRNNodeMaterial::ZRNNodeMaterial(const ZRNMaterial* material) : ZRNPayloadNode(material) { SetName(kNameMaterial); }
bool ZRNNodeMaterial::Accept(ZRNVisitor& visitor) {
    return AcceptAround(*this, visitor, &ZRNVisitor::VisitMaterial);
}
std::unique_ptr<ZRNNode> ZRNNodeMaterial::CloneSelf() const {
    return CopyCommon(std::make_unique<ZRNNodeMaterial>(m_payload));
}

ZRNNodeMesh::ZRNNodeMesh() : ZRNPayloadNode(nullptr) {}
ZRNNodeMesh::ZRNNodeMesh(const ZRNMesh* mesh, ZRNAnimator* timeSource) : ZRNPayloadNode(mesh) {
    SetName(kNameMesh);
    SetTimeSource(timeSource);
}
bool ZRNNodeMesh::Accept(ZRNVisitor& visitor) { return AcceptOnce(*this, visitor, &ZRNVisitor::VisitMesh); }
std::unique_ptr<ZRNNode> ZRNNodeMesh::CloneSelf() const {
    return CopyCommon(std::make_unique<ZRNNodeMesh>(m_payload, nullptr));
}

ZRNNodeTransformation::ZRNNodeTransformation() : ZRNPayloadNode(nullptr) {}
ZRNNodeTransformation::ZRNNodeTransformation(ZRNTransformTrack* track) : ZRNPayloadNode(track) {
    SetName(kNameTransformation);
}
bool ZRNNodeTransformation::Accept(ZRNVisitor& visitor) {
    return AcceptAround(*this, visitor, &ZRNVisitor::VisitTransformation);
}
std::unique_ptr<ZRNNode> ZRNNodeTransformation::CloneSelf() const {
    // Transformation clones keep their default name.
    std::unique_ptr<ZRNNode> copy = std::make_unique<ZRNNodeTransformation>(m_payload);
    copy->SetTimeSource(TimeSource());
    return copy;
}

KVLVector3 ZRNEvaluateTrack(const ZRNTransformTrack& track, const ZRNFrameTime& time) {
    return LerpKeys(track.keys, time, Interpolated(track.keys.GetCount(), time));
}

void ZRNEvaluateCamera(const ZRNCameraTrack& track, const ZRNFrameTime& time, KVLVector3* eye, KVLVector3* target) {
    const bool interpolate = Interpolated(track.eyes.GetCount(), time);
    *eye = LerpKeys(track.eyes, time, interpolate);
    *target = LerpKeys(track.targets, time, interpolate);
}

KVLMatrix34 ZRNEvaluateJoint(const ZRNJointTrack& track, const ZRNFrameTime& time) {
    const int32_t axes = track.axes.GetCount();
    const int32_t origins = track.origins.GetCount();
    if (axes == 0 || origins == 0) {
        return KVLMatrix34::Identity();
    }
    KVLMatrix34 r;
    KVLVector3 t;
    if (Interpolated(axes, time)) {
        r = KVLMatrix34::Interpolate(track.axes[ClampKey(time.frameA, axes)], track.axes[ClampKey(time.frameB, axes)],
                                     time.fraction)
                .LinearPart();
        t = KVLLerp(track.origins[ClampKey(time.frameA, origins)], track.origins[ClampKey(time.frameB, origins)],
                    time.fraction);
    } else {
        r = track.axes[0].LinearPart();
        t = track.origins[0];
    }
    return KVLMatrix34::Product(r, KVLMatrix34::Translation(t));
}
