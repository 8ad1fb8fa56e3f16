// The OpenGL implementation of the graphics device (see Graphics_Device.h): OpenGL 2.1
// compatibility fixed function on the SDL2 window's GL context, translating Direct3D 9's
// numbers and rules:
// - glClipControl(GL_UPPER_LEFT, GL_ZERO_TO_ONE): row 0 of every target is the top row, depth
//   runs 0..1, viewport and scissor rectangles are Direct3D's own;
// - every projection is shifted by half a pixel so that Direct3D 9's pixel centres (at whole
//   coordinates) come out;
// - first-vertex provoking (flat shading), sampler objects for filter and wrap, clears
//   scissored to the viewport;
// - every target is a texture-backed framebuffer: render-target surfaces, the back buffer
//   (shown on the window by a flipped blit at Present) and texture levels; depth-stencil
//   surfaces are renderbuffers (24/8, falling back to 16).
// Vertex buffers live in system memory and are drawn as client arrays.
#define GL_GLEXT_PROTOTYPES
#include <GL/gl.h>
#include <GL/glext.h>
#include <SDL2/SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "Files/Graphics_API/Graphics_Device.h"
#include "Files/Graphics_API/Graphics_Matrix.h"

namespace {

bool g_contextAlive = false; // GL objects are deleted only while their context exists

struct GLTexture : GfxTexture {
    GLuint name = 0;
    bool compressed = false;
    ~GLTexture() override
    {
        if (g_contextAlive && name) glDeleteTextures(1, &name);
    }
};

struct GLSurface : GfxSurface {
    GLuint texture = 0;      // colour: the texture drawn into / read from
    GLuint renderbuffer = 0; // depth-stencil
    bool ownsTexture = false;
    GLTexture* parent = nullptr;
    ~GLSurface() override
    {
        if (g_contextAlive) {
            if (ownsTexture && texture) glDeleteTextures(1, &texture);
            if (renderbuffer) glDeleteRenderbuffers(1, &renderbuffer);
        }
        if (parent) parent->Release();
    }
};

struct GLVertexBuffer : GfxVertexBuffer {
    std::vector<uint8_t> data;
};

GLenum CompareFunc(uint32_t v)
{
    static const GLenum k[] = {GL_ALWAYS, GL_NEVER, GL_LESS, GL_EQUAL, GL_LEQUAL, GL_GREATER, GL_NOTEQUAL, GL_GEQUAL, GL_ALWAYS};
    return v <= 8 ? k[v] : GL_ALWAYS;
}

GLenum BlendFactor(uint32_t v)
{
    switch (v) {
    case 1: return GL_ZERO;
    case 2: return GL_ONE;
    case 3: return GL_SRC_COLOR;
    case 4: return GL_ONE_MINUS_SRC_COLOR;
    case 5: return GL_SRC_ALPHA;
    case 6: return GL_ONE_MINUS_SRC_ALPHA;
    case 7: return GL_DST_ALPHA;
    case 8: return GL_ONE_MINUS_DST_ALPHA;
    case 9: return GL_DST_COLOR;
    case 10: return GL_ONE_MINUS_DST_COLOR;
    case 11: return GL_SRC_ALPHA_SATURATE;
    case 14: return GL_CONSTANT_COLOR;
    case 15: return GL_ONE_MINUS_CONSTANT_COLOR;
    default: return GL_ONE;
    }
}

float BitsToFloat(uint32_t u)
{
    float f;
    std::memcpy(&f, &u, 4);
    return f;
}

void ColourToFloats(uint32_t argb, float* out)
{
    out[0] = ((argb >> 16) & 0xFF) / 255.0f;
    out[1] = ((argb >> 8) & 0xFF) / 255.0f;
    out[2] = (argb & 0xFF) / 255.0f;
    out[3] = (argb >> 24) / 255.0f;
}

class GLDevice : public IGfxDevice {
public:
    GLDevice(SDL_Window* window, SDL_GLContext context, const GfxPresentParams& pp)
        : m_window(window), m_context(context)
    {
        g_contextAlive = true;
        glClipControl(GL_UPPER_LEFT, GL_ZERO_TO_ONE);
        glProvokingVertex(GL_FIRST_VERTEX_CONVENTION);
        glGenFramebuffers(1, &m_fbo);
        glGenFramebuffers(1, &m_readFbo);
        glGenFramebuffers(1, &m_drawFbo);
        glGenSamplers(1, &m_sampler);
        glBindSampler(0, m_sampler);
        SetSampler(GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        SetSampler(GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        SetSampler(GL_TEXTURE_WRAP_S, GL_REPEAT);
        SetSampler(GL_TEXTURE_WRAP_T, GL_REPEAT);
        glEnable(GL_COLOR_MATERIAL);
        glColorMaterial(GL_FRONT_AND_BACK, GL_DIFFUSE);
        glFrontFace(GL_CCW);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        glFogi(GL_FOG_MODE, GL_LINEAR);
        for (int i = 0; i < 3; ++i) grm::Identity(m_matrix[i]);
        CreateBackBuffer(pp);
        SDL_GL_SetSwapInterval(pp.presentationInterval == 0 ? 1 : 0);
    }

    ~GLDevice() override
    {
        if (m_backColour) m_backColour->Release();
        if (m_backDepth) m_backDepth->Release();
        if (m_colour) m_colour->Release();
        if (m_depth) m_depth->Release();
        glDeleteFramebuffers(1, &m_fbo);
        glDeleteFramebuffers(1, &m_readFbo);
        glDeleteFramebuffers(1, &m_drawFbo);
        glDeleteSamplers(1, &m_sampler);
        g_contextAlive = false;
        SDL_GL_DeleteContext(m_context);
    }

    uint32_t TestCooperativeLevel() override { return GFX_OK; }

    bool Reset(GfxPresentParams& pp) override
    {
        if (m_colour) m_colour->Release();
        if (m_depth) m_depth->Release();
        m_colour = m_depth = nullptr;
        if (m_backColour) m_backColour->Release();
        if (m_backDepth) m_backDepth->Release();
        m_backColour = m_backDepth = nullptr;
        SDL_SetWindowFullscreen(m_window, pp.windowed ? 0 : SDL_WINDOW_FULLSCREEN_DESKTOP);
        SDL_GL_SetSwapInterval(pp.presentationInterval == 0 ? 1 : 0);
        return CreateBackBuffer(pp);
    }

    bool BeginScene() override { return true; }
    bool EndScene() override { return true; }

    bool Present() override
    {
        int dw = 0, dh = 0;
        SDL_GL_GetDrawableSize(m_window, &dw, &dh);
        glBindFramebuffer(GL_READ_FRAMEBUFFER, m_readFbo);
        glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, m_backColour->texture, 0);
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
        glDisable(GL_SCISSOR_TEST);
        int bw = m_backColour->width, bh = m_backColour->height;
        // Row 0 of the back buffer is its top row: flipped onto the window.
        glBlitFramebuffer(0, 0, bw, bh, 0, dh, dw, 0, GL_COLOR_BUFFER_BIT,
                          (bw == dw && bh == dh) ? GL_NEAREST : GL_LINEAR);
        SDL_GL_SwapWindow(m_window);
        m_fboDirty = true;
        return true;
    }

    bool GetDisplayMode(GfxDisplayMode* mode) override
    {
        SDL_DisplayMode m;
        int index = SDL_GetWindowDisplayIndex(m_window);
        if (SDL_GetDesktopDisplayMode(index < 0 ? 0 : index, &m) != 0) return false;
        *mode = {m.w, m.h, m.refresh_rate, GFX_FMT_X8R8G8B8};
        return true;
    }

    uint32_t GetRasterCaps() override { return GFX_PRASTERCAPS_FOGTABLE | GFX_PRASTERCAPS_FOGVERTEX; }

    void Clear(uint32_t flags, uint32_t argb, float z, uint32_t stencil) override
    {
        BindTarget();
        GLbitfield bits = 0;
        glEnable(GL_SCISSOR_TEST);
        glScissor(m_vp.x, m_vp.y, m_vp.w, m_vp.h);
        if (flags & GFX_CLEAR_TARGET) {
            float c[4];
            ColourToFloats(argb, c);
            glClearColor(c[0], c[1], c[2], c[3]);
            glColorMask(1, 1, 1, 1);
            bits |= GL_COLOR_BUFFER_BIT;
        }
        if ((flags & GFX_CLEAR_ZBUFFER) && m_depth) {
            glClearDepth(z);
            glDepthMask(1);
            bits |= GL_DEPTH_BUFFER_BIT;
        }
        if ((flags & GFX_CLEAR_STENCIL) && m_depth) {
            glClearStencil((GLint)stencil);
            glStencilMask(0xFF);
            bits |= GL_STENCIL_BUFFER_BIT;
        }
        if (bits) glClear(bits);
        glDisable(GL_SCISSOR_TEST);
        glColorMask(m_colourMask & 1, (m_colourMask >> 1) & 1, (m_colourMask >> 2) & 1, (m_colourMask >> 3) & 1);
        glDepthMask(m_zwrite);
    }

    void SetViewport(const GfxViewport& vp) override
    {
        m_vp = vp;
        glViewport(vp.x, vp.y, vp.w, vp.h);
        glDepthRange(vp.minZ, vp.maxZ);
        m_matricesDirty = true;
    }

    void SetTransform(uint32_t slot, const float* m) override
    {
        int i = slot == GFX_TS_VIEW ? 0 : slot == GFX_TS_PROJECTION ? 1 : 2;
        std::memcpy(m_matrix[i], m, 16 * sizeof(float));
        m_matricesDirty = true;
        if (i == 0) m_lightsDirty = true;
    }

    void SetRenderState(uint32_t state, uint32_t v) override
    {
        switch (state) {
        case GFX_RS_ZENABLE: Enable(GL_DEPTH_TEST, v != 0); break;
        case GFX_RS_FILLMODE: glPolygonMode(GL_FRONT_AND_BACK, v == 1 ? GL_POINT : v == 2 ? GL_LINE : GL_FILL); break;
        case GFX_RS_SHADEMODE: glShadeModel(v == 1 ? GL_FLAT : GL_SMOOTH); break;
        case GFX_RS_ZWRITEENABLE:
            m_zwrite = v != 0;
            glDepthMask(m_zwrite);
            break;
        case GFX_RS_ALPHATESTENABLE: Enable(GL_ALPHA_TEST, v != 0); break;
        case GFX_RS_SRCBLEND: m_src = v; ApplyBlend(); break;
        case GFX_RS_DESTBLEND: m_dst = v; ApplyBlend(); break;
        case GFX_RS_CULLMODE:
            // With the upper-left origin, GL's facing test sees the y-down screen: clockwise
            // there is GL's clockwise, which is its back face (front is counter-clockwise).
            if (v == 2 || v == 3) {
                glEnable(GL_CULL_FACE);
                glCullFace(v == 2 ? GL_BACK : GL_FRONT);
            } else {
                glDisable(GL_CULL_FACE);
            }
            break;
        case GFX_RS_ZFUNC: glDepthFunc(CompareFunc(v)); break;
        case GFX_RS_ALPHAREF: m_alphaRef = v; glAlphaFunc(CompareFunc(m_alphaFunc), (v & 0xFF) / 255.0f); break;
        case GFX_RS_ALPHAFUNC: m_alphaFunc = v; glAlphaFunc(CompareFunc(v), (m_alphaRef & 0xFF) / 255.0f); break;
        case GFX_RS_ALPHABLENDENABLE: Enable(GL_BLEND, v != 0); break;
        case GFX_RS_FOGENABLE: Enable(GL_FOG, v != 0); break;
        case GFX_RS_FOGCOLOR: {
            float c[4];
            ColourToFloats(v, c);
            glFogfv(GL_FOG_COLOR, c);
            break;
        }
        case GFX_RS_FOGTABLEMODE:
        case GFX_RS_FOGVERTEXMODE:
            if (v != 0) glFogi(GL_FOG_MODE, v == 1 ? GL_EXP : v == 2 ? GL_EXP2 : GL_LINEAR);
            break;
        case GFX_RS_FOGSTART: glFogf(GL_FOG_START, BitsToFloat(v)); break;
        case GFX_RS_FOGEND: glFogf(GL_FOG_END, BitsToFloat(v)); break;
        case GFX_RS_STENCILENABLE: Enable(GL_STENCIL_TEST, v != 0); break;
        case GFX_RS_LIGHTING:
            Enable(GL_LIGHTING, v != 0);
            m_lightsDirty = true;
            break;
        case GFX_RS_AMBIENT: {
            float c[4];
            ColourToFloats(v, c);
            glLightModelfv(GL_LIGHT_MODEL_AMBIENT, c);
            break;
        }
        case GFX_RS_COLORWRITEENABLE:
            m_colourMask = v & 15;
            glColorMask(v & 1, (v >> 1) & 1, (v >> 2) & 1, (v >> 3) & 1);
            break;
        case GFX_RS_BLENDOP: {
            static const GLenum k[] = {GL_FUNC_ADD, GL_FUNC_ADD, GL_FUNC_SUBTRACT, GL_FUNC_REVERSE_SUBTRACT, GL_MIN, GL_MAX};
            glBlendEquation(v <= 5 ? k[v] : GL_FUNC_ADD);
            break;
        }
        default: break; // last pixel, dither, specular, range fog, stencil fail: no GL meaning here
        }
    }

    void SetSamplerState(uint32_t stage, uint32_t type, uint32_t v) override
    {
        if (stage != 0) return;
        switch (type) {
        case GFX_SAMP_MAGFILTER: SetSampler(GL_TEXTURE_MAG_FILTER, v == GFX_TEXF_LINEAR ? GL_LINEAR : GL_NEAREST); break;
        case GFX_SAMP_MINFILTER: SetSampler(GL_TEXTURE_MIN_FILTER, v == GFX_TEXF_LINEAR ? GL_LINEAR : GL_NEAREST); break;
        case GFX_SAMP_ADDRESSU:
        case GFX_SAMP_ADDRESSV: {
            GLint mode = v == 1 ? GL_REPEAT : v == 2 ? GL_MIRRORED_REPEAT : v == 4 ? GL_CLAMP_TO_BORDER : GL_CLAMP_TO_EDGE;
            SetSampler(type == GFX_SAMP_ADDRESSU ? GL_TEXTURE_WRAP_S : GL_TEXTURE_WRAP_T, mode);
            break;
        }
        default: break;
        }
    }

    void SetTextureStageState(uint32_t stage, uint32_t type, uint32_t v) override
    {
        if (stage != 0) return;
        if (type == GFX_TSS_COLOROP) {
            m_modulate = v != GFX_TOP_SELECTARG1;
            glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, m_modulate ? GL_MODULATE : GL_REPLACE);
        }
    }

