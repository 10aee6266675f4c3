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

// Whether the shader compiled (or the program linked); else false with the driver's
// log after the failure's text in *error.
bool Built(GLuint object, bool program, const char* failure, KVLString* error) {
    GLint ok = GL_FALSE;
    char log[512] = {};
    if (program) {
        glGetProgramiv(object, GL_LINK_STATUS, &ok);
        glGetProgramInfoLog(object, sizeof log, nullptr, log);
    } else {
        glGetShaderiv(object, GL_COMPILE_STATUS, &ok);
        glGetShaderInfoLog(object, sizeof log, nullptr, log);
    }
    if (ok == GL_TRUE) {
        return true;
    }
    error->Format("%s: %s", failure, log);
    return false;
}

GLuint Compile(GLenum type, const char* source, KVLString* error) {
    const GLuint shader = glCreateShader(type);
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    if (!Built(shader, false, "shader does not compile", error)) {
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

ZRNRendererGLES2::ZRNRendererGLES2(KVLWindow* window) : ZRNRendererCore(window) {}

ZRNRendererGLES2::~ZRNRendererGLES2() = default;

bool ZRNRendererGLES2::BuildProgram(KVLString* error) {
    const GLuint vertex = Compile(GL_VERTEX_SHADER, kVertexShader, error);
    const GLuint fragment = vertex != 0 ? Compile(GL_FRAGMENT_SHADER, kFragmentShader, error) : 0;
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
    if (!Built(program, true, "shaders do not link", error)) {
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
    return true;
}

bool ZRNRendererGLES2::StartDevice(KVLString* error) {
    if (m_program == 0 && !BuildProgram(error)) {
        return false;
    }
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
    glBlendFunc(GL_DST_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LEQUAL);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glEnableVertexAttribArray(kPosition);
    glEnableVertexAttribArray(kNormal);
    m_lightDirection = kZRNDefaultLightDirection;
    m_lightAmbient = 0.0f;
    m_fog = false;
    return true;
}

void ZRNRendererGLES2::ReleaseDevice(bool inContext) {
    if (inContext) {
        if (m_buffer != 0) {
            glDeleteBuffers(1, &m_buffer);
        }
        if (m_program != 0) {
            glDeleteProgram(m_program);
        }
    }
    m_buffer = 0;
    m_program = 0;
    m_uniforms.reset();
}

void ZRNRendererGLES2::ReadPixelsRGBA(int32_t width, int32_t height, uint8_t* rgba) {
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
}

void ZRNRendererGLES2::SetEnabled(Capability capability, bool on) {
    const GLenum gl = capability == Capability::Scissor ? GL_SCISSOR_TEST
                      : capability == Capability::Cull  ? GL_CULL_FACE
                                                         : GL_BLEND;
    if (on) {
        glEnable(gl);
    } else {
        glDisable(gl);
    }
}

void ZRNRendererGLES2::ClearBuffers(const KVLVector3& colour, bool depth) {
    // Only clearing writes alpha (1): see StartDevice.
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glClearColor(colour.x, colour.y, colour.z, 1.0f);
    glClear(depth ? GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT : GL_COLOR_BUFFER_BIT);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_FALSE);
}

void ZRNRendererGLES2::SetViewport(const KVLRect& picture) {
    glViewport(picture.x, picture.y, picture.width, picture.height);
    glScissor(picture.x, picture.y, picture.width, picture.height);
}

void ZRNRendererGLES2::SetLightState(const KVLVector3& vector, bool positional) {
    if (positional) {
        // Like glLightfv(GL_POSITION), the direction is taken through the modelview
        // matrix of the moment, whatever matrix is selected.
        m_lightDirection = GetModelView().ApplyDirection(vector).Normalized();
    } else {
        m_lightAmbient = kZRNLightAmbient;
    }
}

void ZRNRendererGLES2::SetFogState(const ZRNFogSettings& fog) {
    // GL_EXP uses the density alone; start and end belong to the linear mode.
    m_fog = fog.enabled;
    m_fogDensity = fog.density;
}

void ZRNRendererGLES2::BindTextureName(uint32_t texture) { glBindTexture(GL_TEXTURE_2D, texture); }

uint32_t ZRNRendererGLES2::CreateTexture(const KVLImage* picture, bool shared) {
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    // The shared picture: a single level of its own size, clamped to the edges (WebGL
    // samples a texture of other than power-of-two sides only so).
    const GLint wrap = shared ? GL_CLAMP_TO_EDGE : GL_REPEAT;
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, wrap);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, wrap);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, shared ? GL_NEAREST : GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, shared ? GL_NEAREST : GL_NEAREST_MIPMAP_LINEAR);
    if (picture == nullptr) {
        return name;
    }
    const std::vector<ZRNTextureLevel> levels = ZRNBuildMipmaps(*picture, m_maxTextureSize);
    for (size_t i = 0; i < levels.size(); ++i) {
        glTexImage2D(GL_TEXTURE_2D, static_cast<GLint>(i), GL_RGBA, levels[i].width, levels[i].height, 0, GL_RGBA,
                     GL_UNSIGNED_BYTE, levels[i].rgba.data());
    }
    return name;
}

