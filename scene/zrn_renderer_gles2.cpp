// ZRNRendererGLES2: the renderer interface on OpenGL ES 2.0 / WebGL 1 shaders.
#include "scene/zrn_renderer_gles2.h"

#include <GLES2/gl2.h>

#include <algorithm>
#include <cmath>

#include "scene/zrn_texturelevels.h"

namespace {

// OpenGL 1.1's fixed-function subset, per vertex: light 0 directional with white
// diffuse and specular, the infinite viewer's half vector, one-sided lighting with the
// colour sum clamped; sphere-map coordinates from the eye-space position and unit
// normal; the fog distance (the eye-space depth).
constexpr char kVertexShader[] = R"(
attribute vec3 a_position;
attribute vec3 a_normal;
attribute vec2 a_texCoord;
uniform mat4 u_modelView;
uniform mat4 u_projection;
uniform mat3 u_normalMatrix;
uniform bool u_lighting;
uniform vec3 u_lightDirection;
uniform vec3 u_halfVector;
uniform vec3 u_ambient;
uniform vec4 u_diffuse;
uniform float u_shininess;
uniform bool u_sphereMap;
varying vec4 v_colour;
varying vec2 v_texCoord;
varying float v_fogDepth;
void main() {
    vec4 eye = u_modelView * vec4(a_position, 1.0);
    gl_Position = u_projection * eye;
    vec3 n = u_normalMatrix * a_normal;
    float len = length(n);
    if (len > 0.0) {
        n /= len;
    }
    if (u_lighting) {
        vec3 c = u_ambient;
        float nl = dot(n, u_lightDirection);
        if (nl > 0.0) {
            c += nl * u_diffuse.rgb;
            float nh = max(dot(n, u_halfVector), 0.0);
            // pow(0, 0) is undefined in GLSL; OpenGL takes it as 1.
            c += vec3(u_shininess > 0.0 ? pow(nh, u_shininess) : 1.0);
        }
        v_colour = clamp(vec4(c, u_diffuse.a), 0.0, 1.0);
    } else {
        v_colour = vec4(1.0);
    }
    if (u_sphereMap) {
        vec3 u = normalize(eye.xyz);
        vec3 r = u - 2.0 * n * dot(n, u);
        float m = 2.0 * sqrt(r.x * r.x + r.y * r.y + (r.z + 1.0) * (r.z + 1.0));
        v_texCoord = m > 0.0 ? vec2(r.x / m + 0.5, r.y / m + 0.5) : vec2(0.5);
    } else {
        v_texCoord = a_texCoord;
    }
    v_fogDepth = abs(eye.z);
}
)";

// Texture modulate, then GL_EXP fog. The factor is taken per fragment from the
// interpolated distance, which is what Mesa does for OpenGL 1.1 whatever the fog hint
// (measured: per-vertex factors differ by a level here and there).
constexpr char kFragmentShader[] = R"(
#ifdef GL_FRAGMENT_PRECISION_HIGH
precision highp float;
#else
precision mediump float;
#endif
uniform bool u_textured;
uniform sampler2D u_texture;
uniform vec3 u_fogColour;
uniform bool u_fog;
uniform float u_fogDensity;
varying vec4 v_colour;
varying vec2 v_texCoord;
varying float v_fogDepth;
void main() {
    vec4 c = v_colour;
    if (u_textured) {
        c *= texture2D(u_texture, v_texCoord);
    }
    float f = u_fog ? clamp(exp(-u_fogDensity * v_fogDepth), 0.0, 1.0) : 1.0;
    gl_FragColor = vec4(mix(u_fogColour, c.rgb, f), c.a);
}
)";

enum Attribute : GLuint { kPosition = 0, kNormal = 1, kTexCoord = 2 };
// Floats per corner in the vertex buffer: position, normal, texture coordinate.
constexpr int32_t kStride = 8;
// OpenGL's matrix stacks hold at least 32 entries (Mesa: exactly 32); a push beyond
// that is refused there, and here.
constexpr size_t kStackDepth = 32;

void SetEnabled(GLenum capability, bool on) {
    if (on) {
        glEnable(capability);
    } else {
        glDisable(capability);
    }
}

