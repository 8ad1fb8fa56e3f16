// The OpenGL implementation of the graphics device (see Graphics_Device.h): OpenGL 2.1
// compatibility fixed function on the SDL2 window's GL context, translating Direct3D 9's
// numbers and rules:
// - every projection is moved by half a pixel, so that Direct3D 9's pixel centres (on whole
//   coordinates) come out, and turned over in y with the clip origin chosen to match
//   (glClipControl, ZERO_TO_ONE depth): row 0 of every target is the top row, viewport and
//   scissor rectangles are Direct3D's own, and a pixel centre on a triangle's edge goes to
//   the top and left edges as in Direct3D (ApplyMatrices);
// - points and lines are placed by the pixel rule (Graphics_PixelRule.h) in double precision:
//   a point is sent to its pixel's centre; a line of flat 2D drawing as GL's own line along
//   the same straight line, between ends the rasteriser keeps, a program leaving out what lies
//   beyond its pixels (DrawFlatThin); other lines as their band with corners on the
//   rasteriser's grid, or as GL's own short lines, or as the rectangles of their runs (DrawThin);
// - textured drawing in scaled views is placed texel by texel by the texel rule
//   (Graphics_TexelRule.h): the module answers runs of vertices, which are drawn here by GL's
//   own interpolation or by a program evaluating each pixel's texel in double precision
//   (DrawExactTexels);
// - first-vertex provoking (flat shading), sampler objects for filter and wrap, clears
//   scissored to the viewport;
// - render-target surfaces and texture levels are texture-backed framebuffers; depth-stencil
//   surfaces are renderbuffers (24/8, falling back to 16);
// - the back buffer is the window's own framebuffer, so Present only swaps. Its rows run from
//   the bottom, so while it is the target the clip origin is GL's lower left (the picture is
//   the same way up as in a texture) and rectangles are turned over; when the drawable's size
//   differs from the back buffer's, rectangles are scaled onto it, as Present would stretch a
//   Direct3D back buffer. The window has no depth-stencil buffer: only the finished picture
//   is drawn there, with depth and stencil off;
// - 32-bit colour textures are stored as B, G, R, A (unsized GL_RGBA with BGRA data), the
//   window's own layout, so uploads, read-back and copies onto the window move bytes as they
//   are instead of swizzling them.
// - a read-back (of a surface, the screen texture or the window) and an unfiltered copy
//   between textures first wait until GL has finished what was drawn (WaitForDrawing). Mesa's
//   software rasteriser (22.3) draws behind the program; a texture that was drawn from (the
//   screen texture shown in the window, a surface drawn on the screen) and then drawn into,
//   and is no longer the target, is read at once, without waiting for that drawing: the
//   picture from before it came back (screen_save, draw_getpixel, surface_getpixel).
// Vertex buffers live in system memory and are drawn as client arrays: on Mesa's software
// rasteriser the draw reads them in place, where a buffer object filled every frame would cost
// one more copy. Static buffers (recorded 3D geometry, drawn again and again) are also kept in
// a buffer object, which the draws read without copying.
#define GL_GLEXT_PROTOTYPES
#include <GL/gl.h>
#include <GL/glext.h>
#include <SDL2/SDL.h>

#include <malloc.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "Files/Base/RealConvert.h"
#include "Files/Graphics_API/Graphics_Device.h"
#include "Files/Graphics_API/Graphics_Matrix.h"
#include "Files/Graphics_API/Graphics_PixelRule.h"
#include "Files/Graphics_API/Graphics_TexelRule.h"
#include "Files/Graphics_API/Linux/Graphics_EventsM.h"

namespace {

bool g_contextAlive = false; // GL objects are deleted only while their context exists
uint32_t g_contextSerial = 0; // counts the contexts made; objects of an older one are dead

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
    bool window = false;     // the back buffer: the window's default framebuffer
    GLTexture* parent = nullptr;

    // Depth-stencil clears made while the surface was not attached, in order: rectangle
    // (GL's x, y, w, h), buffers, values.
    struct Clear {
        GLint rect[4];
        GLbitfield bits;
        float z;
        GLint stencil;
    };
    static const int kDeferred = 4;
    Clear deferred[kDeferred];
    int deferredCount = 0;

    // Keeps a clear for later; false when there is no room. A clear of at least every buffer
    // and pixel of those kept replaces them.
    bool DeferClear(const GLint* r, GLbitfield bits, float z, GLint stencil)
    {
        bool coversAll = true;
        for (int i = 0; i < deferredCount && coversAll; ++i) {
            const Clear& c = deferred[i];
            // Edges in 64 bits: a view port may reach the ends of the 32-bit range.
            coversAll = (c.bits & ~bits) == 0 && r[0] <= c.rect[0] && r[1] <= c.rect[1] &&
                        int64_t(r[0]) + r[2] >= int64_t(c.rect[0]) + c.rect[2] &&
                        int64_t(r[1]) + r[3] >= int64_t(c.rect[1]) + c.rect[3];
        }
        if (coversAll) deferredCount = 0;
        if (deferredCount == kDeferred) return false;
        deferred[deferredCount++] = {{r[0], r[1], r[2], r[3]}, bits, z, stencil};
        return true;
    }

    ~GLSurface() override
    {
        if (g_contextAlive) {
            if (ownsTexture && texture) glDeleteTextures(1, &texture);
            if (renderbuffer) glDeleteRenderbuffers(1, &renderbuffer);
        }
        if (parent) parent->Release();
    }
};

// The buffer object bound to GL_ARRAY_BUFFER (0: none, vertices come from client arrays).
GLuint g_boundVertexBuffer = 0;