void ZRNRendererGLES2::UploadSharedPicture(const KVLImage& picture) {
    const ZRNTextureLevel level = ZRNTextureFromImage(picture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, level.width, level.height, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                 level.rgba.data());
}

void ZRNRendererGLES2::DeleteTextures(int32_t count, const uint32_t* textures) { glDeleteTextures(count, textures); }

void ZRNRendererGLES2::DrawArrays(const ZRNMeshArrays& arrays) {
    const int32_t corners = arrays.GetCornerCount();
    if (corners == 0) {
        return;
    }
    // The arrays one after the other in the buffer.
    const auto bytes = [](const std::vector<float>& v) { return static_cast<GLsizeiptr>(v.size() * sizeof(float)); };
    const GLsizeiptr positions = bytes(arrays.positions);
    const GLsizeiptr normals = bytes(arrays.normals);
    const bool textured = arrays.texCoords.size() >= static_cast<size_t>(corners) * 2;
    glBindBuffer(GL_ARRAY_BUFFER, m_buffer);
    glBufferData(GL_ARRAY_BUFFER, positions + normals + (textured ? bytes(arrays.texCoords) : 0), nullptr,
                 GL_STREAM_DRAW);
    glBufferSubData(GL_ARRAY_BUFFER, 0, positions, arrays.positions.data());
    glBufferSubData(GL_ARRAY_BUFFER, positions, normals, arrays.normals.data());
    glVertexAttribPointer(kPosition, 3, GL_FLOAT, GL_FALSE, 0, nullptr);
    glVertexAttribPointer(kNormal, 3, GL_FLOAT, GL_FALSE, 0, reinterpret_cast<const void*>(positions));
    if (textured) {
        glBufferSubData(GL_ARRAY_BUFFER, positions + normals, bytes(arrays.texCoords), arrays.texCoords.data());
        glEnableVertexAttribArray(kTexCoord);
        glVertexAttribPointer(kTexCoord, 2, GL_FLOAT, GL_FALSE, 0,
                              reinterpret_cast<const void*>(positions + normals));
    } else {
        glDisableVertexAttribArray(kTexCoord);
        glVertexAttrib2f(kTexCoord, 0.0f, 0.0f);
    }
    SetUniforms();
    glDrawArrays(GL_TRIANGLES, 0, corners);
}

void ZRNRendererGLES2::SetUniforms() {
    const Uniforms& u = *m_uniforms;
    const KVLMatrix44& modelView = GetModelView();
    float normalMatrix[9];
    modelView.NormalMatrix(normalMatrix);
    // The row-vector matrices in memory are OpenGL's column-major ones.
    glUniformMatrix4fv(u.modelView, 1, GL_FALSE, modelView.m);
    glUniformMatrix4fv(u.projection, 1, GL_FALSE, GetProjection().m);
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
}