    void SetTexture(uint32_t stage, GfxTexture* texture) override
    {
        if (stage != 0) return;
        GLTexture* t = static_cast<GLTexture*>(texture);
        GLuint name = t ? t->name : 0;
        if (name == m_bound && (name != 0) == m_textureEnabled) return;
        m_bound = name;
        if (name) {
            glBindTexture(GL_TEXTURE_2D, name);
            Enable(GL_TEXTURE_2D, true);
            m_textureEnabled = true;
        } else {
            Enable(GL_TEXTURE_2D, false);
            m_textureEnabled = false;
        }
    }

    void SetMaterial(const GfxMaterial& m) override
    {
        glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, &m.ambient.r);
        glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, &m.diffuse.r);
        glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, &m.specular.r);
        glMaterialfv(GL_FRONT_AND_BACK, GL_EMISSION, &m.emissive.r);
        glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, m.power);
    }

    void SetLight(uint32_t index, const GfxLight& light) override
    {
        if (index >= 8) return;
        m_lights[index] = light;
        m_lightsDirty = true;
    }

    void LightEnable(uint32_t index, bool on) override
    {
        if (index >= 8) return;
        Enable(GL_LIGHT0 + index, on);
    }

    GfxTexture* CreateTexture(int32_t w, int32_t h, int32_t levels, uint32_t usage, uint32_t format, uint32_t pool) override
    {
        if (w < 1 || h < 1 || w > 16384 || h > 16384) return nullptr;
        GLenum internal;
        bool compressed = false;
        switch (format) {
        case GFX_FMT_A8R8G8B8:
        case GFX_FMT_X8R8G8B8: internal = GL_RGBA8; break;
        case GFX_FMT_A4R4G4B4: internal = GL_RGBA4; break;
        case GFX_FMT_R16F: internal = GL_R16F; break;
        case GFX_FMT_R32F: internal = GL_R32F; break;
        case GFX_FMT_DXT1: internal = GL_COMPRESSED_RGBA_S3TC_DXT1_EXT; compressed = true; break;
        case GFX_FMT_DXT2:
        case GFX_FMT_DXT3: internal = GL_COMPRESSED_RGBA_S3TC_DXT3_EXT; compressed = true; break;
        case GFX_FMT_DXT4:
        case GFX_FMT_DXT5: internal = GL_COMPRESSED_RGBA_S3TC_DXT5_EXT; compressed = true; break;
        default: return nullptr;
        }
        GLTexture* t = new GLTexture();
        t->width = w;
        t->height = h;
        t->levels = levels < 1 ? 1 : levels;
        t->format = format;
        t->usage = usage;
        t->pool = pool;
        t->compressed = compressed;
        glGenTextures(1, &t->name);
        glBindTexture(GL_TEXTURE_2D, t->name);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
        if (!compressed) glTexImage2D(GL_TEXTURE_2D, 0, internal, w, h, 0, GL_BGRA, GL_UNSIGNED_BYTE, nullptr);
        RestoreBinding();
        while (glGetError() != GL_NO_ERROR) {
            t->Release();
            return nullptr;
        }
        return t;
    }

    GfxSurface* CreateRenderTarget(int32_t w, int32_t h, uint32_t format, uint32_t) override
    {
        if (w < 1 || h < 1 || w > 16384 || h > 16384) return nullptr;
        GLSurface* s = new GLSurface();
        s->width = w;
        s->height = h;
        s->format = format;
        s->ownsTexture = true;
        glGenTextures(1, &s->texture);
        glBindTexture(GL_TEXTURE_2D, s->texture);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, w, h, 0, GL_BGRA, GL_UNSIGNED_BYTE, nullptr);
        RestoreBinding();
        if (glGetError() != GL_NO_ERROR) {
            s->Release();
            return nullptr;
        }
        return s;
    }

    GfxSurface* CreateDepthStencilSurface(int32_t w, int32_t h, uint32_t format, uint32_t) override
    {
        if (w < 1 || h < 1 || w > 16384 || h > 16384) return nullptr;
        GLSurface* s = new GLSurface();
        s->width = w;
        s->height = h;
        s->format = format;
        s->depth = true;
        glGenRenderbuffers(1, &s->renderbuffer);
        glBindRenderbuffer(GL_RENDERBUFFER, s->renderbuffer);
        glRenderbufferStorage(GL_RENDERBUFFER, format == GFX_FMT_D16 ? GL_DEPTH_COMPONENT16 : GL_DEPTH24_STENCIL8, w, h);
        if (glGetError() != GL_NO_ERROR) {
            s->format = GFX_FMT_D16;
            glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT16, w, h);
            if (glGetError() != GL_NO_ERROR) {
                s->Release();
                return nullptr;
            }
        }
        return s;
    }

    GfxSurface* GetSurfaceLevel(GfxTexture* texture, uint32_t level) override
    {
        if (!texture || level != 0) return nullptr;
        GLTexture* t = static_cast<GLTexture*>(texture);
        GLSurface* s = new GLSurface();
        s->width = t->width;
        s->height = t->height;
        s->format = t->format;
        s->texture = t->name;
        s->parent = t;
        t->AddRef();
        return s;
    }

    GfxSurface* GetRenderTarget(uint32_t index) override
    {
        if (index != 0 || !m_colour) return nullptr;
        m_colour->AddRef();
        return m_colour;
    }

    GfxSurface* GetDepthStencilSurface() override
    {
        if (!m_depth) return nullptr;
        m_depth->AddRef();
        return m_depth;
    }

    bool SetRenderTarget(uint32_t index, GfxSurface* surface) override
    {
        if (index != 0 || !surface) return false;
        surface->AddRef();
        if (m_colour) m_colour->Release();
        m_colour = static_cast<GLSurface*>(surface);
        m_fboDirty = true;
        // As in Direct3D, a new target brings a viewport of its whole size.
        SetViewport({0, 0, surface->width, surface->height, 0.0f, 1.0f});
        return true;
    }

    bool SetDepthStencilSurface(GfxSurface* surface) override
    {
        if (surface) surface->AddRef();
        if (m_depth) m_depth->Release();
        m_depth = static_cast<GLSurface*>(surface);
        m_fboDirty = true;
        return true;
    }

    bool StretchRect(GfxSurface* src, const GfxRect* sr, GfxSurface* dst, const GfxRect* dr, uint32_t filter) override
    {
        GLSurface* s = static_cast<GLSurface*>(src);
        GLSurface* d = static_cast<GLSurface*>(dst);
        if (!s || !d || !s->texture || !d->texture) return false;
        GfxRect a = sr ? *sr : GfxRect{0, 0, s->width, s->height};
        GfxRect b = dr ? *dr : GfxRect{0, 0, d->width, d->height};
        glBindFramebuffer(GL_READ_FRAMEBUFFER, m_readFbo);
        glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, s->texture, 0);
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, m_drawFbo);
        glFramebufferTexture2D(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, d->texture, 0);
        glDisable(GL_SCISSOR_TEST);
        glColorMask(1, 1, 1, 1);
        glBlitFramebuffer(a.left, a.top, a.right, a.bottom, b.left, b.top, b.right, b.bottom, GL_COLOR_BUFFER_BIT,
                          filter == GFX_TEXF_LINEAR ? GL_LINEAR : GL_NEAREST);
        glColorMask(m_colourMask & 1, (m_colourMask >> 1) & 1, (m_colourMask >> 2) & 1, (m_colourMask >> 3) & 1);
        m_fboDirty = true;
        return glGetError() == GL_NO_ERROR;
    }

    bool UpdateTexture(GfxTexture* texture, uint32_t level, const void* pixels, uint32_t pitch) override
    {
        GLTexture* t = static_cast<GLTexture*>(texture);
        if (!t || level != 0 || !pixels) return false;
        glBindTexture(GL_TEXTURE_2D, t->name);
        if (t->compressed) {
            GLenum internal = t->format == GFX_FMT_DXT1 ? GL_COMPRESSED_RGBA_S3TC_DXT1_EXT
                              : (t->format == GFX_FMT_DXT2 || t->format == GFX_FMT_DXT3) ? GL_COMPRESSED_RGBA_S3TC_DXT3_EXT
                                                                                         : GL_COMPRESSED_RGBA_S3TC_DXT5_EXT;
            uint32_t blocks = (uint32_t)((t->width + 3) / 4) * (uint32_t)((t->height + 3) / 4);
            uint32_t bytes = blocks * (t->format == GFX_FMT_DXT1 ? 8u : 16u);
            glCompressedTexImage2D(GL_TEXTURE_2D, 0, internal, t->width, t->height, 0, (GLsizei)bytes, pixels);
        } else {
            bool sixteen = t->format == GFX_FMT_A4R4G4B4;
            uint32_t bpp = sixteen ? 2 : 4;
            glPixelStorei(GL_UNPACK_ROW_LENGTH, (GLint)(pitch / bpp));
            glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, t->width, t->height, GL_BGRA,
                            sixteen ? GL_UNSIGNED_SHORT_4_4_4_4_REV : GL_UNSIGNED_INT_8_8_8_8_REV, pixels);
            glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
        }
        RestoreBinding();
        return glGetError() == GL_NO_ERROR;
    }

    bool ReadSurface(GfxSurface* src, const GfxRect& r, uint32_t* out) override
    {
        GLSurface* s = static_cast<GLSurface*>(src);
        if (!s || !s->texture || r.left < 0 || r.top < 0 || r.right > s->width || r.bottom > s->height ||
            r.right <= r.left || r.bottom <= r.top)
            return false;
        glBindFramebuffer(GL_READ_FRAMEBUFFER, m_readFbo);
        glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, s->texture, 0);
        glReadPixels(r.left, r.top, r.right - r.left, r.bottom - r.top, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, out);
        m_fboDirty = true;
        return glGetError() == GL_NO_ERROR;
    }

    void PreLoad(GfxTexture*) override {}
    uint32_t SetPriority(GfxTexture*, uint32_t) override { return 0; }

    GfxVertexBuffer* CreateVertexBuffer(uint32_t bytes, uint32_t usage, uint32_t fvf, uint32_t pool) override
    {
        if (bytes == 0 || bytes > (1u << 30)) return nullptr;
        GLVertexBuffer* vb = new GLVertexBuffer();
        vb->size = bytes;
        vb->usage = usage;
        vb->fvf = fvf;
        vb->pool = pool;
        vb->data.resize(bytes);
        return vb;
    }

    void* LockVertexBuffer(GfxVertexBuffer* vb, uint32_t offset, uint32_t, uint32_t) override
    {
        GLVertexBuffer* b = static_cast<GLVertexBuffer*>(vb);
        if (!b || offset > b->size) return nullptr;
        return b->data.data() + offset;
    }

    void UnlockVertexBuffer(GfxVertexBuffer*) override {}
    void SetFVF(uint32_t fvf) override { m_fvf = fvf; }

    void SetStreamSource(uint32_t stream, GfxVertexBuffer* vb, uint32_t offset, uint32_t stride) override
    {
        if (stream != 0) return;
        m_stream = static_cast<GLVertexBuffer*>(vb);
        m_streamOffset = offset;
        m_stride = stride;
    }

    void DrawPrimitive(uint32_t type, uint32_t start, uint32_t count) override
    {
        if (!m_stream) return;
        uint32_t n = VertexCount(type, count);
        uint64_t end = (uint64_t)m_streamOffset + (uint64_t)(start + n) * m_stride;
        if (n == 0 || end > m_stream->size) return;
        Draw(type, n, m_stream->data.data() + m_streamOffset + (size_t)start * m_stride, m_stride);
    }

    void DrawPrimitiveUP(uint32_t type, uint32_t count, const void* data, uint32_t stride) override
    {
        uint32_t n = VertexCount(type, count);
        if (n && data) Draw(type, n, (const uint8_t*)data, stride);
    }