GLuint Compile(GLenum type, const char* source, KVLString* error) {
    const GLuint shader = glCreateShader(type);
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    GLint ok = GL_FALSE;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (ok != GL_TRUE) {
        char log[512] = {};
        glGetShaderInfoLog(shader, sizeof log, nullptr, log);
        error->Format("shader does not compile: %s", log);
        glDeleteShader(shader);
        return 0;
    }
    return shader;
}

}  // namespace

struct ZRNRendererGLES2::Uniforms {
    GLint modelView, projection, normalMatrix, lighting, lightDirection, halfVector, ambient, diffuse, shininess,
        sphereMap, fog, fogDensity, textured, texture, fogColour;
};

ZRNRendererGLES2::ZRNRendererGLES2(KVLWindow* window) : m_window(window) {}

ZRNRendererGLES2::~ZRNRendererGLES2() = default;

bool ZRNRendererGLES2::Initialise() {
    if (m_program == 0) {
        const GLuint vertex = Compile(GL_VERTEX_SHADER, kVertexShader, &m_shaderError);
        const GLuint fragment = vertex != 0 ? Compile(GL_FRAGMENT_SHADER, kFragmentShader, &m_shaderError) : 0;
        if (fragment == 0) {
            if (vertex != 0) {
                glDeleteShader(vertex);
            }
            return false;
        }
        const GLuint program = glCreateProgram();
        glAttachShader(program, vertex);
        glAttachShader(program, fragment);
        glBindAttribLocation(program, kPosition, "a_position");
        glBindAttribLocation(program, kNormal, "a_normal");
        glBindAttribLocation(program, kTexCoord, "a_texCoord");
        glLinkProgram(program);
        // The program keeps what it needs; the shaders go with it.
        glDeleteShader(vertex);
        glDeleteShader(fragment);
        GLint ok = GL_FALSE;
        glGetProgramiv(program, GL_LINK_STATUS, &ok);
        if (ok != GL_TRUE) {
            char log[512] = {};
            glGetProgramInfoLog(program, sizeof log, nullptr, log);
            m_shaderError.Format("shaders do not link: %s", log);
            glDeleteProgram(program);
            return false;
        }
        m_program = program;
        auto at = [program](const char* name) { return glGetUniformLocation(program, name); };
        m_uniforms = std::make_unique<Uniforms>(Uniforms{
            at("u_modelView"), at("u_projection"), at("u_normalMatrix"), at("u_lighting"), at("u_lightDirection"),
            at("u_halfVector"), at("u_ambient"), at("u_diffuse"), at("u_shininess"), at("u_sphereMap"), at("u_fog"),
            at("u_fogDensity"), at("u_textured"), at("u_texture"), at("u_fogColour")});
        glGenBuffers(1, &m_buffer);
    }
    m_live = true;
    glUseProgram(m_program);
    glUniform1i(m_uniforms->texture, 0);
    glUniform3f(m_uniforms->fogColour, kZRNFogGrey, kZRNFogGrey, kZRNFogGrey);
    glActiveTexture(GL_TEXTURE0);
    GLint maxSize = 64;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
    // A power of two, as the level builder wants (every implementation reports one).
    m_maxTextureSize = 64;
    while (m_maxTextureSize <= maxSize / 2) {
        m_maxTextureSize *= 2;
    }
    glDisable(GL_STENCIL_TEST);
    glDisable(GL_DITHER);
    // Blending weighs by destination alpha. The OpenGL 1.1 renderer's pictures have no
    // alpha channel, so there it is always 1; a colour buffer with alpha (a WebGL
    // canvas by default) keeps the 1 that Clear writes, since drawing leaves alpha
    // alone. A page also composites such a canvas by its alpha.
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_FALSE);
    glDisable(GL_CULL_FACE);
    glCullFace(GL_BACK);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    m_projection.assign(1, KVLMatrix44::Perspective(kZRNFieldOfView, 1.0, kZRNNearPlane, kZRNFarPlane));
    m_modelView.assign(1, KVLMatrix44::Identity());
    m_projectionMode = false;
    m_lightDirection = kZRNDefaultLightDirection;
    m_lightAmbient = 0.0f;
    m_fog = false;
    SetLight(nullptr, KVLVector3(0.5f, 0.0f, 1.5f), false);
    m_cache = std::make_unique<ZRNTextureCache>();
    ApplyMaterial(ZRNRedPlastic());
    if (m_clientWidth >= 0) {
        ApplyResize();
    }
    return true;
}

