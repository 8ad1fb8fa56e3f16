// The graphics device: our stand-in for the Direct3D 9 device and its parent object. The
// interface keeps Direct3D 9's numbers (render states, blend factors, compare functions,
// primitive types, vertex formats, texture formats, transform slots) so that the layer above
// it (Graphics_D3D, Graphics_RenderState, Graphics_Batch) is written exactly in those terms.
//
// Two implementations: Linux/Graphics_DeviceM.cpp (OpenGL 2.1 compatibility fixed function on
// the SDL2 window's GL context) and the recording fake of the tests (tests/support/FakeDevice).
// Objects (textures, surfaces, vertex buffers) are reference counted like their Direct3D
// counterparts: a creator or getter hands out one reference, Release gives it back.
#pragma once

#include <cstdint>

// ---- Numbers (ORDER: Direct3D 9's own; scripts and game files can see several) -----------
enum : uint32_t {
    GFX_RS_ZENABLE = 7, GFX_RS_FILLMODE = 8, GFX_RS_SHADEMODE = 9, GFX_RS_ZWRITEENABLE = 14,
    GFX_RS_ALPHATESTENABLE = 15, GFX_RS_LASTPIXEL = 16, GFX_RS_SRCBLEND = 19,
    GFX_RS_DESTBLEND = 20, GFX_RS_CULLMODE = 22, GFX_RS_ZFUNC = 23, GFX_RS_ALPHAREF = 24,
    GFX_RS_ALPHAFUNC = 25, GFX_RS_DITHERENABLE = 26, GFX_RS_ALPHABLENDENABLE = 27,
    GFX_RS_FOGENABLE = 28, GFX_RS_SPECULARENABLE = 29, GFX_RS_FOGCOLOR = 34,
    GFX_RS_FOGTABLEMODE = 35, GFX_RS_FOGSTART = 36, GFX_RS_FOGEND = 37,
    GFX_RS_RANGEFOGENABLE = 48, GFX_RS_STENCILENABLE = 52, GFX_RS_STENCILFAIL = 53,
    GFX_RS_LIGHTING = 137, GFX_RS_AMBIENT = 139, GFX_RS_FOGVERTEXMODE = 140,
    GFX_RS_COLORWRITEENABLE = 168, GFX_RS_BLENDOP = 171,
    GFX_RS_COUNT = 210, // size of the device-side shadow
};

// Sampler state types; filters; address modes.
enum : uint32_t {
    GFX_SAMP_ADDRESSU = 1, GFX_SAMP_ADDRESSV = 2, GFX_SAMP_MAGFILTER = 5, GFX_SAMP_MINFILTER = 6,
    GFX_TEXF_NONE = 0, GFX_TEXF_POINT = 1, GFX_TEXF_LINEAR = 2,
    GFX_TADDRESS_WRAP = 1, GFX_TADDRESS_CLAMP = 3,
};

// Texture stage states, operations and arguments.
enum : uint32_t {
    GFX_TSS_COLOROP = 1, GFX_TSS_COLORARG1 = 2, GFX_TSS_COLORARG2 = 3, GFX_TSS_ALPHAOP = 4,
    GFX_TSS_ALPHAARG1 = 5, GFX_TSS_ALPHAARG2 = 6,
    GFX_TOP_SELECTARG1 = 2, GFX_TOP_MODULATE = 4, GFX_TA_DIFFUSE = 0, GFX_TA_TEXTURE = 2,
};

// Blend factors 1..17: 1 zero, 2 one, 3 src colour, 4 inv src colour, 5 src alpha, 6 inv src
// alpha, 7 dest alpha, 8 inv dest alpha, 9 dest colour, 10 inv dest colour, 11 src alpha
// saturated, 12 both src alpha, 13 both inv src alpha, 14 blend factor, 15 inv blend factor,
// 16 src colour 2, 17 inv src colour 2. Compare functions 1 never, 2 less, 3 equal, 4 less or
// equal, 5 greater, 6 not equal, 7 greater or equal, 8 always. Cull 1 none, 2 clockwise,
// 3 counter-clockwise. Fill 1 point, 2 wireframe, 3 solid. Shade 1 flat, 2 Gouraud. Fog modes
// 0 none, 1 exp, 2 exp2, 3 linear.

