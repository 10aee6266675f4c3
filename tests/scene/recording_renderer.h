// A renderer test double: logs every call as a short line and keeps the matrix-stack
// depths, so scene-graph tests can check what a walk asks of the renderer without GL.
// Materials go through the real texture-cache bookkeeping (stack rules included);
// ResetTextures starts an empty cache, as the real renderer does.
#pragma once

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "scene/zrn_renderer.h"

class RecordingRenderer : public ZRNRendererInterface {
public:
    bool Initialise() override {
        Log("Initialise");
        return true;
    }
    void Clear(const KVLVector3&) override { Log("Clear"); }
    void LookAt(const KVLVector3& eye, const KVLVector3& centre) override {
        Log("LookAt " + Vec(eye) + " " + Vec(centre));
    }
    void SetMatrixMode(bool projection) override {
        m_projection = projection;
        Log(projection ? "Mode P" : "Mode M");
    }
    void LoadMatrix(const KVLMatrix34&) override { Log("LoadMatrix"); }
    void PushMatrix() override {
        ++Depth();
        Log(m_projection ? "Push P" : "Push M");
    }
    void PopMatrix() override {
        if (--Depth() < 0) {
            underflow = true;
        }
        Log(m_projection ? "Pop P" : "Pop M");
    }
    void MultMatrix(const KVLMatrix34& m) override {
        lastMatrix = m;
        Log("Mult");
    }
    void SetLight(const void*, const KVLVector3&, bool) override { Log("SetLight"); }
    void SetFog(const ZRNFogSettings& fog) override { Log(fog.enabled ? "Fog on" : "Fog off"); }
    void ApplyMaterial(const ZRNMaterial& material) override {
        cache.SetCurrent(&material);
        Log(std::string("Apply ") + material.name.c_str());
    }
    void PushMaterial() override {
        cache.Push();
        Log("PushMaterial");
    }
    void PopMaterial() override {
        if (const ZRNMaterial* m = cache.Pop()) {
            Log(std::string("Reapply ") + m->name.c_str());
        }
        Log("PopMaterial");
    }
    void DrawMesh(const ZRNMesh& mesh) override {
        drawn.push_back(mesh.GetVertices(0).IsEmpty() ? KVLVector3() : mesh.GetVertices(0)[0]);
        const ZRNMaterial* m = cache.GetCurrent();
        Log(std::string("Draw with ") + (m != nullptr ? m->name.c_str() : "nothing"));
    }
    bool Present() override {
        Log("Present");
        return true;
    }
    void ResetTextures() override {
        ++resets;
        cache = ZRNTextureCache();
        Log("ResetTextures");
    }

    std::vector<std::string> log;
    std::vector<KVLVector3> drawn;  // vertex 0 of every mesh drawn
    KVLMatrix34 lastMatrix;
    ZRNTextureCache cache;
    int projectionDepth = 0;
    int modelviewDepth = 0;
    int maxDepth = 0;
    int resets = 0;  // ResetTextures calls
    bool underflow = false;

private:
    int& Depth() { return m_projection ? projectionDepth : modelviewDepth; }
    void Log(const std::string& line) {
        log.push_back(line);
        maxDepth = std::max(maxDepth, std::max(projectionDepth, modelviewDepth));
    }
    static std::string Vec(const KVLVector3& v) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "(%g,%g,%g)", v.x, v.y, v.z);
        return buf;
    }

    bool m_projection = false;
};