std::unique_ptr<KVLImage> ZRNRendererGLES2::ReadPicture(int32_t width, int32_t height) {
    std::vector<uint8_t> rgba(static_cast<size_t>(width) * static_cast<size_t>(height) * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    return ZRNImageFromRGBARows(rgba.data(), width, height);
}

void ZRNRendererGLES2::ReleaseGL() {
    if (m_live || m_program != 0) {
        if (m_cache != nullptr && !m_cache->GetTextures().IsEmpty()) {
            glDeleteTextures(m_cache->GetTextures().GetCount(), m_cache->GetTextures().GetData());
        }
        if (m_sharedTexture != 0) {
            glDeleteTextures(1, &m_sharedTexture);
        }
        if (m_buffer != 0) {
            glDeleteBuffers(1, &m_buffer);
        }
        if (m_program != 0) {
            glDeleteProgram(m_program);
        }
    }
    m_sharedTexture = 0;
    m_buffer = 0;
    m_program = 0;
    m_uniforms.reset();
    m_cache.reset();
    m_live = false;
}

void ZRNRendererGLES2::Clear(const KVLVector3& colour) {
    if (!m_live) {
        return;
    }
    // Only clearing writes alpha (1): see Initialise.
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    if (m_letterboxed) {
        // The bars outside the picture stay black in every buffer.
        glDisable(GL_SCISSOR_TEST);
        glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        glEnable(GL_SCISSOR_TEST);
    }
    glClearColor(colour.x, colour.y, colour.z, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_FALSE);
}

KVLMatrix44& ZRNRendererGLES2::Current() { return m_projectionMode ? m_projection.back() : m_modelView.back(); }

void ZRNRendererGLES2::LookAt(const KVLVector3& eye, const KVLVector3& centre) {
    if (m_live) {
        Current() = KVLMatrix44::Product(KVLMatrix44::LookAt(eye, centre, KVLVector3::UnitY), Current());
    }
}

void ZRNRendererGLES2::SetMatrixMode(bool projection) {
    if (m_live) {
        m_projectionMode = projection;
    }
}

void ZRNRendererGLES2::LoadMatrix(const KVLMatrix34& m) {
    if (m_live) {
        Current() = KVLMatrix44::From(m);
    }
}

void ZRNRendererGLES2::PushMatrix() {
    if (!m_live) {
        return;
    }
    std::vector<KVLMatrix44>& stack = m_projectionMode ? m_projection : m_modelView;
    if (stack.size() < kStackDepth) {
        stack.push_back(stack.back());
    }
}

void ZRNRendererGLES2::PopMatrix() {
    if (!m_live) {
        return;
    }
    std::vector<KVLMatrix44>& stack = m_projectionMode ? m_projection : m_modelView;
    if (stack.size() > 1) {
        stack.pop_back();
    }
}

void ZRNRendererGLES2::MultMatrix(const KVLMatrix34& m) {
    if (m_live) {
        Current() = KVLMatrix44::Product(KVLMatrix44::From(m), Current());
    }
}

void ZRNRendererGLES2::SetLight(const void* /*tag*/, const KVLVector3& vector, bool positional) {
    if (!m_live) {
        return;
    }
    if (positional) {
        // Like glLightfv(GL_POSITION), the direction is taken through the modelview
        // matrix of the moment, whatever matrix is selected.
        m_lightDirection = m_modelView.back().ApplyDirection(vector).Normalized();
    } else {
        m_lightAmbient = kZRNLightAmbient;
    }
}

void ZRNRendererGLES2::SetFog(const ZRNFogSettings& fog) {
    if (!m_live) {
        return;
    }
    // GL_EXP uses the density alone; start and end belong to the linear mode.
    m_fog = fog.enabled;
    m_fogDensity = fog.density;
}

void ZRNRendererGLES2::ApplyMaterial(const ZRNMaterial& material) {
    if (!m_live) {
        return;
    }
    ApplyMaterialState(material);
    m_cache->SetCurrent(&material);
}

void ZRNRendererGLES2::ApplyMaterialState(const ZRNMaterial& m) {
    m_state = ZRNMaterialStateFor(m);
    SetEnabled(GL_CULL_FACE, m_state.cull);
    SetEnabled(GL_BLEND, m_state.blend);
    if (m_state.blend) {
        glBlendFunc(GL_DST_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    }
    if (m_state.textured) {
        BindTexture(m);
    }
}

void ZRNRendererGLES2::BindTexture(const ZRNMaterial& m) {
    const uint32_t cached = m_cache->Find(m.name);
    if (cached != 0) {
        glBindTexture(GL_TEXTURE_2D, cached);
        return;
    }
    const KVLImage* image = m.GetImage();
    const bool usable = image != nullptr && image->pixels != nullptr && KVLImageSizeOK(image->width, image->height);
    if (m.IsSharedImage()) {
        // One texture object of its own, a single level of the picture's own size with
        // nearest filtering, filled again every time. Clamped to the edges: WebGL
        // samples a texture of other than power-of-two sides only so.
        if (m_sharedTexture == 0) {
            glGenTextures(1, &m_sharedTexture);
            glBindTexture(GL_TEXTURE_2D, m_sharedTexture);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        } else {
            glBindTexture(GL_TEXTURE_2D, m_sharedTexture);
        }
        if (usable) {
            const ZRNTextureLevel level = ZRNTextureFromImage(*image);
            glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, level.width, level.height, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                         level.rgba.data());
        }
        return;
    }
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST_MIPMAP_LINEAR);
    if (usable) {
        const std::vector<ZRNTextureLevel> levels = ZRNBuildMipmaps(*image, m_maxTextureSize);
        for (size_t i = 0; i < levels.size(); ++i) {
            glTexImage2D(GL_TEXTURE_2D, static_cast<GLint>(i), GL_RGBA, levels[i].width, levels[i].height, 0, GL_RGBA,
                         GL_UNSIGNED_BYTE, levels[i].rgba.data());
        }
    }
    m_cache->Add(m.name, name);
}

