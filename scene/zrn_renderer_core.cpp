// ZRNRendererCore: the renderers' shared rules over their device hooks; no graphics
// calls.
#include "scene/internal/zrn_renderer_core.h"

#include <vector>

namespace {

// OpenGL's matrix stacks hold at least 32 entries (Mesa: exactly 32); a push beyond
// that is refused there, and here.
constexpr size_t kStackDepth = 32;

}  // namespace

ZRNRendererCore::ZRNRendererCore(KVLWindow* window) : m_window(window) {}

ZRNRendererCore::~ZRNRendererCore() = default;

void ZRNRendererCore::FollowWindowSize() {
    if (m_window != nullptr) {
        int32_t width = 0;
        int32_t height = 0;
        m_window->GetClientSize(&width, &height);
        OnResize(width, height);
    }
}

bool ZRNRendererCore::Initialise() {
    m_deviceError.Clear();
    if (!StartDevice(&m_deviceError)) {
        return false;
    }
    m_live = true;
    m_projection.assign(1, KVLMatrix44::Perspective(kZRNFieldOfView, 1.0, kZRNNearPlane, kZRNFarPlane));
    m_modelView.assign(1, KVLMatrix44::Identity());
    m_projectionMode = false;
    MatrixChanged(true);
    MatrixChanged(false);
    SetLight(nullptr, KVLVector3(0.5f, 0.0f, 1.5f), false);
    m_cache = std::make_unique<ZRNTextureCache>();
    ApplyMaterial(ZRNRedPlastic());
    // A size the window reported before the context existed: the projection takes
    // the window's aspect now rather than keeping 1.0 until the next resize.
    if (m_clientWidth >= 0) {
        ApplyResize();
    }
    return true;
}

void ZRNRendererCore::DeleteCachedTextures() {
    if (m_cache != nullptr && !m_cache->GetTextures().IsEmpty()) {
        DeleteTextures(m_cache->GetTextures().GetCount(), m_cache->GetTextures().GetData());
    }
}

void ZRNRendererCore::ReleaseGL() {
    if (m_live) {
        DeleteCachedTextures();
        if (m_sharedTexture != 0) {
            DeleteTextures(1, &m_sharedTexture);
        }
    }
    ReleaseDevice(m_live);
    m_sharedTexture = 0;
    m_cache.reset();
    m_live = false;
}

std::unique_ptr<KVLImage> ZRNRendererCore::ReadPicture(int32_t width, int32_t height) {
    std::vector<uint8_t> rgba(static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
    ReadPixelsRGBA(width, height, rgba.data());
    std::unique_ptr<KVLImage> image = KVLImage::CreateForOverwrite(width, height);
    const size_t rowBytes = static_cast<size_t>(width) * 4;
    // GL's rows run bottom up.
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* in = rgba.data() + static_cast<size_t>(height - 1 - y) * rowBytes;
        uint32_t* out = image->pixels + static_cast<size_t>(y) * static_cast<size_t>(width);
        for (int32_t x = 0; x < width; ++x, in += 4) {
            out[x] = 0xFF000000u | (uint32_t{in[0]} << 16) | (uint32_t{in[1]} << 8) | in[2];
        }
    }
    return image;
}

void ZRNRendererCore::Clear(const KVLVector3& colour) {
    if (!m_live) {
        return;
    }
    if (m_letterboxed) {
        // The bars outside the picture stay black in every buffer.
        SetEnabled(Capability::Scissor, false);
        ClearBuffers(KVLVector3::Black, false);
        SetEnabled(Capability::Scissor, true);
    }
    ClearBuffers(colour, true);
}

void ZRNRendererCore::SetTop(const KVLMatrix44& m) {
    Stack().back() = m;
    MatrixChanged(m_projectionMode);
}

void ZRNRendererCore::LookAt(const KVLVector3& eye, const KVLVector3& centre) {
    if (m_live) {
        SetTop(KVLMatrix44::Product(KVLMatrix44::LookAt(eye, centre, KVLVector3::UnitY), Stack().back()));
    }
}

void ZRNRendererCore::SetMatrixMode(bool projection) {
    if (m_live) {
        m_projectionMode = projection;
    }
}

void ZRNRendererCore::LoadMatrix(const KVLMatrix34& m) {
    if (m_live) {
        SetTop(KVLMatrix44::From(m));
    }
}

void ZRNRendererCore::PushMatrix() {
    if (m_live && Stack().size() < kStackDepth) {
        Stack().push_back(Stack().back());
    }
}

void ZRNRendererCore::PopMatrix() {
    if (m_live && Stack().size() > 1) {
        Stack().pop_back();
        MatrixChanged(m_projectionMode);
    }
}

void ZRNRendererCore::MultMatrix(const KVLMatrix34& m) {
    if (m_live) {
        SetTop(KVLMatrix44::Product(KVLMatrix44::From(m), Stack().back()));
    }
}

void ZRNRendererCore::SetLight(const void* /*tag*/, const KVLVector3& vector, bool positional) {
    if (m_live) {
        SetLightState(vector, positional);
    }
}

void ZRNRendererCore::SetFog(const ZRNFogSettings& fog) {
    if (m_live) {
        SetFogState(fog);
    }
}

const std::vector<KVLString>& ZRNRendererCore::GetMaterialConflicts() const {
    static const std::vector<KVLString> kNone;
    return m_cache ? m_cache->GetConflicts() : kNone;
}