// Transform slots.
enum : uint32_t { GFX_TS_VIEW = 2, GFX_TS_PROJECTION = 3, GFX_TS_WORLD = 256 };

// Primitive types.
enum : uint32_t {
    GFX_PT_POINTLIST = 1, GFX_PT_LINELIST = 2, GFX_PT_LINESTRIP = 3, GFX_PT_TRIANGLELIST = 4,
    GFX_PT_TRIANGLESTRIP = 5, GFX_PT_TRIANGLEFAN = 6,
};

// Flexible vertex formats used by the runner.
enum : uint32_t {
    GFX_FVF_XYZ = 0x2, GFX_FVF_NORMAL = 0x10, GFX_FVF_DIFFUSE = 0x40, GFX_FVF_TEX1 = 0x100,
    GFX_FVF_2D = 0x42,         // x y z colour                       (16 bytes)
    GFX_FVF_2DTEX = 0x142,     // x y z colour u v                   (24 bytes)
    GFX_FVF_3D = 0x152,        // x y z nx ny nz colour u v          (36 bytes)
};

// Texture formats (device numbers).
enum : uint32_t {
    GFX_FMT_UNKNOWN = 0, GFX_FMT_A8R8G8B8 = 21, GFX_FMT_X8R8G8B8 = 22, GFX_FMT_A4R4G4B4 = 26,
    GFX_FMT_A8 = 28, GFX_FMT_L8 = 50, GFX_FMT_D32 = 71, GFX_FMT_D24S8 = 75, GFX_FMT_D16 = 80,
    GFX_FMT_R16F = 111, GFX_FMT_R32F = 114,
    GFX_FMT_DXT1 = 0x31545844, GFX_FMT_DXT2 = 0x32545844, GFX_FMT_DXT3 = 0x33545844,
    GFX_FMT_DXT4 = 0x34545844, GFX_FMT_DXT5 = 0x35545844,
};

// Usage, pools, lock flags, clear flags, results, caps.
enum : uint32_t {
    GFX_USAGE_RENDERTARGET = 1, GFX_USAGE_WRITEONLY = 8, GFX_USAGE_DYNAMIC = 0x200,
    GFX_POOL_DEFAULT = 0, GFX_POOL_MANAGED = 1, GFX_POOL_SYSTEMMEM = 2,
    GFX_LOCK_DISCARD = 0x2000,
    GFX_CLEAR_TARGET = 1, GFX_CLEAR_ZBUFFER = 2, GFX_CLEAR_STENCIL = 4,
    GFX_OK = 0, GFX_ERR_DEVICELOST = 0x88760868, GFX_ERR_DEVICENOTRESET = 0x88760869,
    GFX_PRASTERCAPS_FOGVERTEX = 0x80, GFX_PRASTERCAPS_FOGTABLE = 0x100,
    GFX_SWAPEFFECT_DISCARD = 1, GFX_SWAPEFFECT_COPY = 3,
    GFX_PRESENT_INTERVAL_DEFAULT = 0, GFX_PRESENT_INTERVAL_IMMEDIATE = 0x80000000,
    GFX_LIGHT_POINT = 1, GFX_LIGHT_DIRECTIONAL = 3,
};

// ---- Objects ------------------------------------------------------------------------------
class GfxObject {
public:
    void AddRef() { ++m_refs; }
    // Drops one reference; the object is deleted with the last one.
    void Release()
    {
        if (--m_refs == 0) delete this;
    }
    int32_t RefCount() const { return m_refs; }

protected:
    virtual ~GfxObject() = default;

private:
    int32_t m_refs = 1;
};

class GfxSurface : public GfxObject {
public:
    int32_t width = 0, height = 0;
    uint32_t format = 0;
    bool depth = false;
};

class GfxTexture : public GfxObject {
public:
    int32_t width = 0, height = 0, levels = 1;
    uint32_t format = 0, usage = 0, pool = 0;
};

class GfxVertexBuffer : public GfxObject {
public:
    uint32_t size = 0, fvf = 0, usage = 0, pool = 0;
};

struct GfxRect {
    int32_t left, top, right, bottom;
};

struct GfxViewport {
    int32_t x, y, w, h;
    float minZ, maxZ;
};

struct GfxColourValue {
    float r, g, b, a;
};