void ZRNRendererGLES2::PushMaterial() {
    if (m_live) {
        m_cache->Push();
    }
}

void ZRNRendererGLES2::PopMaterial() {
    if (!m_live) {
        return;
    }
    if (const ZRNMaterial* changed = m_cache->Pop()) {
        ApplyMaterialState(*changed);
    }
}

void ZRNRendererGLES2::DrawMesh(const ZRNMesh& mesh) {
    if (!m_live) {
        return;
    }
    ZRNForEachPass(
        *m_cache, [this](const ZRNMaterial& m) { ApplyMaterialState(m); },
        [this, &mesh](int32_t kind) { DrawPass(kind, mesh); });
}

void ZRNRendererGLES2::DrawPass(int32_t kind, const ZRNMesh& mesh) {
    ZRNBuildMeshArrays(ZRNRoutineForKind(kind), mesh, m_arrays);
    const int32_t corners = m_arrays.GetCornerCount();
    if (corners == 0) {
        return;
    }
    const bool haveTexCoords = m_arrays.texCoords.size() >= static_cast<size_t>(corners) * 2;
    m_interleaved.resize(static_cast<size_t>(corners) * kStride);
    for (size_t i = 0; i < static_cast<size_t>(corners); ++i) {
        float* out = &m_interleaved[i * kStride];
        std::copy_n(&m_arrays.positions[i * 3], 3, out);
        std::copy_n(&m_arrays.normals[i * 3], 3, out + 3);
        out[6] = haveTexCoords ? m_arrays.texCoords[i * 2] : 0.0f;
        out[7] = haveTexCoords ? m_arrays.texCoords[i * 2 + 1] : 0.0f;
    }
    glBindBuffer(GL_ARRAY_BUFFER, m_buffer);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(m_interleaved.size() * sizeof(float)),
                 m_interleaved.data(), GL_STREAM_DRAW);
    const GLsizei stride = kStride * sizeof(float);
    glEnableVertexAttribArray(kPosition);
    glEnableVertexAttribArray(kNormal);
    glEnableVertexAttribArray(kTexCoord);
    glVertexAttribPointer(kPosition, 3, GL_FLOAT, GL_FALSE, stride, nullptr);
    glVertexAttribPointer(kNormal, 3, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<const void*>(3 * sizeof(float)));
    glVertexAttribPointer(kTexCoord, 2, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<const void*>(6 * sizeof(float)));

    const Uniforms& u = *m_uniforms;
    const KVLMatrix44& modelView = m_modelView.back();
    float normalMatrix[9];
    modelView.NormalMatrix(normalMatrix);
    // The row-vector matrices in memory are OpenGL's column-major ones.
    glUniformMatrix4fv(u.modelView, 1, GL_FALSE, modelView.m);
    glUniformMatrix4fv(u.projection, 1, GL_FALSE, m_projection.back().m);
    glUniformMatrix3fv(u.normalMatrix, 1, GL_FALSE, normalMatrix);
    glUniform1i(u.lighting, m_state.lighting ? 1 : 0);
    const KVLVector3 half = (m_lightDirection + KVLVector3::UnitZ).Normalized();
    glUniform3f(u.lightDirection, m_lightDirection.x, m_lightDirection.y, m_lightDirection.z);
    glUniform3f(u.halfVector, half.x, half.y, half.z);
    // Light 0's ambient and the light model's global ambient, both on the material's.
    const float ambient = m_lightAmbient + kZRNGlobalAmbient;
    glUniform3f(u.ambient, ambient * m_state.ambient[0], ambient * m_state.ambient[1], ambient * m_state.ambient[2]);
    glUniform4fv(u.diffuse, 1, m_state.diffuse);
    // OpenGL refuses shininess outside 0..128, keeping the previous value; the scenes
    // stay inside, and the clamp keeps pow defined.
    glUniform1f(u.shininess, std::clamp(m_state.shininess, 0.0f, 128.0f));
    glUniform1i(u.sphereMap, m_state.textured && m_state.sphereMap ? 1 : 0);
    glUniform1i(u.fog, m_fog ? 1 : 0);
    glUniform1f(u.fogDensity, m_fogDensity);
    glUniform1i(u.textured, m_state.textured ? 1 : 0);
    glDrawArrays(GL_TRIANGLES, 0, corners);
}