void ZRNRendererCore::ApplyMaterial(const ZRNMaterial& material) {
    if (!m_live) {
        return;
    }
    ApplyMaterialState(material);
    m_cache->SetCurrent(&material);
}

void ZRNRendererCore::ApplyMaterialState(const ZRNMaterial& m) {
    const ZRNMaterialState state = ZRNMaterialStateFor(m);
    SetEnabled(Capability::Cull, state.cull);
    SetEnabled(Capability::Blend, state.blend);
    SetMaterialState(state);
    if (state.textured) {
        BindTexture(m);
    }
}

void ZRNRendererCore::BindTexture(const ZRNMaterial& m) {
    const uint32_t cached = m_cache->FindFor(m);
    if (cached != 0) {
        BindTextureName(cached);
        return;
    }
    const KVLImage* image = m.GetImage();
    const bool usable = image != nullptr && image->pixels != nullptr && KVLImageSizeOK(image->width, image->height);
    if (!m.IsSharedImage()) {
        m_cache->AddFor(m, CreateTexture(usable ? image : nullptr, false));
        return;
    }
    // A picture that changes between applications (an animation frame): one texture
    // object of its own, filled again every time. Uploading into whatever texture
    // happens to be bound would overwrite another material's cached texture.
    if (m_sharedTexture == 0) {
        m_sharedTexture = CreateTexture(nullptr, true);
    } else {
        BindTextureName(m_sharedTexture);
    }
    if (usable) {
        UploadSharedPicture(*image);
    }
}

void ZRNRendererCore::PushMaterial() {
    if (m_live) {
        m_cache->Push();
    }
}

void ZRNRendererCore::PopMaterial() {
    if (!m_live) {
        return;
    }
    if (const ZRNMaterial* changed = m_cache->Pop()) {
        ApplyMaterialState(*changed);
    }
}

bool ZRNRendererCore::OutsideView(const ZRNMesh& mesh, std::initializer_list<int32_t> frames) const {
    // A blended pose lies inside the box of its frames (and a plane's outside is
    // convex); a mesh without vertices is never left out.
    KVLVector3 lo;
    KVLVector3 hi;
    return ZRNMeshBounds(mesh, frames, &lo, &hi) && ZRNBoxOutsideView(GetProjection(), GetModelView(), lo, hi);
}

void ZRNRendererCore::DrawMesh(const ZRNMesh& mesh) {
    if (m_live) {
        DrawPasses(mesh, nullptr, OutsideView(mesh, {0}));
    }
}

void ZRNRendererCore::DrawMeshAt(const ZRNMesh& mesh, const ZRNFrameTime& time) {
    if (!m_live) {
        return;
    }
    // Frame 0 too: it is what is drawn where the mesh gives no blended pose.
    if (OutsideView(mesh, {0, time.frameA, time.frameB})) {
        DrawPasses(mesh, nullptr, true);
        return;
    }
    DrawPasses(mesh, mesh.BlendFrame(time, m_pose) ? &m_pose : nullptr, false);
}

void ZRNRendererCore::DrawPasses(const ZRNMesh& mesh, const ZRNMeshFrame* pose, bool hidden) {
    // The routine the pose's arrays hold (none yet): passes of one routine share them.
    bool built = false;
    ZRNDrawRoutine builtRoutine = ZRNDrawRoutine::Flat;
    ZRNForEachPass(
        *m_cache, [this](const ZRNMaterial& m) { ApplyMaterialState(m); },
        [&](int32_t kind) {
            // A hidden mesh draws nothing, but its passes leave their material state.
            if (hidden) {
                return;
            }
            const ZRNDrawRoutine routine = ZRNRoutineForKind(kind);
            if (pose == nullptr) {
                DrawArrays(mesh.GetArrays(routine));
                return;
            }
            if (!built || builtRoutine != routine) {
                ZRNBuildMeshArrays(routine, mesh, *pose, m_poseArrays);
                built = true;
                builtRoutine = routine;
            }
            DrawArrays(m_poseArrays);
        });
}

void ZRNRendererCore::ResetTextures() {
    if (m_live) {
        DeleteCachedTextures();
        m_cache = std::make_unique<ZRNTextureCache>();
    }
}

void ZRNRendererCore::OnResize(int32_t width, int32_t height) {
    m_clientWidth = width < 0 ? 0 : width;
    m_clientHeight = height < 0 ? 0 : height;
    if (m_live) {
        ApplyResize();
    }
}

void ZRNRendererCore::ApplyResize() {
    const KVLRect picture = PictureRect(m_clientWidth, m_clientHeight);
    m_letterboxed = ZRNIsLetterboxed(picture, m_clientWidth, m_clientHeight);
    SetViewport(picture);
    SetEnabled(Capability::Scissor, m_letterboxed);
    // A minimised window reports a height of 0: the projection keeps its aspect.
    KVLMatrix44 projection;
    if (ZRNProjectionFor(picture.width, picture.height, &projection)) {
        m_projection.back() = projection;
        MatrixChanged(true);
    }
}

float ZRNRendererCore::GetFieldOfView() const { return static_cast<float>(kZRNFieldOfView); }

KVLRect ZRNRendererCore::PictureRect(int32_t width, int32_t height) const { return KVLRect{0, 0, width, height}; }

void ZRNRendererCore::OnPresent() {
    if (m_live) {
        Present();
    }
}