private:
    static uint32_t VertexCount(uint32_t type, uint32_t count)
    {
        switch (type) {
        case GFX_PT_POINTLIST: return count;
        case GFX_PT_LINELIST: return count * 2;
        case GFX_PT_LINESTRIP: return count + 1;
        case GFX_PT_TRIANGLELIST: return count * 3;
        case GFX_PT_TRIANGLESTRIP:
        case GFX_PT_TRIANGLEFAN: return count + 2;
        default: return 0;
        }
    }

    void Enable(GLenum cap, bool on)
    {
        if (on) glEnable(cap);
        else glDisable(cap);
    }

    void SetSampler(GLenum pname, GLint v) { glSamplerParameteri(m_sampler, pname, v); }

    void RestoreBinding() { glBindTexture(GL_TEXTURE_2D, m_bound); }

    void ApplyBlend()
    {
        if (m_src == 12) glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        else if (m_src == 13) glBlendFunc(GL_ONE_MINUS_SRC_ALPHA, GL_SRC_ALPHA);
        else glBlendFunc(BlendFactor(m_src), BlendFactor(m_dst));
    }

    bool CreateBackBuffer(const GfxPresentParams& pp)
    {
        int32_t w = pp.backBufferWidth > 0 ? pp.backBufferWidth : 1, h = pp.backBufferHeight > 0 ? pp.backBufferHeight : 1;
        m_backColour = static_cast<GLSurface*>(CreateRenderTarget(w, h, GFX_FMT_A8R8G8B8, 0));
        if (!m_backColour) return false;
        if (pp.autoDepthStencil) m_backDepth = static_cast<GLSurface*>(CreateDepthStencilSurface(w, h, pp.depthStencilFormat, 0));
        SetRenderTarget(0, m_backColour);
        SetDepthStencilSurface(m_backDepth);
        return true;
    }

    void BindTarget()
    {
        glBindFramebuffer(GL_FRAMEBUFFER, m_fbo);
        if (!m_fboDirty) return;
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, m_colour ? m_colour->texture : 0, 0);
        GLuint rb = m_depth ? m_depth->renderbuffer : 0;
        bool stencil = m_depth && m_depth->format != GFX_FMT_D16;
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, rb);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_STENCIL_ATTACHMENT, GL_RENDERBUFFER, stencil ? rb : 0);
        m_fboDirty = false;
    }

    void ApplyMatrices()
    {
        if (m_lightsDirty) {
            glMatrixMode(GL_MODELVIEW);
            glLoadMatrixf(m_matrix[0]);
            for (uint32_t i = 0; i < 8; ++i) {
                const GfxLight& l = m_lights[i];
                GLenum id = GL_LIGHT0 + i;
                float zero[4] = {0, 0, 0, 1};
                glLightfv(id, GL_DIFFUSE, &l.diffuse.r);
                glLightfv(id, GL_AMBIENT, zero);
                glLightfv(id, GL_SPECULAR, zero);
                if (l.type == GFX_LIGHT_DIRECTIONAL) {
                    float d[4] = {-l.direction[0], -l.direction[1], -l.direction[2], 0.0f};
                    glLightfv(id, GL_POSITION, d);
                    glLightf(id, GL_CONSTANT_ATTENUATION, 1.0f);
                    glLightf(id, GL_LINEAR_ATTENUATION, 0.0f);
                } else {
                    float p[4] = {l.position[0], l.position[1], l.position[2], 1.0f};
                    glLightfv(id, GL_POSITION, p);
                    glLightf(id, GL_CONSTANT_ATTENUATION, l.attenuation0);
                    glLightf(id, GL_LINEAR_ATTENUATION, l.attenuation1);
                    glLightf(id, GL_QUADRATIC_ATTENUATION, l.attenuation2);
                }
            }
            m_lightsDirty = false;
            m_matricesDirty = true;
        }
        if (!m_matricesDirty) return;
        // Direct3D 9 samples pixels at whole coordinates, GL at half ones: half a pixel right
        // and down, applied in clip space so that it also holds for perspective.
        float p[16];
        std::memcpy(p, m_matrix[1], sizeof(p));
        float dx = m_vp.w > 0 ? 1.0f / (float)m_vp.w : 0.0f, dy = m_vp.h > 0 ? -1.0f / (float)m_vp.h : 0.0f;
        for (int r = 0; r < 4; ++r) {
            p[r * 4 + 0] += dx * p[r * 4 + 3];
            p[r * 4 + 1] += dy * p[r * 4 + 3];
        }
        glMatrixMode(GL_PROJECTION);
        glLoadMatrixf(p);
        float mv[16];
        grm::Multiply(mv, m_matrix[2], m_matrix[0]);
        glMatrixMode(GL_MODELVIEW);
        glLoadMatrixf(mv);
        m_matricesDirty = false;
    }

    void Draw(uint32_t type, uint32_t n, const uint8_t* base, uint32_t stride)
    {
        BindTarget();
        ApplyMatrices();
        uint32_t fvf = m_fvf;
        uint32_t offset = 12;
        glEnableClientState(GL_VERTEX_ARRAY);
        glVertexPointer(3, GL_FLOAT, (GLsizei)stride, base);
        if (fvf & GFX_FVF_NORMAL) {
            glEnableClientState(GL_NORMAL_ARRAY);
            glNormalPointer(GL_FLOAT, (GLsizei)stride, base + offset);
            offset += 12;
        } else {
            glDisableClientState(GL_NORMAL_ARRAY);
            glNormal3f(0, 0, -1);
        }
        if (fvf & GFX_FVF_DIFFUSE) {
            glEnableClientState(GL_COLOR_ARRAY);
            glColorPointer(GL_BGRA, GL_UNSIGNED_BYTE, (GLsizei)stride, base + offset);
            offset += 4;
        } else {
            glDisableClientState(GL_COLOR_ARRAY);
            glColor4f(1, 1, 1, 1);
        }
        if (fvf & GFX_FVF_TEX1) {
            glEnableClientState(GL_TEXTURE_COORD_ARRAY);
            glTexCoordPointer(2, GL_FLOAT, (GLsizei)stride, base + offset);
        } else {
            glDisableClientState(GL_TEXTURE_COORD_ARRAY);
            glTexCoord2f(0, 0);
        }
        static const GLenum kModes[] = {GL_POINTS, GL_POINTS, GL_LINES, GL_LINE_STRIP, GL_TRIANGLES, GL_TRIANGLE_STRIP, GL_TRIANGLE_FAN};
        glDrawArrays(type <= 6 ? kModes[type] : GL_POINTS, 0, (GLsizei)n);
    }

    SDL_Window* m_window;
    SDL_GLContext m_context;
    GLuint m_fbo = 0, m_readFbo = 0, m_drawFbo = 0, m_sampler = 0;
    GLSurface* m_backColour = nullptr;
    GLSurface* m_backDepth = nullptr;
    GLSurface* m_colour = nullptr;
    GLSurface* m_depth = nullptr;
    bool m_fboDirty = true;
    GfxViewport m_vp{0, 0, 1, 1, 0, 1};
    float m_matrix[3][16];
    bool m_matricesDirty = true, m_lightsDirty = true;
    GfxLight m_lights[8] = {};
    uint32_t m_src = 2, m_dst = 1, m_alphaRef = 0, m_alphaFunc = 8, m_colourMask = 15;
    bool m_zwrite = true, m_modulate = true, m_textureEnabled = false;
    GLuint m_bound = 0;
    uint32_t m_fvf = GFX_FVF_2D;
    GLVertexBuffer* m_stream = nullptr;
    uint32_t m_streamOffset = 0, m_stride = 0;
};

