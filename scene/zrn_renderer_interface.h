// ZRNRendererInterface: the set of drawing operations the scene graph and the scenes
// use (clear, camera, matrices, light, fog, materials, mesh drawing, present). Nodes
// and visitors see only this interface, so a recording test double can stand in for
// a real renderer (ZRNRendererCore and the renderers built on it).
#pragma once

#include <memory>

#include "scene/kvl_math.h"
#include "scene/zrn_material.h"
#include "scene/zrn_mesh.h"
#include "scene/zrn_payloads.h"

// The two kinds of light SetLight makes, for its third argument.
constexpr bool kZRNLightDirectional = true;
constexpr bool kZRNLightAmbientOnly = false;

class ZRNRendererInterface {
public:
    virtual ~ZRNRendererInterface() = default;
    virtual bool Initialise() = 0;
    // Called by the application during teardown; nothing to do by default.
    virtual void OnShutdown() {}
    // Clears colour and depth; the colour's alpha is 1.
    virtual void Clear(const KVLVector3& colour) = 0;
    // A look-at from eye towards centre, up (0, 1, 0), on the current matrix.
    virtual void LookAt(const KVLVector3& eye, const KVLVector3& centre) = 0;
    // true selects the projection matrix, false the modelview matrix.
    virtual void SetMatrixMode(bool projection) = 0;
    virtual void LoadMatrix(const KVLMatrix34& m) = 0;
    virtual void PushMatrix() = 0;
    virtual void PopMatrix() = 0;
    virtual void MultMatrix(const KVLMatrix34& m) = 0;
    // The flag's name reads backwards: positional true (kZRNLightDirectional) makes
    // light 0 a directional light along the vector; false (kZRNLightAmbientOnly) sets
    // light 0's ambient colour to 0.6 grey and ignores the vector. The tag is not used.
    virtual void SetLight(const void* tag, const KVLVector3& vector, bool positional) = 0;
    virtual void SetFog(const ZRNFogSettings& fog) = 0;
    // The material becomes current. It is not copied: it must outlive its use.
    virtual void ApplyMaterial(const ZRNMaterial& material) = 0;
    // Stacks the current material when it is textured (kinds 4 to 8); untextured
    // materials are never stacked.
    virtual void PushMaterial() = 0;
    // Makes the top of the stack current again (applying it when it differs).
    virtual void PopMaterial() = 0;
    // Draws with the current material, then once more with each stack entry from the
    // second from the top down to the bottom.
    virtual void DrawMesh(const ZRNMesh& mesh) = 0;
    // Draws the mesh posed at the frame time as DrawMesh draws FrameAt's mesh (the
    // mesh itself where FrameAt gives none). By default it does exactly that; a
    // renderer may blend into storage of its own instead of a new mesh.
    virtual void DrawMeshAt(const ZRNMesh& mesh, const ZRNFrameTime& time) {
        const std::unique_ptr<ZRNMesh> pose = mesh.FrameAt(time);
        DrawMesh(pose != nullptr ? *pose : mesh);
    }
    virtual bool Present() = 0;
    // Empties the texture cache, if the renderer keeps one (no current material, empty
    // stack); the demo calls it at every scene switch. Nothing to do by default.
    virtual void ResetTextures() {}
};