struct GfxLight {
    uint32_t type;
    GfxColourValue diffuse, specular, ambient;
    float position[3], direction[3];
    float range, falloff, attenuation0, attenuation1, attenuation2, theta, phi;
};

struct GfxMaterial {
    GfxColourValue diffuse, ambient, specular, emissive;
    float power;
};

// A projection in double precision as the graphics layer knows it: clip x and y are the row
// vector times m, divided by divide[0] and divide[1], plus offset[k] / offsetOver[k] (the
// projection's half-pixel offset on a viewport offsetOver[] pixels across and down; none where
// offsetOver is 0). Divisions last, so that a room point the view puts on a pixel centre or edge
// lands there exactly: an orthographic view w wide is m's 2 over divide w, not 2 / w.
struct GfxExactProjection {
    double m[16];
    double divide[2];
    double offset[2], offsetOver[2];
};

struct GfxPresentParams {
    int32_t backBufferWidth, backBufferHeight;
    uint32_t backBufferFormat, backBufferCount, multiSampleType, swapEffect;
    bool windowed, autoDepthStencil;
    uint32_t depthStencilFormat, presentationInterval;
};

struct GfxDisplayMode {
    int32_t width, height, refreshRate;
    uint32_t format;
};

// ---- The device ---------------------------------------------------------------------------
class IGfxDevice {
public:
    virtual ~IGfxDevice() = default;

    virtual uint32_t TestCooperativeLevel() = 0; // GFX_OK, or a lost-device code
    virtual bool Reset(GfxPresentParams& params) = 0;
    virtual bool BeginScene() = 0;
    virtual bool EndScene() = 0;
    virtual bool Present() = 0;
    virtual bool GetDisplayMode(GfxDisplayMode* mode) = 0;
    virtual uint32_t GetRasterCaps() = 0;
    // The largest width and height of a texture the device makes (no limit of its own when it
    // does not tell).
    virtual int32_t GetMaxTextureSide() { return INT32_MAX; }

    // Clears the viewport rectangle of the current targets.
    virtual void Clear(uint32_t flags, uint32_t argb, float z, uint32_t stencil) = 0;
    virtual void SetViewport(const GfxViewport& vp) = 0;
    // The viewport last set (by SetViewport or a new target); false when the device does not
    // tell.
    virtual bool GetViewport(GfxViewport* vp)
    {
        (void)vp;
        return false;
    }
    virtual void SetTransform(uint32_t slot, const float* m) = 0; // 16 floats, row-major
    // Whether the projection now set lacks some of its half-pixel offset (the room's first view
    // is scaled, which fades the offset out): pixel centres then fall on texel edges, and the
    // OpenGL device samples a hair past them (see its ApplyMatrices). Told before each
    // projection.
    virtual void SetHalfPixelFaded(bool faded) { (void)faded; }
    // The view that the next SetTransform of the view sets, in double precision (null: none),
    // where it is known exactly (a 2D view): the OpenGL device places textured vertices by it
    // when it rounds to the floats set.
    virtual void SetExactTransform(uint32_t slot, const double* m)
    {
        (void)slot;
        (void)m;
    }
    // The projection that the next SetTransform of the projection sets, in double precision with
    // the pixel-offset pair's move of each axis (told before every projection the graphics layer
    // sets; a projection set without it is taken as it stands).
    virtual void SetExactProjection(const GfxExactProjection& p) { (void)p; }
    virtual void SetRenderState(uint32_t state, uint32_t value) = 0;
    virtual void SetSamplerState(uint32_t stage, uint32_t type, uint32_t value) = 0;
    virtual void SetTextureStageState(uint32_t stage, uint32_t type, uint32_t value) = 0;
    virtual void SetTexture(uint32_t stage, GfxTexture* texture) = 0;
    virtual void SetMaterial(const GfxMaterial& material) = 0;
    virtual void SetLight(uint32_t index, const GfxLight& light) = 0;
    virtual void LightEnable(uint32_t index, bool on) = 0;