class GLSystem : public IGfxSystem {
public:
    int32_t GetAdapterCount() override { return Init() ? 1 : 0; }

    bool GetAdapterInfo(int32_t ordinal, GfxAdapterInfo* info) override
    {
        if (ordinal != 0 || !Init()) return false;
        std::memset(info, 0, sizeof(*info));
        std::strcpy(info->driver, "OpenGL");
        std::snprintf(info->description, sizeof(info->description), "SDL %s", SDL_GetCurrentVideoDriver());
        const char* name = SDL_GetDisplayName(0);
        std::snprintf(info->deviceName, sizeof(info->deviceName), "%s", name ? name : "display0");
        info->hal = true;
        info->groupSize = 1;
        return true;
    }

    bool GetAdapterDisplayMode(int32_t ordinal, GfxDisplayMode* mode) override
    {
        SDL_DisplayMode m;
        if (!Init() || SDL_GetDesktopDisplayMode(ordinal, &m) != 0) return false;
        *mode = {m.w, m.h, m.refresh_rate, GFX_FMT_X8R8G8B8};
        return true;
    }

    bool CheckMultiSample(int32_t, uint32_t, bool, uint32_t) override { return false; }

    IGfxDevice* CreateDevice(int32_t, void* window, uint32_t, GfxPresentParams& pp) override
    {
        SDL_Window* w = static_cast<SDL_Window*>(window);
        if (!w) return nullptr;
        SDL_GLContext ctx = SDL_GL_CreateContext(w);
        if (!ctx) return nullptr;
        SDL_GL_MakeCurrent(w, ctx);
        return new GLDevice(w, ctx, pp);
    }

private:
    bool Init()
    {
        if (SDL_WasInit(SDL_INIT_VIDEO)) return true;
        return SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
    }
};

} // namespace

IGfxSystem* GfxSystem_CreateGL() { return new GLSystem(); }