void ZRNRendererGLES2::ResetTextures() {
    if (!m_live) {
        return;
    }
    if (m_cache != nullptr && !m_cache->GetTextures().IsEmpty()) {
        glDeleteTextures(m_cache->GetTextures().GetCount(), m_cache->GetTextures().GetData());
    }
    m_cache = std::make_unique<ZRNTextureCache>();
}

void ZRNRendererGLES2::OnResize(int32_t width, int32_t height) {
    m_clientWidth = width < 0 ? 0 : width;
    m_clientHeight = height < 0 ? 0 : height;
    if (m_live) {
        ApplyResize();
    }
}

void ZRNRendererGLES2::ApplyResize() {
    const KVLRect picture = PictureRect(m_clientWidth, m_clientHeight);
    m_letterboxed = ZRNIsLetterboxed(picture, m_clientWidth, m_clientHeight);
    glViewport(picture.x, picture.y, picture.width, picture.height);
    glScissor(picture.x, picture.y, picture.width, picture.height);
    SetEnabled(GL_SCISSOR_TEST, m_letterboxed);
    // A minimised window reports a height of 0: the projection keeps its aspect.
    KVLMatrix44 projection;
    if (ZRNProjectionFor(picture.width, picture.height, &projection)) {
        m_projection.back() = projection;
    }
}

KVLRect ZRNRendererGLES2::PictureRect(int32_t width, int32_t height) const { return KVLRect{0, 0, width, height}; }

void ZRNRendererGLES2::OnPresent() {
    if (m_live) {
        Present();
    }
}