    // Null on failure.
    virtual GfxTexture* CreateTexture(int32_t w, int32_t h, int32_t levels, uint32_t usage,
                                      uint32_t format, uint32_t pool) = 0;
    virtual GfxSurface* CreateRenderTarget(int32_t w, int32_t h, uint32_t format,
                                           uint32_t multisample) = 0;
    virtual GfxSurface* CreateDepthStencilSurface(int32_t w, int32_t h, uint32_t format,
                                                  uint32_t multisample) = 0;
    virtual GfxSurface* GetSurfaceLevel(GfxTexture* texture, uint32_t level) = 0;
    virtual GfxSurface* GetRenderTarget(uint32_t index) = 0;
    virtual GfxSurface* GetDepthStencilSurface() = 0;
    virtual bool SetRenderTarget(uint32_t index, GfxSurface* surface) = 0;
    virtual bool SetDepthStencilSurface(GfxSurface* surface) = 0;
    virtual bool StretchRect(GfxSurface* src, const GfxRect* srcRect, GfxSurface* dst,
                             const GfxRect* dstRect, uint32_t filter) = 0;
    // Replaces a whole level with pixels in the texture's own format (rows top first; pitch in
    // bytes; compressed formats: block rows). Stands in for the staging texture, its lock and
    // UpdateTexture.
    virtual bool UpdateTexture(GfxTexture* texture, uint32_t level, const void* pixels,
                               uint32_t pitch) = 0;
    // Reads a rectangle (inside the surface) as 0xAARRGGBB pixels, rows top first, w a row.
    // Stands in for a lockable surface, StretchRect and a read-only lock.
    virtual bool ReadSurface(GfxSurface* src, const GfxRect& rect, uint32_t* out) = 0;
    virtual void PreLoad(GfxTexture* texture) = 0;
    virtual uint32_t SetPriority(GfxTexture* texture, uint32_t priority) = 0;

    virtual GfxVertexBuffer* CreateVertexBuffer(uint32_t bytes, uint32_t usage, uint32_t fvf,
                                                uint32_t pool) = 0;
    virtual void* LockVertexBuffer(GfxVertexBuffer* vb, uint32_t offset, uint32_t size,
                                   uint32_t flags) = 0;
    virtual void UnlockVertexBuffer(GfxVertexBuffer* vb) = 0;
    virtual void SetFVF(uint32_t fvf) = 0;
    virtual void SetStreamSource(uint32_t stream, GfxVertexBuffer* vb, uint32_t offset,
                                 uint32_t stride) = 0;
    virtual void DrawPrimitive(uint32_t type, uint32_t start, uint32_t count) = 0;
    virtual void DrawPrimitiveUP(uint32_t type, uint32_t count, const void* data,
                                 uint32_t stride) = 0;
    // True when a draw has read its vertices by the time it returns, so that a vertex buffer
    // may be filled again at once; false when the device may still read them afterwards (a
    // graphics card working behind the program), so that emptied buffers must rest.
    virtual bool DrawReadsVerticesAtOnce() { return false; }
    // True when presenting leaves the back buffer's pixels as they were and no one waits there
    // for the picture (a headless window's off-screen surface): a frame may then be drawn
    // straight into the back buffer instead of into a texture copied there at its end, since
    // the copy would make the program wait for every picture to be finished.
    virtual bool PresentKeepsBackBuffer() { return false; }
};

// ---- The parent object (Direct3D object) ---------------------------------------------------
struct GfxAdapterInfo {
    char driver[64];
    char description[128];
    char deviceName[32];
    bool hal;               // hardware accelerated
    int32_t groupSize;      // adapters in its group (0: not the master)
    int32_t masterOrdinal;
};

class IGfxSystem {
public:
    virtual ~IGfxSystem() = default;
    virtual int32_t GetAdapterCount() = 0;
    virtual bool GetAdapterInfo(int32_t ordinal, GfxAdapterInfo* info) = 0;
    virtual bool GetAdapterDisplayMode(int32_t ordinal, GfxDisplayMode* mode) = 0;
    virtual bool CheckMultiSample(int32_t ordinal, uint32_t format, bool windowed,
                                  uint32_t samples) = 0;
    // Creates the device for the native window (may change params); null on failure.
    virtual IGfxDevice* CreateDevice(int32_t ordinal, void* window, uint32_t behaviour,
                                     GfxPresentParams& params) = 0;
};

// The system the graphics layer uses: the one installed (tests install a fake), else the
// OpenGL one of the platform, made on first use.
void GfxSystem_Set(IGfxSystem* system);
IGfxSystem* GfxSystem_Get();
// The OpenGL implementation (Linux/Graphics_DeviceM.cpp).
IGfxSystem* GfxSystem_CreateGL();
