// ZRNRenderVisitor: node kinds to renderer operations.
#include "scene/zrn_rendervisitor.h"

namespace {

int32_t ClampFrame(int32_t frame, int32_t count) {
    if (frame < 0 || count <= 0) {
        return 0;
    }
    return frame >= count ? count - 1 : frame;
}

}  // namespace

ZRNFrameTime ZRNClampToMesh(const ZRNFrameTime& time, const ZRNMesh& mesh) {
    const int32_t frames = mesh.GetFrameCount();
    return ZRNFrameTime(ClampFrame(time.frameA, frames), ClampFrame(time.frameB, frames), time.fraction);
}

void ZRNRenderVisitor::VisitFoo(ZRNNodeFoo& /*node*/) {}

void ZRNRenderVisitor::VisitFog(ZRNNodeFog& node) {
    if (node.GetPayload() != nullptr) {
        m_renderer->SetFog(*node.GetPayload());
    }
}

void ZRNRenderVisitor::VisitJoint(ZRNNodeJoint& node) {
    m_renderer->SetMatrixMode(false);
    if (m_entering) {
        m_renderer->PushMatrix();
        if (node.GetPayload() != nullptr) {
            m_renderer->MultMatrix(ZRNEvaluateJoint(*node.GetPayload(), node.FrameTime()));
        }
    } else {
        m_renderer->PopMatrix();
    }
}

void ZRNRenderVisitor::VisitMesh(ZRNNodeMesh& node) {
    const ZRNMesh* mesh = node.GetPayload();
    if (mesh == nullptr) {
        return;
    }
    m_renderer->DrawMeshAt(*mesh, ZRNClampToMesh(node.FrameTime(), *mesh));
}

void ZRNRenderVisitor::VisitMaterial(ZRNNodeMaterial& node) {
    if (m_entering) {
        m_renderer->PushMaterial();
        if (node.GetPayload() != nullptr) {
            m_renderer->ApplyMaterial(*node.GetPayload());
        }
    } else {
        m_renderer->PopMaterial();
    }
}

void ZRNRenderVisitor::VisitTransformation(ZRNNodeTransformation& node) {
    const ZRNTransformTrack* track = node.GetPayload();
    m_renderer->SetMatrixMode(track != nullptr && track->projection);
    if (!m_entering) {
        m_renderer->PopMatrix();
        return;
    }
    m_renderer->PushMatrix();
    if (track == nullptr) {
        return;
    }
    const KVLVector3 v = ZRNEvaluateTrack(*track, node.FrameTime());
    switch (track->type) {
        case ZRNTransformTranslate:
            m_renderer->MultMatrix(KVLMatrix34::Translation(v));
            break;
        case ZRNTransformScale:
            m_renderer->MultMatrix(KVLMatrix34::Scale(v.x, v.y, v.z));
            break;
        case ZRNTransformRotate:
            m_renderer->MultMatrix(KVLMatrix34::Product(
                KVLMatrix34::Product(KVLMatrix34::RotationX(v.x), KVLMatrix34::RotationY(v.y)),
                KVLMatrix34::RotationZ(v.z)));
            break;
        default:
            break;
    }
}

void ZRNRenderVisitor::VisitCamera(ZRNNodeCamera& node) {
    m_renderer->SetMatrixMode(true);
    if (!m_entering) {
        m_renderer->PopMatrix();
        return;
    }
    m_renderer->PushMatrix();
    if (node.GetPayload() != nullptr) {
        KVLVector3 eye;
        KVLVector3 target;
        ZRNEvaluateCamera(*node.GetPayload(), node.FrameTime(), &eye, &target);
        m_renderer->LookAt(eye, target);
    }
}