// Dynamic buffers (the batch's, refilled every frame) are drawn as client arrays. A static one
// (made without the dynamic usage: recorded 3D geometry, drawn many times) is also copied into
// a buffer object when it is unlocked, so that its draws read it where it lies instead of
// copying every vertex again at every draw.
struct GLVertexBuffer : GfxVertexBuffer {
    std::vector<uint8_t> data;
    GLuint object = 0;
    uint32_t serial = 0; // the context the object belongs to
    bool Live() const { return object && serial == g_contextSerial && g_contextAlive; }
    ~GLVertexBuffer() override
    {
        if (!Live()) return;
        glDeleteBuffers(1, &object);
        if (g_boundVertexBuffer == object) g_boundVertexBuffer = 0; // GL unbinds a deleted buffer
    }
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

// Texture storage of the 32-bit colour formats: unsized RGBA given BGRA bytes makes GL keep
// B, G, R, A (a sized GL_RGBA8 is stored R, G, B, A on Mesa and swizzled at every transfer).
const GLint kColourInternal = GL_RGBA;

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
        ++g_contextSerial;
        g_boundVertexBuffer = 0;
        glClipControl(GL_LOWER_LEFT, GL_ZERO_TO_ONE); // the textures' origin (the window's: BindTarget)
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
        glFrontFace(GL_CW); // the projection is turned over in y (ApplyMatrices)
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        glFogi(GL_FOG_MODE, GL_LINEAR);
        // What the driver makes: a larger texture or render buffer is refused before GL is
        // asked (GL would fail it, or a driver might make it only in part).
        glGetIntegerv(GL_MAX_TEXTURE_SIZE, &m_maxTexture);
        glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &m_maxRenderbuffer);
        for (int i = 0; i < 3; ++i) grm::Identity(m_matrix[i]);
        const char* driver = SDL_GetCurrentVideoDriver();
        int alpha = 0;
        SDL_GL_GetAttribute(SDL_GL_ALPHA_SIZE, &alpha);
        m_offscreen = driver && std::strcmp(driver, "offscreen") == 0 && alpha >= 8;
        SDL_GL_GetDrawableSize(m_window, &m_surfaceW, &m_surfaceH);
        CreateBackBuffer(pp); // the programs are made by the first draw (SelectProgram)
        SDL_GL_SetSwapInterval(pp.presentationInterval == 0 ? 1 : 0);
    }

    ~GLDevice() override
    {
        if (m_backColour) m_backColour->Release();
        if (m_colour) m_colour->Release();
        if (m_depth) m_depth->Release();
        if (m_attachedDepth) m_attachedDepth->Release();
        if (m_attachedColour) m_attachedColour->Release();
        glDeleteFramebuffers(1, &m_fbo);
        glDeleteFramebuffers(1, &m_readFbo);
        glDeleteFramebuffers(1, &m_drawFbo);
        glDeleteSamplers(1, &m_sampler);
        glUseProgram(0);
        for (GLuint prog : m_programs)
            if (prog) glDeleteProgram(prog);
        if (m_flatProgram) glDeleteProgram(m_flatProgram);
        if (m_mixProgram) glDeleteProgram(m_mixProgram);
        for (GLuint prog : m_exactProgram)
            if (prog) glDeleteProgram(prog);
        g_contextAlive = false;
        g_boundVertexBuffer = 0;
        SDL_GL_DeleteContext(m_context);
    }

    uint32_t TestCooperativeLevel() override { return GFX_OK; }

    bool Reset(GfxPresentParams& pp) override
    {
        FlushFlat();
        if (m_colour) m_colour->Release();
        if (m_depth) m_depth->Release();
        m_colour = m_depth = nullptr;
        if (m_backColour) m_backColour->Release();
        m_backColour = nullptr;
        SDL_SetWindowFullscreen(m_window, pp.windowed ? 0 : SDL_WINDOW_FULLSCREEN_DESKTOP);
        SDL_GL_SetSwapInterval(pp.presentationInterval == 0 ? 1 : 0);
        return CreateBackBuffer(pp);
    }

    bool BeginScene() override { return true; }
    bool EndScene() override
    {
        FlushFlat();
        return true;
    }

    // The back buffer is the window's framebuffer: the picture is already there.
    bool Present() override
    {
        FlushFlat();
        SDL_GL_SwapWindow(m_window);
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
    int32_t GetMaxTextureSide() override { return m_maxTexture; }

    void Clear(uint32_t flags, uint32_t argb, float z, uint32_t stencil) override
    {
        FlushFlat();
        BindTarget();
        GLint r[4];
        TargetRect(m_vp.x, m_vp.y, m_vp.w, m_vp.h, r);
        GLbitfield bits = 0;
        if (flags & GFX_CLEAR_TARGET) {
            float c[4];
            ColourToFloats(argb, c);
            glClearColor(c[0], c[1], c[2], c[3]);
            glColorMask(1, 1, 1, 1);
            bits |= GL_COLOR_BUFFER_BIT;
        }
        GLbitfield depthBits = 0;
        if (m_depth) {
            if (flags & GFX_CLEAR_ZBUFFER) depthBits |= GL_DEPTH_BUFFER_BIT;
            if (flags & GFX_CLEAR_STENCIL) depthBits |= GL_STENCIL_BUFFER_BIT;
        }
        // A depth-stencil surface not attached keeps the clear until it is (AttachDepth); so
        // does one set while the window is the target, which has no depth-stencil buffer.
        if (depthBits && (OnWindow() || m_attachedDepth != m_depth) &&
            !m_depth->DeferClear(r, depthBits, z, (GLint)stencil)) {
            m_keepDepth = true; // no room to keep it: attach the surface now
            BindTarget();
        }
        if (depthBits && !OnWindow() && m_attachedDepth == m_depth) {
            glClearDepth(z);
            glDepthMask(1);
            glClearStencil((GLint)stencil);
            glStencilMask(0xFF);
            bits |= depthBits;
        }
        if (bits) {
            glEnable(GL_SCISSOR_TEST);
            glScissor(r[0], r[1], r[2], r[3]);
            glClear(bits);
            glDisable(GL_SCISSOR_TEST);
            glColorMask(m_colourMask & 1, (m_colourMask >> 1) & 1, (m_colourMask >> 2) & 1, (m_colourMask >> 3) & 1);
            glDepthMask(m_zwrite);
        }
    }

    void SetViewport(const GfxViewport& vp) override
    {
        FlushFlat();
        m_vp = vp;
        m_viewportDirty = true; // applied with the target (the window's is turned over)
        glDepthRange(vp.minZ, vp.maxZ);
        m_matricesDirty = true;
    }

    bool GetViewport(GfxViewport* vp) override
    {
        *vp = m_vp;
        return true;
    }

    void SetHalfPixelFaded(bool faded) override
    {
        if (faded == m_halfPixelFaded) return;
        m_halfPixelFaded = faded;
        m_projectionSent = kProjectionNone;
    }

    void SetExactTransform(uint32_t slot, const double* m) override
    {
        if (slot != GFX_TS_VIEW) return;
        m_exactViewPending = m != nullptr;
        if (m) std::memcpy(m_exactViewNext, m, sizeof(m_exactViewNext));
    }

    void SetExactProjection(const GfxExactProjection& p) override
    {
        m_exactProjectionNext = p;
        m_exactProjectionPending = true;
    }

    void SetTransform(uint32_t slot, const float* m) override
    {
        int i = slot == GFX_TS_VIEW ? 0 : slot == GFX_TS_PROJECTION ? 1 : 2;
        std::memcpy(m_matrix[i], m, 16 * sizeof(float));
        if (i == 0) {
            // The exact view told just before stands while it is the one set.
            bool exact = m_exactViewPending;
            for (int k = 0; k < 16 && exact; ++k) exact = (float)m_exactViewNext[k] == m[k];
            m_exactViewValid = exact;
            if (exact) std::memcpy(m_exactView, m_exactViewNext, sizeof(m_exactView));
            m_exactViewPending = false;
        } else if (i == 1) {
            // The exact projection told just before; otherwise the one set, as it stands.
            if (m_exactProjectionPending) {
                m_exactProjection = m_exactProjectionNext;
            } else {
                for (int k = 0; k < 16; ++k) m_exactProjection.m[k] = m[k];
                m_exactProjection.divide[0] = m_exactProjection.divide[1] = 1.0;
                m_exactProjection.offset[0] = m_exactProjection.offset[1] = 0.0;
                m_exactProjection.offsetOver[0] = m_exactProjection.offsetOver[1] = 0.0;
            }
            m_exactProjectionPending = false;
        }
        m_exactReady = false;
        m_matricesDirty = true;
        if (i == 0) m_lightsDirty = true;
    }

    void SetRenderState(uint32_t state, uint32_t v) override
    {
        FlushFlat();
        switch (state) {
        case GFX_RS_ZENABLE:
            m_depthTest = v != 0;
            Enable(GL_DEPTH_TEST, m_depthTest);
            break;
        case GFX_RS_FILLMODE:
            m_polygonMode = v == 1 ? GL_POINT : v == 2 ? GL_LINE : GL_FILL;
            glPolygonMode(GL_FRONT_AND_BACK, m_polygonMode);
            break;
        case GFX_RS_SHADEMODE:
            m_flat = v == 1;
            glShadeModel(m_flat ? GL_FLAT : GL_SMOOTH);
            break;
        case GFX_RS_ZWRITEENABLE:
            m_zwrite = v != 0;
            glDepthMask(m_zwrite);
            break;
        case GFX_RS_ALPHATESTENABLE: Enable(GL_ALPHA_TEST, v != 0); break;
        case GFX_RS_SRCBLEND: m_src = v; ApplyBlend(); break;
        case GFX_RS_DESTBLEND: m_dst = v; ApplyBlend(); break;
        case GFX_RS_CULLMODE:
            // The projection turned over in y, GL's facing test sees clockwise on the y-down
            // screen as counter-clockwise; its front faces are the clockwise ones (glFrontFace),
            // so Direct3D's clockwise cull is GL's back.
            m_cull = v == 2 || v == 3;
            if (m_cull) {
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
        case GFX_RS_FOGENABLE:
            m_fog = v != 0;
            Enable(GL_FOG, m_fog);
            break;
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
        case GFX_RS_STENCILENABLE:
            m_stencilTest = v != 0;
            Enable(GL_STENCIL_TEST, m_stencilTest);
            break;
        case GFX_RS_LIGHTING:
            m_lighting = v != 0;
            Enable(GL_LIGHTING, m_lighting);
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
        case GFX_SAMP_MAGFILTER:
            m_linear[0] = v == GFX_TEXF_LINEAR;
            SetSampler(GL_TEXTURE_MAG_FILTER, m_linear[0] ? GL_LINEAR : GL_NEAREST);
            break;
        case GFX_SAMP_MINFILTER:
            m_linear[1] = v == GFX_TEXF_LINEAR;
            SetSampler(GL_TEXTURE_MIN_FILTER, m_linear[1] ? GL_LINEAR : GL_NEAREST);
            break;
        case GFX_SAMP_ADDRESSU:
        case GFX_SAMP_ADDRESSV: {
            GLint mode = v == 1 ? GL_REPEAT : v == 2 ? GL_MIRRORED_REPEAT : v == 4 ? GL_CLAMP_TO_BORDER : GL_CLAMP_TO_EDGE;
            m_wrap[type == GFX_SAMP_ADDRESSU ? 0 : 1] = v == 1 ? 1 : v == 2 ? 2 : v == 4 ? 3 : 0;
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
        m_boundAlpha = t && t->format != GFX_FMT_R16F && t->format != GFX_FMT_R32F;
        m_boundW = t ? t->width : 0;
        m_boundH = t ? t->height : 0;
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
        if (w < 1 || h < 1 || w > m_maxTexture || h > m_maxTexture) return nullptr;
        GLint internal;
        bool compressed = false;
        switch (format) {
        case GFX_FMT_A8R8G8B8:
        case GFX_FMT_X8R8G8B8: internal = kColourInternal; break;
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
        if (w < 1 || h < 1 || w > m_maxTexture || h > m_maxTexture) return nullptr;
        GLSurface* s = new GLSurface();
        s->width = w;
        s->height = h;
        s->format = format;
        s->ownsTexture = true;
        glGenTextures(1, &s->texture);
        glBindTexture(GL_TEXTURE_2D, s->texture);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
        glTexImage2D(GL_TEXTURE_2D, 0, kColourInternal, w, h, 0, GL_BGRA, GL_UNSIGNED_BYTE, nullptr);
        RestoreBinding();
        if (glGetError() != GL_NO_ERROR) {
            s->Release();
            return nullptr;
        }
        return s;
    }

    GfxSurface* CreateDepthStencilSurface(int32_t w, int32_t h, uint32_t format, uint32_t) override
    {
        if (w < 1 || h < 1 || w > m_maxRenderbuffer || h > m_maxRenderbuffer) return nullptr;
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
        FlushFlat();
        if (index != 0 || !surface) return false;
        surface->AddRef();
        if (m_colour) m_colour->Release();
        m_colour = static_cast<GLSurface*>(surface);
        m_fboDirty = m_attachDirty = true;
        m_keepDepth = false;
        // As in Direct3D, a new target brings a viewport of its whole size.
        SetViewport({0, 0, surface->width, surface->height, 0.0f, 1.0f});
        return true;
    }

    bool SetDepthStencilSurface(GfxSurface* surface) override
    {
        FlushFlat();
        if (surface) surface->AddRef();
        if (m_depth) m_depth->Release();
        m_depth = static_cast<GLSurface*>(surface);
        m_fboDirty = m_attachDirty = true;
        m_keepDepth = false;
        return true;
    }

    bool StretchRect(GfxSurface* src, const GfxRect* sr, GfxSurface* dst, const GfxRect* dr, uint32_t filter) override
    {
        FlushFlat();
        GLSurface* s = static_cast<GLSurface*>(src);
        GLSurface* d = static_cast<GLSurface*>(dst);
        if (!s || !d || !(s->texture || s->window) || !(d->texture || d->window)) return false;
        GfxRect a = sr ? *sr : GfxRect{0, 0, s->width, s->height};
        GfxRect b = dr ? *dr : GfxRect{0, 0, d->width, d->height};
        GLint sx0, sy0, sx1, sy1, dx0, dy0, dx1, dy1;
        // An unfiltered blit between textures GL may make as a copy of memory (Mesa does),
        // which does not wait for what is being drawn into either. A filtered one, or one from
        // or onto the window (which turns the picture over), is drawn after what came before.
        if (!s->window && !d->window && filter != GFX_TEXF_LINEAR) WaitForDrawing();
        m_drawing = true;
        BindForBlit(GL_READ_FRAMEBUFFER, s, m_readFbo, a, &sx0, &sy0, &sx1, &sy1);
        BindForBlit(GL_DRAW_FRAMEBUFFER, d, m_drawFbo, b, &dx0, &dy0, &dx1, &dy1);
        glDisable(GL_SCISSOR_TEST);
        glColorMask(1, 1, 1, 1);
        // With equal sizes and orientation this is a plain copy (on Mesa a memory copy).
        glBlitFramebuffer(sx0, sy0, sx1, sy1, dx0, dy0, dx1, dy1, GL_COLOR_BUFFER_BIT,
                          filter == GFX_TEXF_LINEAR ? GL_LINEAR : GL_NEAREST);
        glColorMask(m_colourMask & 1, (m_colourMask >> 1) & 1, (m_colourMask >> 2) & 1, (m_colourMask >> 3) & 1);
        m_fboDirty = true;
        return glGetError() == GL_NO_ERROR;
    }

    bool UpdateTexture(GfxTexture* texture, uint32_t level, const void* pixels, uint32_t pitch) override
    {
        FlushFlat();
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
        FlushFlat();
        GLSurface* s = static_cast<GLSurface*>(src);
        if (!s || !(s->texture || s->window) || r.left < 0 || r.top < 0 || r.right > s->width || r.bottom > s->height ||
            r.right <= r.left || r.bottom <= r.top)
            return false;
        GLsizei w = r.right - r.left, h = r.bottom - r.top;
        WaitForDrawing();
        if (s->window) {
            // Only a window showing the back buffer unscaled holds its pixels as they are.
            if (!WindowHolds(s)) return false;
            const GLsizei dh = s->height;
            glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
            glReadPixels(r.left, dh - r.bottom, w, h, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, out);
            for (GLsizei top = 0, bottom = h - 1; top < bottom; ++top, --bottom)
                std::swap_ranges(out + (size_t)top * w, out + (size_t)(top + 1) * w, out + (size_t)bottom * w);
        } else {
            glBindFramebuffer(GL_READ_FRAMEBUFFER, m_readFbo);
            glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, s->texture, 0);
            glReadPixels(r.left, r.top, w, h, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, out);
        }
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

    void UnlockVertexBuffer(GfxVertexBuffer* vb) override
    {
        GLVertexBuffer* b = static_cast<GLVertexBuffer*>(vb);
        if (!b || (b->usage & GFX_USAGE_DYNAMIC)) return;
        if (!b->Live()) {
            b->object = 0;
            glGenBuffers(1, &b->object);
            b->serial = g_contextSerial;
        }
        if (!b->object) return;
        BindVertexBuffer(b->object);
        glBufferData(GL_ARRAY_BUFFER, (GLsizeiptr)b->size, b->data.data(), GL_STATIC_DRAW);
        if (glGetError() != GL_NO_ERROR) {
            // Without the buffer object the vertices are drawn as client arrays.
            BindVertexBuffer(0);
            glDeleteBuffers(1, &b->object);
            b->object = 0;
        }
    }
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
        size_t at = m_streamOffset + (size_t)start * m_stride;
        const uint8_t* vertices = m_stream->data.data() + at;
        if (IsThin(type)) DrawThin(type, n, vertices, m_stride);
        else Draw(type, n, vertices, m_stride, m_stream->Live() ? m_stream->object : 0, at);
    }

    void DrawPrimitiveUP(uint32_t type, uint32_t count, const void* data, uint32_t stride) override
    {
        uint32_t n = VertexCount(type, count);
        if (!n || !data) return;
        const uint8_t* vertices = (const uint8_t*)data;
        if (IsThin(type)) DrawThin(type, n, vertices, stride);
        else Draw(type, n, vertices, stride);
    }

    // Triangles whose corners lie on one straight line cover no pixel; Mesa's software
    // rasteriser drops every triangle of a draw of nine vertices whose last triangle is level
    // (and of 27 in some states): it takes them for a rectangle a window manager draws with a
    // level triangle after it. True when a list of n triangles' corners from *vertices has such
    // triangles: *vertices and *n are then the others (in m_solid; *n may be 0).
    bool LeaveOutFlat(const uint8_t** vertices, uint32_t* n, uint32_t stride)
    {
        auto flat = [&](const uint8_t* p) {
            float c[3][3];
            for (int k = 0; k < 3; ++k) std::memcpy(c[k], p + size_t(k) * stride, sizeof(c[k]));
            // The cross product of two sides, in double precision: 0 for corners on one level
            // or upright line whatever their values, and for those of ordinary size on any.
            const double u[3] = {double(c[1][0]) - c[0][0], double(c[1][1]) - c[0][1], double(c[1][2]) - c[0][2]};
            const double v[3] = {double(c[2][0]) - c[0][0], double(c[2][1]) - c[0][1], double(c[2][2]) - c[0][2]};
            return u[1] * v[2] == u[2] * v[1] && u[2] * v[0] == u[0] * v[2] && u[0] * v[1] == u[1] * v[0];
        };
        const uint32_t triangles = *n / 3;
        const size_t size = size_t(stride) * 3;
        uint32_t t = 0;
        while (t < triangles && !flat(*vertices + t * size)) ++t;
        if (t == triangles) return false;
        m_solid.resize(size * triangles);
        std::memcpy(m_solid.data(), *vertices, t * size);
        uint32_t kept = t;
        for (++t; t < triangles; ++t)
            if (!flat(*vertices + t * size)) std::memcpy(m_solid.data() + kept++ * size, *vertices + t * size, size);
        *vertices = m_solid.data();
        *n = kept * 3;
        return true;
    }

    // Client arrays: GL has read them when the draw call returns.
    bool DrawReadsVerticesAtOnce() override { return true; }

    // SDL's headless window is an off-screen surface that swapping leaves as it is, made with
    // alpha like the screen texture (Graphics_HostM.cpp); the picture is taken as drawn only
    // while the drawable has the back buffer's size.
    bool PresentKeepsBackBuffer() override { return m_offscreen && WindowHolds(m_backColour); }

private:
    // Whether the window's drawable is the back buffer s, pixel for pixel. SDL's headless
    // window draws into a surface made with the window at its first size, which growing the
    // window does not grow (SDL still reports the new size): beyond it nothing is kept.
    bool WindowHolds(const GfxSurface* s) const
    {
        if (!s) return false;
        int dw = 0, dh = 0;
        SDL_GL_GetDrawableSize(m_window, &dw, &dh);
        if (dw != s->width || dh != s->height) return false;
        return !m_offscreen || (dw <= m_surfaceW && dh <= m_surfaceH);
    }

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

    // The back buffer stands for the window's framebuffer at the back-buffer size; no
    // depth-stencil surface goes with it (see the file comment).
    bool CreateBackBuffer(const GfxPresentParams& pp)
    {
        GLSurface* s = new GLSurface();
        s->width = pp.backBufferWidth > 0 ? pp.backBufferWidth : 1;
        s->height = pp.backBufferHeight > 0 ? pp.backBufferHeight : 1;
        s->format = GFX_FMT_A8R8G8B8;
        s->window = true;
        m_backColour = s;
        SetRenderTarget(0, m_backColour);
        SetDepthStencilSurface(nullptr);
        return true;
    }

    bool OnWindow() const { return m_colour && m_colour->window; }

    // Waits until GL has finished what was drawn since the last wait (nothing to wait for
    // when nothing was drawn: a run of reads waits once).
    void WaitForDrawing()
    {
        if (!m_drawing) return;
        glFinish();
        m_drawing = false;
    }

    // Makes the current targets those GL draws into; the viewport follows. A texture target's
    // depth-stencil surface is attached only while depth or stencil testing needs it (then it
    // stays until the targets change): on Mesa's software rasteriser an attached depth
    // buffer slows every triangle even with the tests off, and 2D drawing never reads it.
    void BindTarget(bool ownViewport = false)
    {
        m_drawing = true; // every draw and clear comes here first
        bool window = OnWindow();
        if (m_fboDirty) {
            if (window) {
                glBindFramebuffer(GL_FRAMEBUFFER, 0);
                int dw = 0, dh = 0;
                SDL_GL_GetDrawableSize(m_window, &dw, &dh);
                if (dw != m_drawableW || dh != m_drawableH) {
                    m_drawableW = dw;
                    m_drawableH = dh;
                    m_viewportDirty = true;
                }
            } else {
                glBindFramebuffer(GL_FRAMEBUFFER, m_fbo);
            }
            if (window != m_clipWindow) {
                // With the projection turned over (ApplyMatrices), the lower-left origin puts a
                // texture's first row at the top of the picture; the window's rows run from the
                // bottom, so there the origin is the upper left. The picture keeps its way up,
                // and facing its sense (the origin is part of GL's test).
                glClipControl(window ? GL_UPPER_LEFT : GL_LOWER_LEFT, GL_ZERO_TO_ONE);
                m_clipWindow = window;
                m_viewportDirty = true;
            }
            m_fboDirty = false;
        }
        if (!window) {
            if (m_attachDirty) {
                if (m_colour != m_attachedColour) {
                    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, m_colour ? m_colour->texture : 0, 0);
                    Hold(&m_attachedColour, m_colour);
                }
                m_attachDirty = false;
            }
            bool want = m_depth && (m_depthTest || m_stencilTest || m_keepDepth);
            GLSurface* depth = want ? m_depth : nullptr;
            if (depth != m_attachedDepth || (depth && depth->deferredCount)) AttachDepth(depth);
        }
        if (m_viewportDirty && !ownViewport) {
            GLint r[4];
            TargetRect(m_vp.x, m_vp.y, m_vp.w, m_vp.h, r);
            glViewport(r[0], r[1], r[2], r[3]);
            m_viewportDirty = false;
            m_flatViewportSent = false;
        }
    }

    // Attached surfaces are held, so that their GL names cannot be given to new objects while
    // the framebuffer still refers to them.
    static void Hold(GLSurface** slot, GLSurface* s)
    {
        if (s) s->AddRef();
        if (*slot) (*slot)->Release();
        *slot = s;
    }

    // Attaches a depth-stencil surface (or none) to the texture framebuffer and makes the
    // clears it kept meanwhile.
    void AttachDepth(GLSurface* d)
    {
        GLuint rb = d ? d->renderbuffer : 0;
        bool stencil = d && d->format != GFX_FMT_D16;
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, rb);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_STENCIL_ATTACHMENT, GL_RENDERBUFFER, stencil ? rb : 0);
        Hold(&m_attachedDepth, d);
        if (!d) return;
        m_keepDepth = true;
        if (d->deferredCount == 0) return;
        glEnable(GL_SCISSOR_TEST);
        glDepthMask(1);
        glStencilMask(0xFF);
        for (int i = 0; i < d->deferredCount; ++i) {
            const GLSurface::Clear& c = d->deferred[i];
            glScissor(c.rect[0], c.rect[1], c.rect[2], c.rect[3]);
            glClearDepth(c.z);
            glClearStencil(c.stencil);
            glClear(c.bits);
        }
        d->deferredCount = 0;
        glDisable(GL_SCISSOR_TEST);
        glDepthMask(m_zwrite);
    }

    // A rectangle of the current target (rows from the top) as GL's x, y, w, h: unchanged on
    // a texture; on the window turned over and scaled to the drawable.
    void TargetRect(int32_t x, int32_t y, int32_t w, int32_t h, GLint* out) const
    {
        if (!OnWindow()) {
            out[0] = x;
            out[1] = y;
            out[2] = w;
            out[3] = h;
            return;
        }
        // In 64 bits, each result held to GL's range: a game's view port may reach the ends
        // of the 32-bit range.
        const int64_t x0 = ScaleX(x), x1 = ScaleX(int64_t(x) + w), y0 = ScaleY(y), y1 = ScaleY(int64_t(y) + h);
        const int64_t r[4] = {x0, m_drawableH - y1, x1 - x0, y1 - y0};
        for (int k = 0; k < 4; ++k) out[k] = Int_HoldToInt32(r[k]);
    }

    int64_t ScaleX(int64_t v) const { return Scale(v, m_drawableW, m_colour->width); }
    int64_t ScaleY(int64_t v) const { return Scale(v, m_drawableH, m_colour->height); }
    static int64_t Scale(int64_t v, int32_t to, int32_t from)
    {
        if (to == from || from <= 0) return v;
        return v * to / from;
    }

    // Binds a surface as the read or draw framebuffer of a blit and gives the rectangle in
    // GL's terms (the window's turned over and scaled, as for drawing).
    void BindForBlit(GLenum which, GLSurface* s, GLuint fbo, const GfxRect& r, GLint* x0, GLint* y0, GLint* x1, GLint* y1)
    {
        if (s->window) {
            int dw = 0, dh = 0;
            SDL_GL_GetDrawableSize(m_window, &dw, &dh);
            glBindFramebuffer(which, 0);
            *x0 = Scale(r.left, dw, s->width);
            *x1 = Scale(r.right, dw, s->width);
            *y0 = dh - Scale(r.top, dh, s->height);
            *y1 = dh - Scale(r.bottom, dh, s->height);
            return;
        }
        glBindFramebuffer(which, fbo);
        glFramebufferTexture2D(which, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, s->texture, 0);
        *x0 = r.left;
        *y0 = r.top;
        *x1 = r.right;
        *y1 = r.bottom;
    }

    // GL's projection: Direct3D's, moved right and down by half a pixel of the viewport (in
    // clip space, so that it also holds for perspective) and turned over in y. Direct3D 9's
    // pixel centres lie on whole coordinates, GL's on half ones: the half pixel puts the same
    // numbers on the same pixels, and textures are sampled at the same places. Both light a
    // pixel whose centre lies inside a triangle; for a centre on an edge Direct3D takes the
    // top and left edges. Mesa (llvmpipe) decides such ties by where the target's rows start
    // and the clip origin: with the origin that starts the rows at the bottom of the picture
    // and the projection turned over to match, it takes the top and left edges too, on the
    // window and on textures alike. Points and lines do not rely on the rasteriser's ties at
    // all (DrawThin).
    // Where the room's first view is scaled, the half pixel is faded out (SetHalfPixelFaded)
    // and pixel centres fall on texel edges (a sprite magnified by two: every other centre);
    // single-precision interpolation put them on either texel, and a texel came out one, two
    // or three pixels wide. Textured drawing with the nearest texel is placed texel by texel
    // exactly instead (DrawExactTexels); what is left (filtered, lit or fogged textures) is
    // moved GR_TEXEL_NUDGE less: sampled a hair right of and below the centre, each pixel takes
    // the texel that covers it from there (a mirrored sprite too). The hair keeps the coverage
    // of an edge on a pixel centre (the centre stays on the same side: inside for top and left
    // edges, outside for the others). With the whole half pixel (1:1) centres meet texel
    // centres and nothing is moved.
    void ApplyMatrices(bool thin)
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
            m_modelview = kModelviewNone;
        }
        if (m_matricesDirty) {
            grm::Multiply(m_modelviewMatrix, m_matrix[2], m_matrix[0]);
            m_affine = KeepsW(m_modelviewMatrix) && KeepsW(m_matrix[1]); // the shift below leaves w as it is
            m_matricesDirty = false;
            m_modelview = kModelviewNone;
            m_thinReady = false;
            m_projectionSent = kProjectionNone;
        }
        const Projection kind = !thin && m_textureEnabled && m_halfPixelFaded ? kProjectionTextured : kProjectionPlain;
        if (m_projectionSent != kind) {
            const float shift = kind == kProjectionTextured ? 0.5f - GR_TEXEL_NUDGE : 0.5f;
            float p[16];
            std::memcpy(p, m_matrix[1], sizeof(p));
            const float dx = m_vp.w > 0 ? 2.0f * shift / (float)m_vp.w : 0.0f;
            const float dy = m_vp.h > 0 ? -2.0f * shift / (float)m_vp.h : 0.0f;
            for (int r = 0; r < 4; ++r) {
                p[r * 4 + 0] += dx * p[r * 4 + 3];
                p[r * 4 + 1] = -(p[r * 4 + 1] + dy * p[r * 4 + 3]);
            }
            glMatrixMode(GL_PROJECTION);
            glLoadMatrixf(p);
            m_projectionSent = kind;
        }
        const Modelview want = thin ? kModelviewEye : kModelviewWorld;
        if (m_modelview != want) {
            static const float kIdentity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
            glMatrixMode(GL_MODELVIEW);
            glLoadMatrixf(thin ? kIdentity : m_modelviewMatrix);
            m_modelview = want;
        }
    }

    // ----------------------------------------------------------------------------------------
    // Textured drawing in scaled views, texel by texel (Graphics_TexelRule.h): each triangle is
    // placed on the target and settled by the texel rule's module, from the view and projection
    // as the graphics layer gave them in double precision; here its triangles are drawn, run by
    // run in the draw's order: the settled ones by GL's own interpolation in target
    // coordinates, the others by the exact program, which evaluates each plane in double
    // precision at the pixel and takes that texel through the texture's own sampler.
    // Used for triangles with a texture sampled at the nearest texel, unlit and unfogged,
    // under transforms that keep w at 1; the rest keeps GR_TEXEL_NUDGE (ApplyMatrices).
    // ----------------------------------------------------------------------------------------
    bool ExactTexels(uint32_t type)
    {
        if (!m_halfPixelFaded || !m_textureEnabled || !m_affine || m_lighting || m_fog || m_flat) return false;
        if (type != GFX_PT_TRIANGLELIST && type != GFX_PT_TRIANGLESTRIP && type != GFX_PT_TRIANGLEFAN) return false;
        if (m_linear[0] || m_linear[1] || !(m_modulate || m_boundAlpha) || m_polygonMode != GL_FILL) return false;
        if (!(m_fvf & GFX_FVF_TEX1) || m_boundW <= 0 || m_boundH <= 0 || m_vp.w <= 0 || m_vp.h <= 0) return false;
        // On a window whose drawable is scaled from the back buffer, centres are not its pixels'.
        if (OnWindow() && (m_drawableW != m_colour->width || m_drawableH != m_colour->height)) return false;
        if (!m_exactBuilt) {
            m_exactBuilt = true;
            BuildExactProgram();
        }
        if (!m_exactReady) {
            double v[16];
            for (int i = 0; i < 16; ++i) v[i] = m_exactViewValid ? m_exactView[i] : m_matrix[0][i];
            GR_Texel_Target(m_matrix[2], v, m_exactProjection, m_vp.x, m_vp.y, m_vp.w, m_vp.h, &m_texelTarget);
            m_exactReady = true;
        }
        return true;
    }

    // The exact programs: the vertex stage makes each plane's three coefficients doubles once
    // (from their high and low floats); the fragment stage evaluates them at the fragment and
    // takes that texel's centre through the sampler, which wraps, mirrors, clamps or borders it
    // (the planes are moved by whole periods near 0, where a texel's centre in single precision
    // stays within the texel). Two of them, the texel alone and the texel times the colour: a
    // colour interpolated and multiplied at every pixel costs Mesa's rasteriser about as much
    // as the planes, and is spared where it cannot change the texel (not modulated, or white).
    void BuildExactProgram()
    {
        static const char* kVertex =
            "in vec4 coef1; in vec4 coef2; in vec4 coef3;\n"
            "flat out dvec3 pu; flat out dvec3 pv;\n"
            "#ifdef TINT\n"
            "noperspective out vec4 colour;\n"
            "#endif\n"
            "void main() {\n"
            "  gl_Position = ftransform();\n"
            "#ifdef TINT\n"
            "  colour = gl_Color;\n"
            "#endif\n"
            "  pu = dvec3(double(coef1.x) + double(coef1.y), double(coef1.z) + double(coef1.w), double(coef2.x) + double(coef2.y));\n"
            "  pv = dvec3(double(coef2.z) + double(coef2.w), double(coef3.x) + double(coef3.y), double(coef3.z) + double(coef3.w));\n"
            "}\n";
        static const char* kFragment =
            "uniform sampler2D tex;\n"
            "uniform vec2 inverse;\n"
            "flat in dvec3 pu; flat in dvec3 pv;\n"
            "#ifdef TINT\n"
            "noperspective in vec4 colour;\n"
            "#endif\n"
            "void main() {\n"
            "  dvec2 f = dvec2(gl_FragCoord.xy);\n"
            "  vec2 c = clamp(vec2(floor(dvec2(pu.x + pu.y * f.x + pu.z * f.y, pv.x + pv.y * f.x + pv.z * f.y))), -1048576.0, 1048576.0);\n"
            "  gl_FragColor = textureLod(tex, (c + 0.5) * inverse, 0.0)\n"
            "#ifdef TINT\n"
            "    * colour\n"
            "#endif\n"
            "  ;\n"
            "}\n";
        static const char* kHeads[2] = {"#version 400 compatibility\n", "#version 400 compatibility\n#define TINT\n"};
        GLuint made[2] = {0, 0};
        for (int t = 0; t < 2; ++t) {
            const char* vertex[2] = {kHeads[t], kVertex};
            const char* fragment[2] = {kHeads[t], kFragment};
            GLuint vs = Compile(GL_VERTEX_SHADER, vertex, 2);
            GLuint fs = vs ? Compile(GL_FRAGMENT_SHADER, fragment, 2) : 0;
            if (vs && fs) {
                GLuint prog = glCreateProgram();
                glAttachShader(prog, vs);
                glAttachShader(prog, fs);
                glBindAttribLocation(prog, 1, "coef1");
                glBindAttribLocation(prog, 2, "coef2");
                glBindAttribLocation(prog, 3, "coef3");
                glLinkProgram(prog);
                GLint ok = 0;
                glGetProgramiv(prog, GL_LINK_STATUS, &ok);
                if (ok) {
                    glUseProgram(prog);
                    glUniform1i(glGetUniformLocation(prog, "tex"), 0);
                    glUseProgram(m_program);
                    m_exactInverse[t] = glGetUniformLocation(prog, "inverse");
                    made[t] = prog;
                } else {
                    glDeleteProgram(prog);
                }
            }
            if (vs) glDeleteShader(vs);
            if (fs) glDeleteShader(fs);
        }
        if (made[0] && made[1]) {
            m_exactProgram[0] = made[0], m_exactProgram[1] = made[1];
        } else {
            // No double precision in programs: single precision only.
            for (GLuint prog : made)
                if (prog) glDeleteProgram(prog);
        }
        while (glGetError() != GL_NO_ERROR) {
        }
    }

    // The target's extent across (axis 0) and down: how far from its origin GL interpolates.
    double TargetExtent(int axis) const
    {
        if (m_colour) return axis ? m_colour->height : m_colour->width;
        return axis ? m_vp.y + m_vp.h : m_vp.x + m_vp.w;
    }

    void DrawExactTexels(uint32_t type, uint32_t n, const uint8_t* first, uint32_t stride)
    {
        GR_TexelDraw d;
        d.target = m_texelTarget;
        const Layout l = LayoutOf(m_fvf);
        d.uvAt = l.uv, d.colourAt = l.colour;
        d.batchLayout = m_fvf == GFX_FVF_2DTEX;
        d.size[0] = m_boundW, d.size[1] = m_boundH;
        for (int a = 0; a < 2; ++a) {
            d.period[a] = m_wrap[a] == 1 ? d.size[a] : m_wrap[a] == 2 ? 2.0 * d.size[a] : 0.0;
            d.extent[a] = TargetExtent(a);
        }
        // GL's window coordinates: rows from the bottom on the window.
        const bool window = OnWindow();
        d.fragY[0] = window ? -1.0 : 1.0;
        d.fragY[1] = window ? m_drawableH - 0.5 : -0.5;
        d.program = m_exactProgram[0] != 0;
        m_placer.Place(d, type, n, first, stride);
        m_texelProjection = false;
        for (const GR_TexelRun& r : m_placer.runs) DrawTexelRun(r);
    }

    // Draws one run of triangles of one way (exact: the program's).
    void DrawTexelRun(const GR_TexelRun& run)
    {
        if (!m_texelProjection) {
            // The vertices are in target coordinates: the projection maps the viewport's (with
            // GL's half pixel, turned over in y as ApplyMatrices turns it).
            m_texelProjection = true;
            const double sx = 2.0 / m_vp.w, sy = -2.0 / m_vp.h;
            float p[16] = {(float)sx, 0, 0, 0, 0, (float)-sy, 0, 0, 0, 0, 1, 0,
                           (float)(-1.0 - m_vp.x * sx + sx * 0.5), (float)-(1.0 - m_vp.y * sy + sy * 0.5), 0, 1};
            static const float kIdentity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
            glMatrixMode(GL_PROJECTION);
            glLoadMatrixf(p);
            glMatrixMode(GL_MODELVIEW);
            glLoadMatrixf(kIdentity);
            m_projectionSent = kProjectionNone;
            m_modelview = kModelviewNone;
        }
        BindVertexBuffer(0);
        if (!run.exact) {
            SelectProgram();
            const GR_TexelVertex* v = m_placer.settled.data() + run.first;
            ClientArrays(GFX_FVF_2DTEX);
            glVertexPointer(3, GL_FLOAT, sizeof(GR_TexelVertex), &v->x);
            glColorPointer(GL_BGRA, GL_UNSIGNED_BYTE, sizeof(GR_TexelVertex), &v->colour);
            glTexCoordPointer(2, GL_FLOAT, sizeof(GR_TexelVertex), &v->u);
            glDrawArrays(GL_TRIANGLES, 0, (GLsizei)run.count);
            return;
        }
        const GR_ExactVertex* v = m_placer.exact.data() + run.first;
        // The colour only where it changes the texel: modulated and not opaque white.
        int tint = 0;
        if (m_modulate)
            for (uint32_t i = 0; i < run.count && !tint; ++i) tint = v[i].colour != 0xFFFFFFFFu;
        const GLuint prog = m_exactProgram[tint];
        if (m_program != prog) {
            glUseProgram(prog);
            m_program = prog;
        }
        glUniform2f(m_exactInverse[tint], 1.0f / (float)m_boundW, 1.0f / (float)m_boundH);
        ClientArrays(GFX_FVF_2D);
        glVertexPointer(3, GL_FLOAT, sizeof(GR_ExactVertex), &v->x);
        glColorPointer(GL_BGRA, GL_UNSIGNED_BYTE, sizeof(GR_ExactVertex), &v->colour);
        for (GLuint a = 0; a < 3; ++a) {
            glEnableVertexAttribArray(1 + a);
            glVertexAttribPointer(1 + a, 4, GL_FLOAT, GL_FALSE, sizeof(GR_ExactVertex), v->coef + 4 * a);
        }
        glDrawArrays(GL_TRIANGLES, 0, (GLsizei)run.count);
        for (GLuint a = 0; a < 3; ++a) glDisableVertexAttribArray(1 + a);
    }

    // Whether a row-major transform leaves w at 1 (no perspective).
    static bool KeepsW(const float* m) { return m[3] == 0.0f && m[7] == 0.0f && m[11] == 0.0f && m[15] == 1.0f; }

    // The unlit, unfogged, smooth-shaded drawing of the fixed-function pipeline as GLSL
    // programs (colour only; texture times colour; texture), used while nothing else of the
    // pipeline is on and the transforms keep w at 1. Attributes are then interpolated
    // without the perspective division, which gives the same values for w = 1 (the division
    // is by exactly 1) and spares Mesa's software rasteriser that work for every pixel.
    // Alpha test, blending, depth, stencil, culling and masks stay fixed-function stages.
    void BuildPrograms()
    {
        static const char* kVertex =
            "#version 130\n"
            "noperspective out vec4 colour;\n"
            "noperspective out vec2 uv;\n"
            "void main() { gl_Position = ftransform(); colour = gl_Color; uv = gl_MultiTexCoord0.xy; }\n";
        static const char* kFragment[3] = {
            "#version 130\n"
            "noperspective in vec4 colour;\n"
            "void main() { gl_FragColor = colour; }\n",
            "#version 130\n"
            "uniform sampler2D tex;\n"
            "noperspective in vec4 colour;\n"
            "noperspective in vec2 uv;\n"
            "void main() { gl_FragColor = texture(tex, uv) * colour; }\n",
            "#version 130\n"
            "uniform sampler2D tex;\n"
            "noperspective in vec2 uv;\n"
            "void main() { gl_FragColor = texture(tex, uv); }\n",
        };
        GLuint vs = Compile(GL_VERTEX_SHADER, kVertex);
        for (int i = 0; i < 3 && vs; ++i) {
            GLuint fs = Compile(GL_FRAGMENT_SHADER, kFragment[i]);
            if (!fs) break;
            GLuint prog = glCreateProgram();
            glAttachShader(prog, vs);
            glAttachShader(prog, fs);
            glLinkProgram(prog);
            glDeleteShader(fs);
            GLint ok = 0;
            glGetProgramiv(prog, GL_LINK_STATUS, &ok);
            if (!ok) {
                glDeleteProgram(prog);
                break;
            }
            GLint tex = glGetUniformLocation(prog, "tex");
            if (tex >= 0) {
                glUseProgram(prog);
                glUniform1i(tex, 0);
                glUseProgram(0);
            }
            m_programs[i] = prog;
        }
        if (vs) glDeleteShader(vs);
        if (!m_programs[0] || !m_programs[1] || !m_programs[2]) {
            // Not offered (no GLSL 1.30): everything stays fixed-function.
            for (GLuint& prog : m_programs) {
                if (prog) glDeleteProgram(prog);
                prog = 0;
            }
        }
        while (glGetError() != GL_NO_ERROR) {
        }
    }

    static GLuint Compile(GLenum kind, const char* text) { return Compile(kind, &text, 1); }
    static GLuint Compile(GLenum kind, const char* const* parts, GLsizei count)
    {
        GLuint sh = glCreateShader(kind);
        glShaderSource(sh, count, parts, nullptr);
        glCompileShader(sh);
        GLint ok = 0;
        glGetShaderiv(sh, GL_COMPILE_STATUS, &ok);
        if (ok) return sh;
        glDeleteShader(sh);
        return 0;
    }

    // The program standing in for the fixed-function pipeline for the next draw, or 0. The
    // programs are compiled here, at the first draw, not with the device: a run that never
    // draws (or draws later) does not wait for the shader compiler at start-up.
    void SelectProgram()
    {
        if (!m_programsBuilt) {
            m_programsBuilt = true;
            BuildPrograms();
            m_program = 0; // left in use meanwhile
        }
        GLuint prog = 0;
        // Fixed-function replacing takes a texture without alpha with the colour's alpha; the
        // program would give 1, so such textures (R16F, R32F) keep the fixed function there.
        if (m_programs[0] && m_affine && !m_lighting && !m_fog && !m_flat)
            prog = !m_textureEnabled ? m_programs[0] : m_modulate ? m_programs[1] : m_boundAlpha ? m_programs[2] : 0;
        if (prog != m_program) {
            glUseProgram(prog);
            m_program = prog;
        }
    }

    // The arrays of a vertex format, and the secondary colour's (kCutArray) for the flat thin
    // draws only: when it is switched off its value becomes 0 again, which leaves nothing out.
    static constexpr uint32_t kCutArray = 0x80000000u;
    void ClientArrays(uint32_t fvf)
    {
        uint32_t want = GFX_FVF_XYZ | (fvf & (GFX_FVF_NORMAL | GFX_FVF_DIFFUSE | GFX_FVF_TEX1 | kCutArray));
        uint32_t change = want ^ m_arrays;
        if (!change) return;
        static const struct {
            uint32_t bit;
            GLenum array;
        } kArrays[] = {{GFX_FVF_XYZ, GL_VERTEX_ARRAY}, {GFX_FVF_NORMAL, GL_NORMAL_ARRAY}, {GFX_FVF_DIFFUSE, GL_COLOR_ARRAY},
                       {GFX_FVF_TEX1, GL_TEXTURE_COORD_ARRAY}, {kCutArray, GL_SECONDARY_COLOR_ARRAY}};
        for (const auto& a : kArrays)
            if (change & a.bit) {
                if (want & a.bit) glEnableClientState(a.array);
                else glDisableClientState(a.array);
            }
        if (change & ~want & kCutArray) glSecondaryColor3f(0.0f, 0.0f, 0.0f);
        m_arrays = want;
    }

    void BindVertexBuffer(GLuint object)
    {
        if (object == g_boundVertexBuffer) return;
        glBindBuffer(GL_ARRAY_BUFFER, object);
        g_boundVertexBuffer = object;
    }

    static bool IsThin(uint32_t type) { return type == GFX_PT_POINTLIST || type == GFX_PT_LINELIST || type == GFX_PT_LINESTRIP; }

    // Filled primitives from the vertices in memory (first) or, where a buffer object holds
    // them too, from it (at: their offset there, an address as GL takes it; offsets are never
    // turned into pointers by arithmetic). Triangles settled texel by texel are placed anew
    // from memory, none without area among them; any other list loses its flat triangles
    // first (LeaveOutFlat), drawn from memory then.
    void Draw(uint32_t type, uint32_t n, const uint8_t* first, uint32_t stride, GLuint object = 0, size_t at = 0)
    {
        FlushFlat();
        BindTarget();
        ApplyMatrices(false);
        if (!object && ExactTexels(type)) {
            DrawExactTexels(type, n, first, stride);
            return;
        }
        if (type == GFX_PT_TRIANGLELIST && LeaveOutFlat(&first, &n, stride)) {
            if (object && ExactTexels(type)) { // from memory now
                DrawExactTexels(type, n, first, stride);
                return;
            }
            object = 0;
        }
        const uintptr_t base = object ? at : reinterpret_cast<uintptr_t>(first);
        SelectProgram();
        BindVertexBuffer(object);
        const Layout l = LayoutOf(m_fvf);
        PointArrays(base, stride, 3, l);
        static const GLenum kModes[] = {GL_POINTS, GL_POINTS, GL_LINES, GL_LINE_STRIP, GL_TRIANGLES, GL_TRIANGLE_STRIP, GL_TRIANGLE_FAN};
        glDrawArrays(type <= 6 ? kModes[type] : GL_POINTS, 0, (GLsizei)n);
    }

    // Byte offsets of the parts of a vertex after its position (0: the format has none), and
    // the bytes of the position and the parts together.
    struct Layout {
        uint32_t normal, colour, uv, size;
    };
    static Layout LayoutOf(uint32_t fvf)
    {
        Layout l{0, 0, 0, 0};
        uint32_t at = 12;
        if (fvf & GFX_FVF_NORMAL) l.normal = at, at += 12;
        if (fvf & GFX_FVF_DIFFUSE) l.colour = at, at += 4;
        if (fvf & GFX_FVF_TEX1) l.uv = at, at += 8;
        l.size = at;
        return l;
    }

    // Points GL's arrays at vertices from base. The arrays' switches change only with the
    // vertex format; a value stands in for an array that is off (after a draw with the array
    // on, GL's current value is undefined).
    void PointArrays(uintptr_t base, uint32_t stride, GLint positionSize, const Layout& l)
    {
        const uint32_t fvf = m_fvf;
        ClientArrays(fvf);
        glVertexPointer(positionSize, GL_FLOAT, (GLsizei)stride, reinterpret_cast<const void*>(base));
        if (fvf & GFX_FVF_NORMAL) glNormalPointer(GL_FLOAT, (GLsizei)stride, reinterpret_cast<const void*>(base + l.normal));
        else glNormal3f(0, 0, -1);
        if (fvf & GFX_FVF_DIFFUSE) glColorPointer(GL_BGRA, GL_UNSIGNED_BYTE, (GLsizei)stride, reinterpret_cast<const void*>(base + l.colour));
        else glColor4f(1, 1, 1, 1);
        if (fvf & GFX_FVF_TEX1) glTexCoordPointer(2, GL_FLOAT, (GLsizei)stride, reinterpret_cast<const void*>(base + l.uv));
        else glTexCoord2f(0, 0);
    }

    // ----------------------------------------------------------------------------------------
    // Points and lines, by the pixel rule (Graphics_PixelRule.h). Each vertex goes through the
    // world, view and projection (Direct3D's, with its half pixel) here, in double precision,
    // to the window coordinate of the viewport that decides its pixel. A point is sent to the
    // centre of its pixel; a line becomes its band, or the rectangles of its runs of pixels,
    // with corners on the rasteriser's grid. GL then decides nothing by its own rules but the
    // fill convention, which is the device's, and a corner point and the edges of an outline
    // through it cannot fall apart. What is sent goes back through the inverse transforms to
    // where it would have had to be given (in eye space, with the modelview the identity
    // meanwhile, when the world and view have no inverse), so that lighting and fog see the
    // places they would have seen; the vertices keep the layout they came in.
    // ----------------------------------------------------------------------------------------

    // A vertex as given, carried through the transforms: clip position and its parts.
    struct ThinEnd {
        double clip[4];
        double normal[3], uv[2];
        double colour[4];   // B, G, R, A bytes
        uint32_t given;     // the colour as given (colour[] mixed from two others: mixed)
        bool mixed;
    };

    // The double-precision transforms behind the thin draws, from the matrices in force.
    bool PrepareThin()
    {
        if (m_thinReady) return m_thinInvertible;
        m_thinReady = true;
        double w[16], v[16];
        for (int i = 0; i < 16; ++i) w[i] = m_matrix[2][i], v[i] = m_matrix[0][i], m_projD[i] = m_matrix[1][i];
        MultiplyD(m_eyeD, w, v);
        m_thinInvertible = InvertD(m_projInvD, m_projD);
        MultiplyD(m_wholeD, m_eyeD, m_projD);
        m_thinInWorld = InvertD(m_wholeInvD, m_wholeD);
        // Window (x, y) at the depth and w of a clip position back to where a vertex must be
        // given to land there: back = x * m_backX + y * m_backY + (z * m_backZ + w * m_backW),
        // the viewport's mapping folded into the inverse.
        const double* inv = m_thinInWorld ? m_wholeInvD : m_projInvD;
        const double sx = 2.0 / m_vp.w, sy = -2.0 / m_vp.h;
        const double ox = -1.0 - m_vp.x * sx, oy = 1.0 - m_vp.y * sy;
        for (int c = 0; c < 4; ++c) {
            m_backX[c] = sx * inv[c];
            m_backY[c] = sy * inv[4 + c];
            m_backZ[c] = inv[8 + c];
            m_backW[c] = ox * inv[c] + oy * inv[4 + c] + inv[12 + c];
        }
        // Normals go into eye space by the inverse transpose of the world and view (as GL's
        // modelview would take them); left as they are where that has no inverse.
        const double* e = m_eyeD;
        const double det = e[0] * (e[5] * e[10] - e[6] * e[9]) - e[1] * (e[4] * e[10] - e[6] * e[8]) +
                           e[2] * (e[4] * e[9] - e[5] * e[8]);
        if (det != 0.0 && std::isfinite(det)) {
            // (A^-1)^T = cofactors / det, for the rows of A.
            m_normalD[0] = (e[5] * e[10] - e[6] * e[9]) / det;
            m_normalD[1] = (e[6] * e[8] - e[4] * e[10]) / det;
            m_normalD[2] = (e[4] * e[9] - e[5] * e[8]) / det;
            m_normalD[3] = (e[2] * e[9] - e[1] * e[10]) / det;
            m_normalD[4] = (e[0] * e[10] - e[2] * e[8]) / det;
            m_normalD[5] = (e[1] * e[8] - e[0] * e[9]) / det;
            m_normalD[6] = (e[1] * e[6] - e[2] * e[5]) / det;
            m_normalD[7] = (e[2] * e[4] - e[0] * e[6]) / det;
            m_normalD[8] = (e[0] * e[5] - e[1] * e[4]) / det;
        } else {
            for (int r = 0; r < 3; ++r)
                for (int c = 0; c < 3; ++c) m_normalD[r * 3 + c] = r == c ? 1.0 : 0.0;
        }
        return m_thinInvertible;
    }

    ThinEnd ReadThin(const uint8_t* p) const
    {
        ThinEnd e{};
        float f[3];
        std::memcpy(f, p, sizeof(f));
        const double pos[4] = {f[0], f[1], f[2], 1.0};
        RowTimes(e.clip, pos, m_wholeD);
        e.normal[2] = -1.0;
        if (m_fvf & GFX_FVF_NORMAL) {
            std::memcpy(f, p + m_thinLayout.normal, sizeof(f));
            for (int c = 0; c < 3; ++c)
                e.normal[c] = m_thinInWorld ? f[c] : f[0] * m_normalD[c] + f[1] * m_normalD[3 + c] + f[2] * m_normalD[6 + c];
        }
        uint32_t colour = 0xFFFFFFFFu;
        if (m_fvf & GFX_FVF_DIFFUSE) std::memcpy(&colour, p + m_thinLayout.colour, 4);
        for (int c = 0; c < 4; ++c) e.colour[c] = (colour >> (8 * c)) & 0xFF;
        e.given = colour;
        e.mixed = false;
        if (m_fvf & GFX_FVF_TEX1) {
            float uv[2];
            std::memcpy(uv, p + m_thinLayout.uv, sizeof(uv));
            e.uv[0] = uv[0], e.uv[1] = uv[1];
        }
        return e;
    }

    // The window coordinate (Direct3D's: pixel centres on whole numbers) of a clip position.
    void ToWindow(const double* clip, double* x, double* y) const
    {
        *x = (clip[0] / clip[3] + 1.0) * 0.5 * m_vp.w + m_vp.x;
        *y = (1.0 - clip[1] / clip[3]) * 0.5 * m_vp.h + m_vp.y;
    }

    // A vertex's parts as drawn: normal, colour and texture coordinates, and the depth and w
    // of its clip position.
    struct ThinParts {
        float normal[3];
        uint32_t colour;
        float uv[2];
        double z, w;
    };
    static ThinParts Pack(const ThinEnd& e)
    {
        ThinParts p;
        for (int c = 0; c < 3; ++c) p.normal[c] = (float)e.normal[c];
        p.colour = e.given;
        if (e.mixed) {
            p.colour = 0;
            for (int c = 0; c < 4; ++c) {
                const double b = e.colour[c] < 0.0 ? 0.0 : e.colour[c] > 255.0 ? 255.0 : e.colour[c];
                p.colour |= (uint32_t)(b + 0.5) << (8 * c);
            }
        }
        p.uv[0] = (float)e.uv[0], p.uv[1] = (float)e.uv[1];
        p.z = e.clip[2], p.w = e.clip[3];
        return p;
    }

    // Adds a vertex at window (x, y) in the layout of the vertices drawn.
    void AddThin(double x, double y, const ThinParts& parts)
    {
        double back[4];
        for (int c = 0; c < 4; ++c)
            back[c] = (x * m_backX[c] + y * m_backY[c]) * parts.w + parts.z * m_backZ[c] + parts.w * m_backW[c];
        // w comes back 1 (the depth is the vertex's own): divided only where it is not exactly.
        if (back[3] != 1.0) back[0] /= back[3], back[1] /= back[3], back[2] /= back[3];
        uint8_t* v = m_thin.data() + m_thinCount++ * m_thinLayout.size;
        const float pos[3] = {(float)back[0], (float)back[1], (float)back[2]};
        std::memcpy(v, pos, sizeof(pos));
        if (m_fvf & GFX_FVF_NORMAL) std::memcpy(v + m_thinLayout.normal, parts.normal, sizeof(parts.normal));
        if (m_fvf & GFX_FVF_DIFFUSE) std::memcpy(v + m_thinLayout.colour, &parts.colour, 4);
        if (m_fvf & GFX_FVF_TEX1) std::memcpy(v + m_thinLayout.uv, parts.uv, sizeof(parts.uv));
    }

    // a + (b - a) * t over every part of two ends.
    static ThinEnd Mix(const ThinEnd& a, const ThinEnd& b, double t)
    {
        ThinEnd m;
        for (int i = 0; i < 4; ++i) m.clip[i] = a.clip[i] + (b.clip[i] - a.clip[i]) * t;
        for (int i = 0; i < 3; ++i) m.normal[i] = a.normal[i] + (b.normal[i] - a.normal[i]) * t;
        for (int i = 0; i < 2; ++i) m.uv[i] = a.uv[i] + (b.uv[i] - a.uv[i]) * t;
        for (int i = 0; i < 4; ++i) m.colour[i] = a.colour[i] + (b.colour[i] - a.colour[i]) * t;
        m.given = a.given;
        m.mixed = a.mixed || b.mixed || a.given != b.given;
        return m;
    }

    // The parts at window fraction s of the way from a to b (perspective-correct).
    static ThinEnd MixWindow(const ThinEnd& a, const ThinEnd& b, double s)
    {
        const double ia = 1.0 / a.clip[3], ib = 1.0 / b.clip[3];
        return Mix(a, b, s * ib / ((1.0 - s) * ia + s * ib));
    }

    // Whether a clip position lies between the near and far planes (Direct3D's 0 <= z <= w).
    static bool InDepth(const double* c) { return c[2] >= 0.0 && c[2] <= c[3] && c[3] > 0.0; }

    void ThinPoint(const ThinEnd& e)
    {
        if (!InDepth(e.clip)) return;
        double x, y;
        ToWindow(e.clip, &x, &y);
        if (!(std::fabs(x) < GR_PIXEL_FAR && std::fabs(y) < GR_PIXEL_FAR)) return; // also NaN
        ThinStart(GL_POINTS, 1);
        AddThin((double)GR_Pixel_Of(x), (double)GR_Pixel_Of(y), Pack(e));
    }

    // A line as measured (MeasureThin): its ends between the near and far planes, where they
    // land and the pixels they fall in, and how it is to be drawn.
    struct ThinLine {
        GLDevice* device;
        ThinEnd a, b;
        double ax, ay, bx, by;      // the ends' window coordinates
        int64_t pax, pay, pbx, pby; // their pixels
        bool same;                  // the parts are the same all along (a's)
        bool asLine;                // drawn as GL's own line (ThinSegment), near the viewport
        bool runs;                  // too far out for a band: drawn as runs
        ThinParts first;            // a's parts
    };

    // Measures the segment from a to b; false when nothing of it is drawn.
    bool MeasureThin(const ThinEnd& from, const ThinEnd& to, ThinLine& line)
    {
        line.device = this;
        line.a = from, line.b = to;
        ThinEnd &a = line.a, &b = line.b;
        // Clipped to the near and far planes first, as the rasteriser would.
        double t0 = 0.0, t1 = 1.0;
        const double da[2] = {a.clip[2], a.clip[3] - a.clip[2]}, db[2] = {b.clip[2], b.clip[3] - b.clip[2]};
        for (int k = 0; k < 2; ++k) {
            if (!(da[k] >= 0.0) && !(db[k] >= 0.0)) return false; // also NaN
            if (da[k] < 0.0) t0 = std::max(t0, da[k] / (da[k] - db[k]));
            else if (db[k] < 0.0) t1 = std::min(t1, da[k] / (da[k] - db[k]));
        }
        if (t0 > t1) return false;
        if (t0 > 0.0 || t1 < 1.0) {
            const ThinEnd na = Mix(from, to, t0), nb = Mix(from, to, t1);
            a = na, b = nb;
        }
        if (!(a.clip[3] > 0.0 && b.clip[3] > 0.0)) return false;
        ToWindow(a.clip, &line.ax, &line.ay);
        ToWindow(b.clip, &line.bx, &line.by);
        // Ends far outside any window are brought in along the line first.
        if (!ClipFar(line)) return false;
        line.pax = GR_Pixel_Of(line.ax), line.pay = GR_Pixel_Of(line.ay);
        line.pbx = GR_Pixel_Of(line.bx), line.pby = GR_Pixel_Of(line.by);
        if (line.pax == line.pbx && line.pay == line.pby) return false; // no pixel
        line.same = (m_flat || (std::memcmp(a.colour, b.colour, sizeof(a.colour)) == 0 &&
                                std::memcmp(a.uv, b.uv, sizeof(a.uv)) == 0 &&
                                (!m_lighting || std::memcmp(a.normal, b.normal, sizeof(a.normal)) == 0))) &&
                    a.clip[2] * b.clip[3] == b.clip[2] * a.clip[3] && a.clip[3] == b.clip[3];
        line.first = Pack(a);
        // The band's corners must lie near enough the viewport for single precision to keep
        // them on the grid (and for GL not to clip them); else its runs of pixels, as many as
        // the viewport is wide at most.
        const int64_t margin = 1024, left = int64_t(m_vp.x) - margin, top = int64_t(m_vp.y) - margin;
        const int64_t right = int64_t(m_vp.x) + m_vp.w + margin, bottom = int64_t(m_vp.y) + m_vp.h + margin;
        auto near = [&](int64_t x, int64_t y) { return x >= left && x <= right && y >= top && y <= bottom; };
        line.runs = !near(line.pax, line.pay) || !near(line.pbx, line.pby);
        const int64_t n = std::max(std::llabs(line.pbx - line.pax), std::llabs(line.pby - line.pay));
        line.asLine = !line.runs && (line.pax == line.pbx || line.pay == line.pby || n <= kShortLine);
        return true;
    }

    // Draws a measured line: as GL's own line (asLine), or its band where the corners lie on
    // the rasteriser's grid, or its runs.
    //
    // GL's line lights the pixels whose diamonds (|dx| + |dy| < 1/2 around a centre) it leaves.
    // From the first pixel's centre to the last's, both a hair (the grid's step) further along
    // the longer axis, that is the first pixel's, none of the last's, and one a step between:
    // the diamond the line passes through, the pixel nearest it. A level or upright line
    // passes through centres. A sloped one passes at least 1/(2n) from the edge between two
    // pixels, or through it (n: its steps along the longer axis): moved 1/64 of a pixel across
    // to the side the band's edge takes (up for a shallow line rising to the right, down for
    // one falling, left for a steep one), every crossing lies 1/64 or more inside the pixel it
    // gives for n up to kShortLine, far beyond the rasteriser's rounding (1/512). One primitive
    // of GL's where a band takes two.
    static constexpr int64_t kShortLine = 16;
    void ThinSegment(ThinLine& line, bool asLine)
    {
        if (asLine) {
            ThinStart(GL_LINES, 2);
            const int64_t dx = line.pbx - line.pax, dy = line.pby - line.pay;
            const bool xMajor = std::llabs(dx) >= std::llabs(dy);
            const double along = 1.0 / 256, across = dx && dy ? 1.0 / 64 : 0.0;
            const double hx = xMajor ? along : -across;
            const double hy = xMajor ? ((dx > 0) != (dy > 0) ? -across : across) : along;
            AddThin((double)line.pax + hx, (double)line.pay + hy, line.first);
            AddThin((double)line.pbx + hx, (double)line.pby + hy, line.same ? line.first : Pack(line.b));
            return;
        }
        double corners[8], along[4];
        if (!line.runs && GR_Pixel_LineBand(line.pax, line.pay, line.pbx, line.pby, corners, along)) ThinQuad(line, corners, along);
        else ThinRuns(line);
    }

    void ThinRuns(ThinLine& line)
    {
        GR_Pixel_LineRuns(line.pax, line.pay, line.pbx, line.pby, m_vp.x, m_vp.y, int64_t(m_vp.x) + m_vp.w,
                          int64_t(m_vp.y) + m_vp.h, &ThinRun, &line);
    }

    // Moves a line's window ends that lie GR_PIXEL_FAR or further out to where the line
    // enters that square (the parts follow); false when it misses the square.
    bool ClipFar(ThinLine& line)
    {
        double t0, t1;
        if (!GR_Pixel_ClipFar(line.ax, line.ay, line.bx, line.by, &t0, &t1)) return false;
        const double d[2] = {line.bx - line.ax, line.by - line.ay};
        if (t0 == 0.0 && t1 == 1.0) return true;
        const double ax = line.ax, ay = line.ay;
        line.ax = ax + d[0] * t0, line.ay = ay + d[1] * t0;
        line.bx = ax + d[0] * t1, line.by = ay + d[1] * t1;
        const ThinEnd a = line.a, b = line.b;
        line.a = MixWindow(a, b, t0);
        line.b = MixWindow(a, b, t1);
        return true;
    }

    // Four corners (in order around) as a quad, the parts taken where each corner lies along
    // the line (along: 0 its first end's pixel, 1 its last's).
    void ThinQuad(const ThinLine& line, const double* corners, const double* along)
    {
        ThinStart(GL_QUADS, 4);
        for (int k = 0; k < 4; ++k)
            AddThin(corners[2 * k], corners[2 * k + 1], line.same ? line.first : Pack(MixWindow(line.a, line.b, along[k])));
    }

    // Room for a primitive of n vertices of this kind: what was made of another kind, or a
    // full chunk, is drawn first.
    void ThinStart(GLenum kind, size_t n)
    {
        if (m_thinCount && (kind != m_thinKind || m_thinCount + n > kThinChunk)) FlushThin();
        m_thinKind = kind;
    }

    // The rectangle of one run: its pixels' squares. Where the parts change along the line,
    // its first pixel is a square of its own with the first end's parts: the rectangle's
    // outer edge lies half a pixel before the first end, where a colour would run beyond its
    // range.
    static void ThinRun(const GR_PixelRun& run, void* ctx)
    {
        ThinLine& line = *static_cast<ThinLine*>(ctx);
        const int64_t start = run.xMajor ? line.pax : line.pay;
        if (run.first == start && run.last != run.first && !line.same) {
            ThinRect(line, run.xMajor, run.first, run.first, run.minor, true);
            const int64_t next = run.first + (run.last > run.first ? 1 : -1);
            ThinRect(line, run.xMajor, std::min(next, run.last), std::max(next, run.last), run.minor, false);
            return;
        }
        ThinRect(line, run.xMajor, std::min(run.first, run.last), std::max(run.first, run.last), run.minor, false);
    }

    // Pixels lo..hi along the longer axis at minor (first: all with the first end's parts).
    static void ThinRect(const ThinLine& line, bool xMajor, int64_t lo, int64_t hi, int64_t minor, bool first)
    {
        const double from = xMajor ? (double)line.pax : (double)line.pay;
        const double span = xMajor ? (double)(line.pbx - line.pax) : (double)(line.pby - line.pay);
        const double major[4] = {(double)lo - 0.5, (double)hi + 0.5, (double)hi + 0.5, (double)lo - 0.5};
        const double across[4] = {(double)minor - 0.5, (double)minor - 0.5, (double)minor + 0.5, (double)minor + 0.5};
        double corners[8], along[4];
        for (int k = 0; k < 4; ++k) {
            corners[2 * k] = xMajor ? major[k] : across[k];
            corners[2 * k + 1] = xMajor ? across[k] : major[k];
            along[k] = first ? 0.0 : std::clamp((major[k] - from) / span, 0.0, 1.0);
        }
        line.device->ThinQuad(line, corners, along);
    }

    // ----------------------------------------------------------------------------------------
    // Flat thin draws: points and lines of drawing without lighting, fog or a texture through
    // transforms that keep w at 1 (every 2D draw), each line within the depth range. They go
    // as GL's own points and lines with no tie left to GL's rules, at the speed of GL's own:
    // each vertex goes through the transforms in double precision to its window coordinate and
    // its pixel; a point is sent to its pixel's centre, a line as the rasteriser's own line
    // along the straight line between its end pixels' centres with ends that the rasteriser
    // keeps (GR_Pixel_LineSpan), just beyond the pixels it must light, which a program leaves
    // out; failing such ends, as its runs of pixels, each a level or upright line of GL's. A
    // line of two colours (smooth shading) takes them from its first end's pixel to its last's,
    // in proportion along its longer axis: its vertices carry both and how far along they lie
    // (Along), and a program mixes them there, for GL to carry along the line (the ends sent
    // may lie beyond the line's pixels, their colour beyond the two; every pixel kept lies
    // between the ends' pixels, its colour between the two).
    // Everything is sent in window coordinates, exact in single precision, through a projection
    // and a viewport whose scale is a power of two, so that every vertex lands on the window
    // coordinate it was given at any position on targets up to the widest viewport: the
    // viewport reaches kFlatMargin pixels beyond the draws' own on every side, room for the
    // lines' ends, and everything drawn lies inside the draws' own (points and lines are cut to
    // it here).
    // ----------------------------------------------------------------------------------------

    // A vertex placed: its window coordinate, depth and colour, and its pixel (far: not found,
    // the coordinate lies GR_PIXEL_FAR / 2 or more away).
    struct FlatEnd {
        double x, y, z;
        uint32_t colour;
        bool far;
        int64_t px, py;
    };
    // A vertex as sent: window coordinates less the viewport's corner, depth, colour, the
    // measure by which the program leaves pixels out (Cut; the secondary colour's first
    // member), and for a line of two colours its last end's colour and how far along the line
    // the vertex lies (0 at the first end's pixel, 1 at the last's; the secondary colour's
    // second member). A vertex of one colour has its colour twice and lies at 0.
    struct FlatVertex {
        float x, y, z;
        uint32_t colour;
        float cut[3];
        uint32_t lastColour;
    };
    static constexpr GLuint kLastColourAttribute = 6; // a generic attribute no conventional one stands for
    static constexpr int32_t kFlatMargin = 256;

    // The program's measure at a place along a line (in 1/256 of a pixel) that keeps the
    // pixels lo..hi: from -1 to 1 across their squares, linear along the line, so that the
    // centres of those pixels lie within 1 - 1 / (hi - lo + 1) and all others beyond.
    static float Cut(int64_t along, int64_t lo, int64_t hi)
    {
        return float((double(along) - 128.0 * double(lo + hi)) / (128.0 * double(hi - lo + 1)));
    }
    // Lines of up to kFlatShort pixels across and down, whole inside the viewport, find their
    // ends in a table: from their first pixel's centre, and the distances the program takes
    // there (state: 1 found, 2 none, 0 not yet looked for).
    static constexpr int64_t kFlatShort = 32;
    struct FlatSpan {
        float from[2], to[2];
        float fromCut, toCut;
        uint8_t state;
        bool cut; // a pixel beyond them lights
    };

    // The programs of flat thin draws: one leaves out what lies beyond a line's pixels (Cut),
    // the other also mixes a line's two colours at its vertices (FlatVertex), as far along as
    // they lie, for GL to carry along the line (a colour the same at both ends comes out as it
    // is). Long lines cost Mesa's rasteriser 5 % more when their colour is carried along than
    // when it is the first vertex's alone (flat), so lines of one colour keep the first
    // program. Built at the first flat draw; 0 where GLSL 1.30 is not offered
    // (the draws then go as other thin draws).
    GLuint FlatProgram()
    {
        if (m_flatProgramBuilt) return m_flatProgram;
        m_flatProgramBuilt = true;
        static const char* kVertex[2] = {
            "#version 130\n"
            "flat out vec4 colour;\n"
            "noperspective out float cut;\n"
            "void main() { gl_Position = ftransform(); colour = gl_Color; cut = gl_SecondaryColor.x; }\n",
            "#version 130\n"
            "in vec4 lastColour;\n"
            "noperspective out vec4 colour;\n"
            "noperspective out float cut;\n"
            "void main() { gl_Position = ftransform(); colour = mix(gl_Color, lastColour, gl_SecondaryColor.y);\n"
            "              cut = gl_SecondaryColor.x; }\n"};
        static const char* kFragment[2] = {
            "#version 130\n"
            "flat in vec4 colour;\n"
            "noperspective in float cut;\n"
            "void main() { if (abs(cut) > 1.0) discard; gl_FragColor = colour; }\n",
            "#version 130\n"
            "noperspective in vec4 colour;\n"
            "noperspective in float cut;\n"
            "void main() { if (abs(cut) > 1.0) discard; gl_FragColor = colour; }\n"};
        GLuint* made[2] = {&m_flatProgram, &m_mixProgram};
        for (int k = 0; k < 2; ++k) {
            GLuint vs = Compile(GL_VERTEX_SHADER, kVertex[k]), fs = vs ? Compile(GL_FRAGMENT_SHADER, kFragment[k]) : 0;
            if (vs && fs) {
                GLuint prog = glCreateProgram();
                glAttachShader(prog, vs);
                glAttachShader(prog, fs);
                if (k == 1) glBindAttribLocation(prog, kLastColourAttribute, "lastColour");
                glLinkProgram(prog);
                GLint ok = 0;
                glGetProgramiv(prog, GL_LINK_STATUS, &ok);
                if (ok) *made[k] = prog;
                else glDeleteProgram(prog);
            }
            if (vs) glDeleteShader(vs);
            if (fs) glDeleteShader(fs);
        }
        GLint dims[2] = {0, 0};
        glGetIntegerv(GL_MAX_VIEWPORT_DIMS, dims);
        m_maxViewport = std::min(dims[0], dims[1]);
        GLfloat bounds[2] = {0.0f, 0.0f};
        glGetFloatv(GL_VIEWPORT_BOUNDS_RANGE, bounds);
        m_viewportLeast = (int64_t)std::ceil(bounds[0]);
        while (glGetError() != GL_NO_ERROR) {
        }
        return m_flatProgram;
    }

    static int32_t PowerOfTwoAtLeast(int64_t v)
    {
        int32_t p = 1;
        while (p < v && p < (1 << 30)) p <<= 1;
        return p;
    }

    bool DrawFlatThin(uint32_t type, uint32_t n, const uint8_t* first, uint32_t stride)
    {
        if (m_lighting || m_fog || m_textureEnabled || m_vp.w <= 0 || m_vp.h <= 0 || !FlatProgram()) return false;
        if (!m_programsBuilt) SelectProgram();
        if (!m_programs[0]) return false;
        if (m_matricesDirty || m_lightsDirty) {
            FlushFlat(); // made through the matrices before (GL's become the draws' own meanwhile)
            ApplyMatrices(true);
        }
        if (!PrepareThin()) return false;
        const double* w = m_wholeD;
        if (w[3] != 0.0 || w[7] != 0.0 || w[11] != 0.0 || w[15] != 1.0) return false;
        // The viewport sent: the draws' own and kFlatMargin around, its size a power of two.
        int32_t side = 1 << 30;
        while (side > m_maxViewport) side >>= 1;
        const int64_t wide = std::max(m_vp.w, m_vp.h);
        if (wide > side) return false;
        // The viewport's corner no further out than GL takes one.
        const int64_t least = std::min<int64_t>(m_vp.x, m_vp.y) - m_viewportLeast;
        if (least < 0) return false;
        const int32_t margin = (int32_t)std::min<int64_t>({kFlatMargin, (side - wide) / 2, least});
        const int32_t gw = std::min(PowerOfTwoAtLeast(int64_t(m_vp.w) + 2 * margin), side);
        const int32_t gh = std::min(PowerOfTwoAtLeast(int64_t(m_vp.h) + 2 * margin), side);
        const int64_t gx = int64_t(m_vp.x) - margin, gy = int64_t(m_vp.y) - margin;
        if (gx < -(int64_t(1) << 24) || gy < -(int64_t(1) << 24) || gx + gw > (int64_t(1) << 24) || gy + gh > (int64_t(1) << 24))
            return false; // window coordinates too far for single precision to keep 1/256 of a pixel
        GLint rect[4];
        TargetRect((int32_t)gx, (int32_t)gy, gw, gh, rect);
        if (rect[0] < m_viewportLeast || rect[1] < m_viewportLeast) return false; // GL would move it
        // Every vertex placed (a line beyond the near or far plane is cut there, Line).
        const bool lines = type != GFX_PT_POINTLIST;
        m_thinLayout = LayoutOf(m_fvf);
        m_flatEnds.resize(n);
        const double far = GR_PIXEL_FAR * 0.5;
        // Window x = (clip x + 1) w / 2 + left, y = (1 - clip y) h / 2 + top: folded into the
        // transform.
        const double hw = 0.5 * m_vp.w, hh = 0.5 * m_vp.h;
        const double tx[4] = {w[0] * hw, w[4] * hw, w[8] * hw, (w[12] + 1.0) * hw + m_vp.x};
        const double ty[4] = {-w[1] * hh, -w[5] * hh, -w[9] * hh, (1.0 - w[13]) * hh + m_vp.y};
        const bool coloured = (m_fvf & GFX_FVF_DIFFUSE) != 0;
        const size_t colourAt = m_thinLayout.colour;
        for (uint32_t i = 0; i < n; ++i) {
            const uint8_t* p = first + (size_t)i * stride;
            float f[3];
            std::memcpy(f, p, sizeof(f));
            FlatEnd& e = m_flatEnds[i];
            e.x = f[0] * tx[0] + f[1] * tx[1] + f[2] * tx[2] + tx[3];
            e.y = f[0] * ty[0] + f[1] * ty[1] + f[2] * ty[2] + ty[3];
            e.z = f[0] * w[2] + f[1] * w[6] + f[2] * w[10] + w[14];
            e.colour = 0xFFFFFFFFu;
            if (coloured) std::memcpy(&e.colour, p + colourAt, 4);
            e.far = !(std::fabs(e.x) < far && std::fabs(e.y) < far); // also NaN
            if (!e.far) e.px = GR_Pixel_Of(e.x), e.py = GR_Pixel_Of(e.y);
        }
        const bool strip = type == GFX_PT_LINESTRIP;
        // Lines of two colours need the program that mixes them (flat shading keeps the first).
        if (lines && coloured && !m_flat && !m_mixProgram)
            for (uint32_t i = 1; i < n; i += strip ? 1 : 2)
                if (m_flatEnds[i - 1].colour != m_flatEnds[i].colour) return false;

        // Points after lines still pending join them as lines one pixel long; a draw of
        // another kind sends the pending one first.
        const GLenum kind = lines || (m_flatCount && m_flatKind == GL_LINES) ? GL_LINES : GL_POINTS;
        if (m_flatCount && m_flatKind != kind) FlushFlat();
        FlatDraw draw{this, gx, gy, {256 * gx - 128, 256 * gy - 128, 256 * (gx + gw) - 128, 256 * (gy + gh) - 128},
                      margin > kFlatShort, m_vp.x, m_vp.y, int64_t(m_vp.x) + m_vp.w, int64_t(m_vp.y) + m_vp.h, m_flat};
        if (!m_flatCount) StartFlat(gx, gy, gw, gh, kind);
        if (!lines) {
            for (const FlatEnd& e : m_flatEnds) {
                if (e.far || !(e.z >= 0.0 && e.z <= 1.0) || !draw.Inside(e.px, e.py)) continue;
                draw.colour = draw.lastColour = e.colour;
                if (kind == GL_POINTS) {
                    draw.Add(256 * e.px, 256 * e.py, e.z, 0.0f, 0.0f);
                } else {
                    draw.Add(256 * e.px - 1, 256 * e.py, e.z, 0.0f, 0.0f);
                    draw.Add(256 * e.px + 255, 256 * e.py, e.z, 0.0f, 0.0f);
                }
            }
        } else {
            for (uint32_t i = 1; i < n; i += strip ? 1 : 2) draw.Line(m_flatEnds[i - 1], m_flatEnds[i]);
        }
        return true;
    }

    // Makes GL ready for flat thin draws of this kind: the viewport (gx, gy, gw, gh), the
    // window projection, the program and the arrays. Until FlushFlat sends them, nothing else
    // is drawn or changed (every other draw and change of state sends them first).
    void StartFlat(int64_t gx, int64_t gy, int32_t gw, int32_t gh, GLenum kind)
    {
        m_flatKind = kind;
        BindTarget(true);
        if (m_flatProjection[0] != gw || m_flatProjection[1] != gh || m_projectionSent != kProjectionWindow) {
            // Window x - gx (centres on whole numbers) to clip space: (2 (x + 1/2) / gw - 1).
            const float p[16] = {2.0f / (float)gw, 0, 0, 0, 0, 2.0f / (float)gh, 0, 0, 0, 0, 1, 0,
                                 1.0f / (float)gw - 1.0f, 1.0f / (float)gh - 1.0f, 0, 1};
            glMatrixMode(GL_PROJECTION);
            glLoadMatrixf(p);
            m_projectionSent = kProjectionWindow;
            m_flatProjection[0] = gw, m_flatProjection[1] = gh;
        }
        if (m_modelview != kModelviewEye) {
            static const float kIdentity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
            glMatrixMode(GL_MODELVIEW);
            glLoadMatrixf(kIdentity);
            m_modelview = kModelviewEye;
        }
        GLint r[4];
        TargetRect((int32_t)gx, (int32_t)gy, gw, gh, r);
        if (!m_flatViewportSent || std::memcmp(r, m_flatViewport, sizeof(r)) != 0) {
            glViewport(r[0], r[1], r[2], r[3]);
            std::memcpy(m_flatViewport, r, sizeof(r));
            m_flatViewportSent = true;
        }
        m_viewportDirty = true; // the draws' own again for the next draw of another kind
        ClientArrays(GFX_FVF_XYZ | GFX_FVF_DIFFUSE | GFX_FVF_TEX1 | kCutArray);
        m_flatVertices.resize(kThinChunk);
        m_shortSpans.resize(size_t((2 * kFlatShort + 1) * (2 * kFlatShort + 1)), FlatSpan{{0, 0}, {0, 0}, 0, 0, 0, false});
    }

    // Sends the flat thin draws made so far.
    void FlushFlat()
    {
        if (m_flatCount == 0) return;
        // Untextured drawing's program where nothing is left out and no colours are mixed (so
        // that the two take turns without a change of program, which costs Mesa more than most
        // draws).
        const GLuint prog = m_flatMix ? m_mixProgram : m_flatCut ? m_flatProgram : m_programs[0];
        if (m_program != prog) {
            glUseProgram(prog);
            m_program = prog;
        }
        BindVertexBuffer(0);
        const uintptr_t base = reinterpret_cast<uintptr_t>(m_flatVertices.data());
        glVertexPointer(3, GL_FLOAT, sizeof(FlatVertex), reinterpret_cast<const void*>(base));
        glColorPointer(GL_BGRA, GL_UNSIGNED_BYTE, sizeof(FlatVertex), reinterpret_cast<const void*>(base + offsetof(FlatVertex, colour)));
        glTexCoordPointer(2, GL_FLOAT, sizeof(FlatVertex), reinterpret_cast<const void*>(base + offsetof(FlatVertex, cut)));
        glSecondaryColorPointer(3, GL_FLOAT, sizeof(FlatVertex), reinterpret_cast<const void*>(base + offsetof(FlatVertex, cut)));
        if (m_flatMix) {
            glEnableVertexAttribArray(kLastColourAttribute);
            glVertexAttribPointer(kLastColourAttribute, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, sizeof(FlatVertex),
                                  reinterpret_cast<const void*>(base + offsetof(FlatVertex, lastColour)));
        }
        glDrawArrays(m_flatKind, 0, (GLsizei)m_flatCount);
        if (m_flatMix) glDisableVertexAttribArray(kLastColourAttribute);
        m_flatCut = m_flatMix = false;
        m_flatCount = 0;
    }

    // The vertices of one flat thin draw, sent in chunks of kThinChunk.
    struct FlatDraw {
        GLDevice* device;
        int64_t gx, gy; // the viewport's corner
        int64_t box[4]; // the viewport's edges in 1/256 of a pixel: ends lie inside
        bool shortRoom; // the viewport reaches kFlatShort pixels beyond the draws' own: short lines' ends lie inside
        int64_t left, top, right, bottom; // the draws' own viewport: [left, right) x [top, bottom)
        bool firstColour; // flat shading: a line is all its first end's colour
        // The line being drawn: its end pixels and depths, its colours, the pixels kept along
        // its longer axis, and where its colours run from and to along that axis (its end
        // pixels' centres, or its ends as given where they lay too far out to have pixels).
        int64_t ax = 0, ay = 0, bx = 0, by = 0, lo = 0, hi = 0;
        double az = 0.0, bz = 0.0;
        uint32_t colour = 0, lastColour = 0;
        double colourFrom = 0.0, colourTo = 1.0;
        bool xMajor = true;

        bool Inside(int64_t px, int64_t py) const { return px >= left && px < right && py >= top && py < bottom; }

        // A vertex at window (x, y) in 1/256 of a pixel, along the line as far as along.
        void Add(int64_t x, int64_t y, double z, float cut, float along)
        {
            device->m_flatMix |= colour != lastColour; // for each chunk: a line's runs may span two
            FlatVertex& v = device->m_flatVertices[device->m_flatCount++];
            v = {float(double(x - 256 * gx) * (1.0 / 256.0)), float(double(y - 256 * gy) * (1.0 / 256.0)), (float)z, colour, {cut, along, 0.0f}, lastColour};
            if (device->m_flatCount == kThinChunk) device->FlushFlat(); // the chunk is even: no line is split
        }

        // How far a place along the longer axis (in 1/256 of a pixel) lies from one to another
        // of two places on it (in pixels).
        static double Fraction(int64_t along, double from, double to) { return (double(along) / 256.0 - from) / (to - from); }

        // The depth at a place along the longer axis (in 1/256 of a pixel): the first end's
        // at its pixel, the last end's at its.
        double DepthAt(int64_t along) const
        {
            if (az == bz) return az;
            // Within the depth range: an end sent beyond the line's pixels is not cut by GL.
            return std::clamp(az + (bz - az) * Fraction(along, double(xMajor ? ax : ay), double(xMajor ? bx : by)), 0.0, 1.0);
        }

        // How far along the line's colours a place along the longer axis lies (0 where the
        // line is of one colour).
        float Along(int64_t along) const { return colour == lastColour ? 0.0f : float(Fraction(along, colourFrom, colourTo)); }

        void Line(const FlatEnd& from, const FlatEnd& to)
        {
            const FlatEnd* a = &from;
            const FlatEnd* b = &to;
            FlatEnd clipped[2];
            colour = a->colour;
            lastColour = firstColour ? a->colour : b->colour;
            const bool deep = !(a->z >= 0.0 && a->z <= 1.0 && b->z >= 0.0 && b->z <= 1.0); // also NaN
            if (deep || a->far || b->far) {
                clipped[0] = *a, clipped[1] = *b;
                if (deep && !ClipDepth(clipped[0], clipped[1])) return;
                if ((clipped[0].far || clipped[1].far) && !ClipFar(clipped[0], clipped[1])) return;
                a = &clipped[0], b = &clipped[1];
            }
            const int64_t dx = b->px - a->px, dy = b->py - a->py;
            if (dx == 0 && dy == 0) return; // no pixel
            xMajor = std::llabs(dx) >= std::llabs(dy);
            // The colours run between the ends as given (their pixels, where they have them).
            colourFrom = from.far ? (xMajor ? from.x : from.y) : double(xMajor ? from.px : from.py);
            colourTo = to.far ? (xMajor ? to.x : to.y) : double(xMajor ? to.px : to.py);
            const bool inside = Inside(a->px, a->py) && Inside(b->px, b->py);
            if (inside && shortRoom && a->z == b->z && dx >= -kFlatShort && dx <= kFlatShort && dy >= -kFlatShort && dy <= kFlatShort) {
                // Short, and every pixel kept: its ends from the table.
                const FlatSpan& t = device->ShortSpan(dx, dy);
                if (t.state == 1) {
                    const float x = float(a->px - gx), y = float(a->py - gy), z = float(a->z);
                    float along[2] = {0.0f, 0.0f};
                    if (colour != lastColour) {
                        const float n = float(xMajor ? dx : dy);
                        along[0] = t.from[xMajor ? 0 : 1] / n, along[1] = t.to[xMajor ? 0 : 1] / n;
                        device->m_flatMix = true;
                    }
                    FlatVertex* v = &device->m_flatVertices[device->m_flatCount];
                    v[0] = {x + t.from[0], y + t.from[1], z, colour, {t.fromCut, along[0], 0.0f}, lastColour};
                    v[1] = {x + t.to[0], y + t.to[1], z, colour, {t.toCut, along[1], 0.0f}, lastColour};
                    device->m_flatCut |= t.cut;
                    if ((device->m_flatCount += 2) == kThinChunk) device->FlushFlat(); // chunks are even: no line is split
                    return;
                }
            }
            ax = a->px, ay = a->py, bx = b->px, by = b->py;
            az = a->z, bz = b->z;
            const int64_t a0 = xMajor ? ax : ay, step = (xMajor ? dx : dy) > 0 ? 1 : -1;
            int64_t k0 = 0, k1 = std::max(std::llabs(dx), std::llabs(dy)) - 1;
            if (!inside && !GR_Pixel_LineSteps(ax, ay, bx, by, left, top, right, bottom, &k0, &k1)) return;
            lo = std::min(a0 + step * k0, a0 + step * k1), hi = std::max(a0 + step * k0, a0 + step * k1);
            GR_PixelSpan span;
            if (GR_Pixel_LineSpan(ax, ay, bx, by, lo, hi, box, &span)) {
                End(span.from);
                End(span.to);
                return;
            }
            GR_Pixel_LineRuns(ax, ay, bx, by, left, top, right, bottom, &Run, this);
        }

        // An end of the line's span, with how far it lies beyond the pixels kept.
        void End(const int64_t* at)
        {
            const int64_t along = at[xMajor ? 0 : 1];
            if (along <= 256 * (lo - 1) || along >= 256 * (hi + 1)) device->m_flatCut = true; // a pixel beyond lights
            Add(at[0], at[1], DepthAt(along), Cut(along, lo, hi), Along(along));
        }

        // A run as a level or upright line from 1/256 of a pixel before its first pixel's
        // centre to as far before the centre after its last: both ends kept.
        static void Run(const GR_PixelRun& run, void* ctx)
        {
            FlatDraw& d = *static_cast<FlatDraw*>(ctx);
            const int64_t lo = std::min(run.first, run.last), hi = std::max(run.first, run.last);
            const int64_t from = 256 * lo - 1, to = 256 * hi + 255, across = 256 * run.minor;
            d.Add(run.xMajor ? from : across, run.xMajor ? across : from, d.DepthAt(from), 0.0f, d.Along(from));
            d.Add(run.xMajor ? to : across, run.xMajor ? across : to, d.DepthAt(to), 0.0f, d.Along(to));
        }

        // Ends beyond the near or far plane (a depth outside 0..1) moved to where the line
        // crosses it, as GL cuts a line there (the window coordinates follow); false when none
        // of the line lies between the planes, or a depth is not a number.
        static bool ClipDepth(FlatEnd& a, FlatEnd& b)
        {
            double t0 = 0.0, t1 = 1.0;
            const double da[2] = {a.z, 1.0 - a.z}, db[2] = {b.z, 1.0 - b.z};
            for (int k = 0; k < 2; ++k) {
                if (std::isnan(da[k]) || std::isnan(db[k]) || (da[k] < 0.0 && db[k] < 0.0)) return false;
                if (da[k] < 0.0) t0 = std::max(t0, da[k] / (da[k] - db[k]));
                else if (db[k] < 0.0) t1 = std::min(t1, da[k] / (da[k] - db[k]));
            }
            if (t0 > t1) return false;
            const FlatEnd from = a, to = b;
            for (auto [e, t] : {std::pair{&a, t0}, std::pair{&b, t1}}) {
                if (t == (e == &a ? 0.0 : 1.0)) continue; // this end between the planes
                e->x = from.x + (to.x - from.x) * t, e->y = from.y + (to.y - from.y) * t;
                e->z = std::clamp(from.z + (to.z - from.z) * t, 0.0, 1.0);
                e->far = !(std::fabs(e->x) < GR_PIXEL_FAR * 0.5 && std::fabs(e->y) < GR_PIXEL_FAR * 0.5); // also NaN
                if (!e->far) e->px = GR_Pixel_Of(e->x), e->py = GR_Pixel_Of(e->y);
            }
            return true;
        }

        // Ends GR_PIXEL_FAR / 2 or further out moved to where the line enters that square (the
        // depth follows), and their pixels found; false when it misses the square.
        static bool ClipFar(FlatEnd& a, FlatEnd& b)
        {
            double t0, t1;
            if (!GR_Pixel_ClipFar(a.x, a.y, b.x, b.y, &t0, &t1)) return false;
            const double d[2] = {b.x - a.x, b.y - a.y};
            const FlatEnd from = a;
            a.x = from.x + d[0] * t0, a.y = from.y + d[1] * t0, a.z = from.z + (b.z - from.z) * t0;
            b.x = from.x + d[0] * t1, b.y = from.y + d[1] * t1, b.z = from.z + (b.z - from.z) * t1;
            a.px = GR_Pixel_Of(a.x), a.py = GR_Pixel_Of(a.y), b.px = GR_Pixel_Of(b.x), b.py = GR_Pixel_Of(b.y);
            return true;
        }
    };

    // The ends of the rasteriser's line along a short line whose pixels are all kept (from its
    // first pixel), found once for each shape (the same wherever it lies: they depend on the
    // places in the pixels only).
    const FlatSpan& ShortSpan(int64_t dx, int64_t dy)
    {
        FlatSpan& t = m_shortSpans[size_t((dy + kFlatShort) * (2 * kFlatShort + 1) + dx + kFlatShort)];
        if (t.state) return t;
        t.state = 2;
        const bool xMajor = std::llabs(dx) >= std::llabs(dy);
        const int64_t a1 = xMajor ? dx : dy, lo = a1 > 0 ? 0 : a1 + 1, hi = a1 > 0 ? a1 - 1 : 0;
        // Ends within the kFlatShort pixels around.
        const int64_t room = 256 * kFlatShort, box[4] = {std::min<int64_t>(0, dx) * 256 - room, std::min<int64_t>(0, dy) * 256 - room,
                                                         std::max<int64_t>(0, dx) * 256 + room, std::max<int64_t>(0, dy) * 256 + room};
        GR_PixelSpan span;
        if (!GR_Pixel_LineSpan(0, 0, dx, dy, lo, hi, box, &span)) return t;

        t.from[0] = float(span.from[0]) / 256.0f, t.from[1] = float(span.from[1]) / 256.0f;
        t.to[0] = float(span.to[0]) / 256.0f, t.to[1] = float(span.to[1]) / 256.0f;
        t.fromCut = Cut(span.from[xMajor ? 0 : 1], lo, hi);
        t.toCut = Cut(span.to[xMajor ? 0 : 1], lo, hi);
        const int64_t first = std::min(span.from[xMajor ? 0 : 1], span.to[xMajor ? 0 : 1]);
        const int64_t last = std::max(span.from[xMajor ? 0 : 1], span.to[xMajor ? 0 : 1]);
        t.cut = first <= 256 * (lo - 1) || last >= 256 * (hi + 1);
        t.state = 1;
        return t;
    }

    void DrawThin(uint32_t type, uint32_t n, const uint8_t* first, uint32_t stride)
    {
        if (DrawFlatThin(type, n, first, stride)) return;
        FlushFlat();
        BindTarget();
        ApplyMatrices(false);
        if (!PrepareThin() || m_vp.w <= 0 || m_vp.h <= 0) return;
        if (!m_thinInWorld) ApplyMatrices(true);
        m_thinLayout = LayoutOf(m_fvf);
        m_thin.resize(kThinChunk * 36); // the largest vertex
        m_thinCount = 0;
        if (type == GFX_PT_POINTLIST) {
            for (uint32_t i = 0; i < n; ++i) ThinPoint(ReadThin(first + (size_t)i * stride));
        } else {
            // Measured first: when every line can be GL's own they all are, else all are quads
            // (one draw either way).
            m_lines.clear();
            bool allLines = true;
            const bool strip = type == GFX_PT_LINESTRIP;
            ThinEnd prev = ReadThin(first);
            for (uint32_t i = 1; i < n; i += strip ? 1 : 2) {
                if (!strip) prev = ReadThin(first + (size_t)(i - 1) * stride);
                const ThinEnd next = ReadThin(first + (size_t)i * stride);
                m_lines.emplace_back();
                if (MeasureThin(prev, next, m_lines.back())) allLines = allLines && m_lines.back().asLine;
                else m_lines.pop_back();
                prev = next;
            }
            for (ThinLine& line : m_lines) ThinSegment(line, allLines);
        }
        FlushThin();
    }

    // Draws the thin vertices made so far, all of one kind of GL's: points, lines, or quads
    // (four corners each; GL's own quads cost Mesa less than the same as triangles), in the
    // order made. A draw goes in chunks of at most kThinChunk vertices (a line drawn as runs
    // has as many quads as the window is wide, and a batch holds thousands of lines).
    static constexpr size_t kThinChunk = 16384;
    void FlushThin()
    {
        if (!m_thinCount) return;
        SelectProgram();
        BindVertexBuffer(0);
        PointArrays(reinterpret_cast<uintptr_t>(m_thin.data()), m_thinLayout.size, 3, m_thinLayout);
        // A line's quads are filled whatever the fill mode, and never culled.
        const bool quads = m_thinKind == GL_QUADS;
        if (quads && m_cull) glDisable(GL_CULL_FACE);
        if (quads && m_polygonMode != GL_FILL) glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
        glDrawArrays(m_thinKind, 0, (GLsizei)m_thinCount);
        if (quads && m_cull) glEnable(GL_CULL_FACE);
        if (quads && m_polygonMode != GL_FILL) glPolygonMode(GL_FRONT_AND_BACK, m_polygonMode);
        m_thinCount = 0;
    }

    // Row vector times a row-major 4x4 matrix.
    static void RowTimes(double* out, const double* v, const double* m)
    {
        for (int c = 0; c < 4; ++c) out[c] = v[0] * m[c] + v[1] * m[4 + c] + v[2] * m[8 + c] + v[3] * m[12 + c];
    }

    static void MultiplyD(double* out, const double* a, const double* b)
    {
        for (int r = 0; r < 4; ++r) RowTimes(out + r * 4, a + r * 4, b);
    }

    // The inverse of a 4x4 matrix; false when it has none.
    static bool InvertD(double* out, const double* m)
    {
        double inv[16];
        inv[0] = m[5] * m[10] * m[15] - m[5] * m[11] * m[14] - m[9] * m[6] * m[15] + m[9] * m[7] * m[14] + m[13] * m[6] * m[11] - m[13] * m[7] * m[10];
        inv[4] = -m[4] * m[10] * m[15] + m[4] * m[11] * m[14] + m[8] * m[6] * m[15] - m[8] * m[7] * m[14] - m[12] * m[6] * m[11] + m[12] * m[7] * m[10];
        inv[8] = m[4] * m[9] * m[15] - m[4] * m[11] * m[13] - m[8] * m[5] * m[15] + m[8] * m[7] * m[13] + m[12] * m[5] * m[11] - m[12] * m[7] * m[9];
        inv[12] = -m[4] * m[9] * m[14] + m[4] * m[10] * m[13] + m[8] * m[5] * m[14] - m[8] * m[6] * m[13] - m[12] * m[5] * m[10] + m[12] * m[6] * m[9];
        inv[1] = -m[1] * m[10] * m[15] + m[1] * m[11] * m[14] + m[9] * m[2] * m[15] - m[9] * m[3] * m[14] - m[13] * m[2] * m[11] + m[13] * m[3] * m[10];
        inv[5] = m[0] * m[10] * m[15] - m[0] * m[11] * m[14] - m[8] * m[2] * m[15] + m[8] * m[3] * m[14] + m[12] * m[2] * m[11] - m[12] * m[3] * m[10];
        inv[9] = -m[0] * m[9] * m[15] + m[0] * m[11] * m[13] + m[8] * m[1] * m[15] - m[8] * m[3] * m[13] - m[12] * m[1] * m[11] + m[12] * m[3] * m[9];
        inv[13] = m[0] * m[9] * m[14] - m[0] * m[10] * m[13] - m[8] * m[1] * m[14] + m[8] * m[2] * m[13] + m[12] * m[1] * m[10] - m[12] * m[2] * m[9];
        inv[2] = m[1] * m[6] * m[15] - m[1] * m[7] * m[14] - m[5] * m[2] * m[15] + m[5] * m[3] * m[14] + m[13] * m[2] * m[7] - m[13] * m[3] * m[6];
        inv[6] = -m[0] * m[6] * m[15] + m[0] * m[7] * m[14] + m[4] * m[2] * m[15] - m[4] * m[3] * m[14] - m[12] * m[2] * m[7] + m[12] * m[3] * m[6];
        inv[10] = m[0] * m[5] * m[15] - m[0] * m[7] * m[13] - m[4] * m[1] * m[15] + m[4] * m[3] * m[13] + m[12] * m[1] * m[7] - m[12] * m[3] * m[5];
        inv[14] = -m[0] * m[5] * m[14] + m[0] * m[6] * m[13] + m[4] * m[1] * m[14] - m[4] * m[2] * m[13] - m[12] * m[1] * m[6] + m[12] * m[2] * m[5];
        inv[3] = -m[1] * m[6] * m[11] + m[1] * m[7] * m[10] + m[5] * m[2] * m[11] - m[5] * m[3] * m[10] - m[9] * m[2] * m[7] + m[9] * m[3] * m[6];
        inv[7] = m[0] * m[6] * m[11] - m[0] * m[7] * m[10] - m[4] * m[2] * m[11] + m[4] * m[3] * m[10] + m[8] * m[2] * m[7] - m[8] * m[3] * m[6];
        inv[11] = -m[0] * m[5] * m[11] + m[0] * m[7] * m[9] + m[4] * m[1] * m[11] - m[4] * m[3] * m[9] - m[8] * m[1] * m[7] + m[8] * m[3] * m[5];
        inv[15] = m[0] * m[5] * m[10] - m[0] * m[6] * m[9] - m[4] * m[1] * m[10] + m[4] * m[2] * m[9] + m[8] * m[1] * m[6] - m[8] * m[2] * m[5];
        const double det = m[0] * inv[0] + m[1] * inv[4] + m[2] * inv[8] + m[3] * inv[12];
        if (det == 0.0 || !std::isfinite(det)) return false;
        for (int i = 0; i < 16; ++i) out[i] = inv[i] / det;
        return true;
    }

    SDL_Window* m_window;
    SDL_GLContext m_context;
    bool m_offscreen = false; // the window is SDL's headless off-screen surface, with alpha
    int m_surfaceW = 0, m_surfaceH = 0; // the window's drawable when the device was made
    bool m_drawing = false; // draws, clears or blits were asked of GL since it was last waited for
    GLuint m_fbo = 0, m_readFbo = 0, m_drawFbo = 0, m_sampler = 0;
    GLSurface* m_backColour = nullptr;
    GLSurface* m_colour = nullptr;
    GLSurface* m_depth = nullptr;
    bool m_fboDirty = true;      // the draw framebuffer binding is to be made again
    bool m_attachDirty = true;   // m_fbo's attachments are to be made again
    bool m_viewportDirty = true; // glViewport is to be set again
    bool m_clipWindow = false;   // the clip origin is set for the window (upper left)
    GLSurface* m_attachedDepth = nullptr; // depth-stencil attached to m_fbo (one reference held)
    GLSurface* m_attachedColour = nullptr; // colour attached to m_fbo (one reference held)
    bool m_keepDepth = false;    // keep m_depth attached until the targets change
    bool m_depthTest = false, m_stencilTest = false;
    bool m_lighting = false, m_fog = false, m_flat = false, m_affine = true;
    GLuint m_programs[3] = {0, 0, 0}; // colour; texture times colour; texture
    GLuint m_program = 0;             // in use (0: fixed function)
    bool m_programsBuilt = false;     // BuildPrograms ran
    uint32_t m_arrays = 0;            // client arrays switched on, as vertex-format bits
    int m_drawableW = 0, m_drawableH = 0;
    GfxViewport m_vp{0, 0, 1, 1, 0, 1};
    float m_matrix[3][16];
    bool m_matricesDirty = true, m_lightsDirty = true;
    // Which modelview GL has: the world and view (triangles), the identity (points and lines,
    // sent in eye space), or none yet.
    enum Modelview { kModelviewNone, kModelviewWorld, kModelviewEye };
    // Which projection GL has (ApplyMatrices): for untextured or textured drawing, or none yet.
    enum Projection { kProjectionNone, kProjectionPlain, kProjectionTextured, kProjectionWindow };
    Projection m_projectionSent = kProjectionNone;
    bool m_halfPixelFaded = false; // the projection lacks some of its half pixel
    // The view in double precision where it is known so (SetExactTransform), and the
    // projection (SetExactProjection, or the one set, with nothing divided): told for the next
    // SetTransform (pending), and kept while they are the ones set (valid).
    double m_exactViewNext[16], m_exactView[16];
    bool m_exactViewPending = false, m_exactViewValid = false;
    GfxExactProjection m_exactProjectionNext{}, m_exactProjection{{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}, {1, 1}, {0, 0}, {0, 0}};
    bool m_exactProjectionPending = false;
    GR_TexelTarget m_texelTarget{}; // where vertices land on the target (ExactTexels)
    bool m_exactReady = false;
    GLuint m_exactProgram[2] = {0, 0}; // the programs of DrawExactTexels (texel alone, times the colour), 0 until made or when refused
    bool m_exactBuilt = false;         // BuildExactProgram ran
    GLint m_exactInverse[2] = {-1, -1}; // their uniforms of the inverse size
    GR_TexelPlacer m_placer;                   // places and settles the draws' triangles
    bool m_texelProjection = false;            // the target's projection is loaded (this draw)
    bool m_linear[2] = {false, false}; // magnifying, minifying filters are linear
    int m_wrap[2] = {1, 1};            // u, v: 0 clamp, 1 repeat, 2 mirror, 3 border
    int32_t m_boundW = 0, m_boundH = 0; // the bound texture's size
    Modelview m_modelview = kModelviewNone;
    float m_modelviewMatrix[16];
    // The thin draws' transforms (PrepareThin): world times view, projection and its inverse,
    // the inverse of all three, the normals' matrix; m_thinReady: made from the matrices in
    // force.
    double m_eyeD[16], m_projD[16], m_projInvD[16], m_normalD[9];
    double m_wholeD[16], m_wholeInvD[16];
    double m_backX[4], m_backY[4], m_backZ[4], m_backW[4]; // window back to a vertex (PrepareThin)
    bool m_thinReady = false, m_thinInvertible = false;
    bool m_thinInWorld = false; // world, view and projection have an inverse: vertices go back to the world
    std::vector<uint8_t> m_thin;    // room for kThinChunk vertices of the thin draw being made
    size_t m_thinCount = 0;         // vertices made so far (FlushThin draws them)
    Layout m_thinLayout{0, 0, 0, 12}; // the vertex format's: where its parts lie, its size
    GLenum m_thinKind = GL_POINTS;  // GL's kind of primitive they make
    std::vector<ThinLine> m_lines;  // the lines of the thin draw being made, measured
    std::vector<uint8_t> m_solid;   // a triangle list less its flat triangles (LeaveOutFlat)
    std::vector<FlatEnd> m_flatEnds;       // the vertices of a flat thin draw, placed (DrawFlatThin)
    std::vector<FlatVertex> m_flatVertices; // what they send, kThinChunk vertices at most
    size_t m_flatCount = 0;                 // vertices made and not sent yet (FlushFlat)
    bool m_flatCut = false;                 // some of them light pixels that the program leaves out
    bool m_flatMix = false;                 // some lines among them are of two colours (m_mixProgram)
    GLenum m_flatKind = GL_LINES;           // their kind of GL primitive
    std::vector<FlatSpan> m_shortSpans;     // the ends of short lines' spans (ShortSpan)
    GLuint m_flatProgram = 0;              // its programs (FlatProgram): leaving out,
    GLuint m_mixProgram = 0;               // and leaving out and mixing two colours
    bool m_flatProgramBuilt = false;
    GLint m_maxViewport = 0;               // the driver's widest viewport, read at the first flat draw
    int64_t m_viewportLeast = 0;           // and the least corner it takes
    GLint m_flatViewport[4] = {0, 0, 0, 0}; // the viewport GL has for flat thin draws
    bool m_flatViewportSent = false;       // GL has it (the draws' own viewport is set again)
    int32_t m_flatProjection[2] = {0, 0};  // the size the window projection (kProjectionWindow) maps
    bool m_cull = false;            // culling is on
    GLenum m_polygonMode = GL_FILL; // the fill mode's
    GfxLight m_lights[8] = {};
    uint32_t m_src = 2, m_dst = 1, m_alphaRef = 0, m_alphaFunc = 8, m_colourMask = 15;
    bool m_zwrite = true, m_modulate = true, m_textureEnabled = false;
    bool m_boundAlpha = false; // the bound texture's format has alpha
    GLuint m_bound = 0;
    GLint m_maxTexture = 2048, m_maxRenderbuffer = 2048; // the driver's, read at creation
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
        KeepTheHeap();
        return new GLDevice(w, ctx, pp);
    }

private:
    bool Init()
    {
        return GR_Sdl_StartVideo();
    }

    // Mesa's software rasteriser takes the memory of a frame's binned triangles (tens of
    // megabytes for tens of thousands of triangles) from the heap and gives it back at the end
    // of each scene; the C library then returned the heap's top to the system whenever more
    // than its threshold lay free there (from 128 KiB, moved up to 32 MiB at most), and the
    // next frame faulted every page in anew: 20,000 page faults a frame, a third of the frame,
    // for 12,000 sprites turned by any angle in a view shrinking by two. The heap keeps up to
    // 64 MiB free at its top, and blocks up to 32 MiB come from it (the most the library's own
    // adjustment would reach), so that a frame reuses the pages of the frame before.
    static void KeepTheHeap()
    {
        static bool done = false;
        if (done) return;
        done = true;
        mallopt(M_MMAP_THRESHOLD, 32 << 20);
        mallopt(M_TRIM_THRESHOLD, 64 << 20);
    }
};

} // namespace

IGfxSystem* GfxSystem_CreateGL() { return new GLSystem(); }
