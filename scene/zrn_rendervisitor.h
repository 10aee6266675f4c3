// ZRNRenderVisitor: turns a walk of a scene tree into renderer operations — camera
// look-at on the projection matrix, transformations and joints on their matrix,
// materials pushed and popped around their subtree, meshes drawn at their node's
// frame time. Every push made entering a node is popped leaving it, so a walk leaves
// both matrix stacks and the material stack as it found them.
#pragma once

#include "scene/zrn_node.h"
#include "scene/zrn_renderer.h"

class ZRNRenderVisitor : public ZRNVisitor {
public:
    // renderer: not owned.
    explicit ZRNRenderVisitor(ZRNRendererInterface* renderer) : m_renderer(renderer) {}
    ZRNRendererInterface* GetRenderer() const { return m_renderer; }

    void VisitFoo(ZRNNodeFoo& node) override;
    void VisitFog(ZRNNodeFog& node) override;
    void VisitJoint(ZRNNodeJoint& node) override;
    void VisitMesh(ZRNNodeMesh& node) override;
    void VisitMaterial(ZRNNodeMaterial& node) override;
    void VisitTransformation(ZRNNodeTransformation& node) override;
    void VisitCamera(ZRNNodeCamera& node) override;

private:
    ZRNRendererInterface* m_renderer;
};

// The frame time a mesh is drawn at: frame numbers clamped to the frames the mesh
// has, so an animator with more keys than the model has frames shows its last frame
// instead of reading beyond it.
ZRNFrameTime ZRNClampToMesh(const ZRNFrameTime& time, const ZRNMesh& mesh);
