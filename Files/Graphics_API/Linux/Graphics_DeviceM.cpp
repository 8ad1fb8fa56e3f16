// The OpenGL implementation of the graphics device (see Graphics_Device.h): OpenGL 2.1
// compatibility fixed function on the SDL2 window's GL context, translating Direct3D 9's
// numbers and rules:
// - glClipControl(GL_UPPER_LEFT, GL_ZERO_TO_ONE): row 0 of every target is the top row, depth
//   runs 0..1, viewport and scissor rectangles are Direct3D's own;
// - every projection is shifted so that Direct3D 9's pixel centres (at whole coordinates) and
//   its ties (to the top and left) come out: by half a pixel for textured drawing, less a hair
//   for points and shapes, onto pixel centres for lines (ApplyMatrices);
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

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "Files/Base/RealConvert.h"
#include "Files/Graphics_API/Graphics_Device.h"
#include "Files/Graphics_API/Graphics_Matrix.h"
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
        g_contextAlive = false;
        g_boundVertexBuffer = 0;
        SDL_GL_DeleteContext(m_context);
    }

    uint32_t TestCooperativeLevel() override { return GFX_OK; }

    bool Reset(GfxPresentParams& pp) override
    {
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
    bool EndScene() override { return true; }

    // The back buffer is the window's framebuffer: the picture is already there.
    bool Present() override
    {
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
        case GFX_RS_ZENABLE:
            m_depthTest = v != 0;
            Enable(GL_DEPTH_TEST, m_depthTest);
            break;
        case GFX_RS_FILLMODE: glPolygonMode(GL_FRONT_AND_BACK, v == 1 ? GL_POINT : v == 2 ? GL_LINE : GL_FILL); break;
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
        m_boundAlpha = t && t->format != GFX_FMT_R16F && t->format != GFX_FMT_R32F;
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
        if (surface) surface->AddRef();
        if (m_depth) m_depth->Release();
        m_depth = static_cast<GLSurface*>(surface);
        m_fboDirty = m_attachDirty = true;
        m_keepDepth = false;
        return true;
    }

    bool StretchRect(GfxSurface* src, const GfxRect* sr, GfxSurface* dst, const GfxRect* dr, uint32_t filter) override
    {
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
        if (m_stream->Live()) DrawAt(type, n, at, m_stride, m_stream->object);
        else Draw(type, n, m_stream->data.data() + at, m_stride);
    }

    void DrawPrimitiveUP(uint32_t type, uint32_t count, const void* data, uint32_t stride) override
    {
        uint32_t n = VertexCount(type, count);
        if (n && data) Draw(type, n, (const uint8_t*)data, stride);
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
    void BindTarget()
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
                // Lower-left origin on the window, whose rows run from the bottom: the picture
                // keeps its way up (and facing its sense, the origin being part of GL's test).
                glClipControl(window ? GL_LOWER_LEFT : GL_UPPER_LEFT, GL_ZERO_TO_ONE);
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
        if (m_viewportDirty) {
            GLint r[4];
            TargetRect(m_vp.x, m_vp.y, m_vp.w, m_vp.h, r);
            glViewport(r[0], r[1], r[2], r[3]);
            m_viewportDirty = false;
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

    // How far right and down GL's projection is moved from Direct3D's, in pixels, by what is
    // drawn (the pixel rule in docs/decisions.md). Both devices light a pixel whose centre lies
    // inside a shape, and a line's pixels by the diamonds it leaves; they differ in where the
    // centres lie (Direct3D on whole coordinates, GL half a pixel further) and in how ties fall
    // (a centre on an edge: Direct3D takes the top and left edges; GL, with its origin in the
    // upper left, takes other ones for points and horizontal edges). The drawing layer puts
    // points, lines and outlines at whole coordinates on ties on purpose, and Direct3D's rule
    // decides them:
    // - textured drawing moves by the half pixel exactly, so that textures are sampled at
    //   their texel centres (a shape at whole coordinates has no ties there);
    // - points and untextured triangles move by the half pixel less kNudge, so that a tie
    //   falls to the top and left as in Direct3D: draw_point(x, y) is the pixel (x, y);
    // - untextured lines move by kNudge alone: their ends (x + 1, y + 1 less Direct3D's half
    //   pixel) then lie on the centres of the pixels they name, so a line lights its first
    //   pixel and leaves out its last, on its own row or column; in a view that shrinks the
    //   room by two, an end on a pixel's corner goes into the pixel below and right of it,
    //   the one it names.
    // kNudge is far below a pixel and above the rasterisers' sub-pixel steps (llvmpipe's
    // 1/256).
    static constexpr float kNudge = 1.0f / 64.0f;
    enum Shift { kShiftNone, kShiftTextured, kShiftLines, kShiftShapes };
    static float PixelShift(Shift shift)
    {
        return shift == kShiftTextured ? 0.5f : shift == kShiftLines ? kNudge : 0.5f - kNudge;
    }
    Shift ShiftFor(uint32_t type) const
    {
        if (m_textureEnabled) return kShiftTextured;
        return type == 2 || type == 3 ? kShiftLines : kShiftShapes; // line lists and strips
    }

    void ApplyMatrices(Shift shift)
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
        if (m_matricesDirty) {
            float mv[16];
            grm::Multiply(mv, m_matrix[2], m_matrix[0]);
            glMatrixMode(GL_MODELVIEW);
            glLoadMatrixf(mv);
            m_affine = KeepsW(mv) && KeepsW(m_matrix[1]); // the shift below leaves w as it is
            m_matricesDirty = false;
            m_projectionShift = kShiftNone;
        }
        if (m_projectionShift == shift) return;
        // Direct3D 9's pixel centres lie on whole coordinates, GL's on half ones: the projection
        // is moved right and down (in clip space, so that it also holds for perspective) by
        // the shift's amount in pixels of the viewport (PixelShift).
        const float amount = PixelShift(shift);
        float p[16];
        std::memcpy(p, m_matrix[1], sizeof(p));
        float dx = m_vp.w > 0 ? 2.0f * amount / (float)m_vp.w : 0.0f, dy = m_vp.h > 0 ? -2.0f * amount / (float)m_vp.h : 0.0f;
        for (int r = 0; r < 4; ++r) {
            p[r * 4 + 0] += dx * p[r * 4 + 3];
            p[r * 4 + 1] += dy * p[r * 4 + 3];
        }
        glMatrixMode(GL_PROJECTION);
        glLoadMatrixf(p);
        m_projectionShift = shift;
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

    static GLuint Compile(GLenum kind, const char* text)
    {
        GLuint sh = glCreateShader(kind);
        glShaderSource(sh, 1, &text, nullptr);
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

    void ClientArrays(uint32_t fvf)
    {
        uint32_t want = GFX_FVF_XYZ | (fvf & (GFX_FVF_NORMAL | GFX_FVF_DIFFUSE | GFX_FVF_TEX1));
        uint32_t change = want ^ m_arrays;
        if (!change) return;
        static const struct {
            uint32_t bit;
            GLenum array;
        } kArrays[] = {{GFX_FVF_XYZ, GL_VERTEX_ARRAY}, {GFX_FVF_NORMAL, GL_NORMAL_ARRAY}, {GFX_FVF_DIFFUSE, GL_COLOR_ARRAY}, {GFX_FVF_TEX1, GL_TEXTURE_COORD_ARRAY}};
        for (const auto& a : kArrays)
            if (change & a.bit) {
                if (want & a.bit) glEnableClientState(a.array);
                else glDisableClientState(a.array);
            }
        m_arrays = want;
    }

    void BindVertexBuffer(GLuint object)
    {
        if (object == g_boundVertexBuffer) return;
        glBindBuffer(GL_ARRAY_BUFFER, object);
        g_boundVertexBuffer = object;
    }

    // first: the first vertex in memory, or its offset in the buffer object when one is given
    // (an address as GL takes it; offsets are never turned into pointers by arithmetic).
    void Draw(uint32_t type, uint32_t n, const uint8_t* first, uint32_t stride, GLuint object = 0)
    {
        DrawAt(type, n, reinterpret_cast<uintptr_t>(first), stride, object);
    }

    void DrawAt(uint32_t type, uint32_t n, uintptr_t base, uint32_t stride, GLuint object)
    {
        BindTarget();
        ApplyMatrices(ShiftFor(type));
        SelectProgram();
        BindVertexBuffer(object);
        uint32_t fvf = m_fvf;
        uint32_t offset = 12;
        // The arrays' switches change only with the vertex format; a value stands in for an
        // array that is off (after a draw with the array on, GL's current value is undefined).
        ClientArrays(fvf);
        glVertexPointer(3, GL_FLOAT, (GLsizei)stride, reinterpret_cast<const void*>(base));
        if (fvf & GFX_FVF_NORMAL) {
            glNormalPointer(GL_FLOAT, (GLsizei)stride, reinterpret_cast<const void*>(base + offset));
            offset += 12;
        } else {
            glNormal3f(0, 0, -1);
        }
        if (fvf & GFX_FVF_DIFFUSE) {
            glColorPointer(GL_BGRA, GL_UNSIGNED_BYTE, (GLsizei)stride, reinterpret_cast<const void*>(base + offset));
            offset += 4;
        } else {
            glColor4f(1, 1, 1, 1);
        }
        if (fvf & GFX_FVF_TEX1) glTexCoordPointer(2, GL_FLOAT, (GLsizei)stride, reinterpret_cast<const void*>(base + offset));
        else glTexCoord2f(0, 0);
        static const GLenum kModes[] = {GL_POINTS, GL_POINTS, GL_LINES, GL_LINE_STRIP, GL_TRIANGLES, GL_TRIANGLE_STRIP, GL_TRIANGLE_FAN};
        glDrawArrays(type <= 6 ? kModes[type] : GL_POINTS, 0, (GLsizei)n);
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
    bool m_clipWindow = false;   // the clip origin is set for the window (lower left)
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
    Shift m_projectionShift = kShiftNone; // the Shift of the projection GL has (kShiftNone: to be sent)
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
        return new GLDevice(w, ctx, pp);
    }

private:
    bool Init()
    {
        return GR_Sdl_StartVideo();
    }
};

} // namespace

IGfxSystem* GfxSystem_CreateGL() { return new GLSystem(); }
