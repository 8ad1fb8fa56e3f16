// Which texel each pixel of a textured triangle shows once the room's first view is scaled (the
// texel rule of docs/decisions.md), and how a triangle is handed to a rasteriser working in
// single precision so that it shows exactly that. Beside Graphics_PixelRule, which places
// points and lines; pure arithmetic, no host library: the OpenGL device
// (Linux/Graphics_DeviceM.cpp) sends what this module makes and nothing else decides a texel.
//
// The rule: a pixel's centre (whole target coordinates, Direct3D's) stands for the point it
// maps to exactly; it shows the texel that point lies in, and on an edge between texels the one
// just right of and below it (the texel holding the sample point a hair right of and below the
// centre: floor of the texel coordinate there). Which pixels a triangle covers follows the fill
// convention (left and top edges in, right and bottom ones out).
//
// Each triangle is placed on the target in double precision, the view and projection as the
// graphics layer gave them (GfxExactProjection: divisions last, so that a point meant to lie on
// a pixel centre or edge lands there exactly), with a plane per texture axis: the texel
// coordinate as an affine function of the target's pixel. A triangle that is half of an
// upright rectangle is sent with its edges half way between the rows and columns of centres it
// covers, so that tiles meet without a seam whatever the scale. Then, triangle by triangle in
// the draw's order, one of two ways:
// - settled: the plane is replaced by one whose values at whole pixel centres lie in the
//   middle of cells of a grid of 1/k texel (k up to GR_TEXEL_MAX_STEP), each in the cell of
//   the true sample value, where the true values' gradients are k-ths of a texel (to within
//   what drifts by less than a cell across the triangle); no whole texel lies inside a cell,
//   so each centre's texel is unchanged and lies 1/(2k) from its edges, more than a bound on
//   a rasteriser's single-precision error (GR_TexelError). Whole and fractional positions,
//   mirrored and turned by multiples of 90 degrees, at every scale p/q with small p: the
//   rasteriser's own interpolation, as fast as any texture;
// - exact: otherwise (turned by other angles, scales with large p) a program evaluates the
//   plane in double precision at each pixel (GR_ExactVertex); where there is no such program,
//   the plane is sampled GR_TEXEL_NUDGE of a pixel right of and below the centre in single
//   precision.
#pragma once

#include <cstdint>
#include <vector>

struct GfxExactProjection;

// The finest grid of texel fractions a rasteriser's single precision is trusted with.
constexpr int GR_TEXEL_MAX_STEP = 64;

// Where single precision stands in for the exact choice (filtered, lit or fogged textures, and
// devices without double precision in programs): the texel a hair right of and below the
// centre, 1/4096 of a pixel (below the nearest a centre not on a texel edge comes to one at
// whole positions in views up to 4096 room pixels; above what a rasteriser's single precision
// moves a centre by: measured on Mesa's, 1/8192 leaves some centres on an edge to its noise).
constexpr float GR_TEXEL_NUDGE = 1.0f / 4096.0f;

// The exact program's sample point: 1/262144 of a pixel right of and below the centre (below
// the nearest a centre off a texel edge comes to one at whole positions, 1/w of a pixel for a
// view w room pixels wide, for any view to 2^17 pixels; far above its arithmetic's error).
constexpr double GR_TEXEL_PROGRAM_NUDGE = 1.0 / 262144.0;

// A texel coordinate as a function of the target's pixel (x, y): a + dx * x + dy * y.
struct GR_TexelPlane {
    double a, dx, dy;
};

// A vertex the rasteriser interpolates itself: target coordinates (Direct3D's), clip depth,
// colour, texture coordinates (the batch's layout, GFX_FVF_2DTEX).
struct GR_TexelVertex {
    float x, y, z;
    uint32_t colour;
    float u, v;
};
static_assert(sizeof(GR_TexelVertex) == 24, "GFX_FVF_2DTEX's layout");

// A vertex of the exact program: target coordinates, clip depth, colour, and the two planes
// in the fragment's own coordinates (GL's window coordinates, centres on halves) with the sample
// point's move in them: u = coef[0] + coef[1] * fx + coef[2] * fy, v from coef[3..5], each a
// double as two floats (high and low parts, in coef in that order).
struct GR_ExactVertex {
    float x, y, z;
    uint32_t colour;
    float coef[12];
};
static_assert(sizeof(GR_ExactVertex) == 64, "one cache line a vertex");

// Where a draw's vertices land on the target: x = (fx * x[0] + fy * x[1] + fz * x[2] + x[3]) /
// divideX + addX (fx, fy, fz: the vertex as given), y likewise, clip depth z[0..3] without the
// division. Made exactly where the transforms are (a 2D view: numerators and sums of whole
// numbers and floats, one rounding at the division).
struct GR_TexelTarget {
    double x[4], y[4], z[4];
    double divideX, divideY, addX, addY;
    bool upright; // x follows fx alone and y fy alone
};

// The target of world (single precision, row-major) times view (double) times the projection,
// on the viewport (vx, vy, vw, vh).
void GR_Texel_Target(const float* world, const double* view, const GfxExactProjection& projection, double vx,
                     double vy, double vw, double vh, GR_TexelTarget* out);

// What a draw's triangles are placed by.
struct GR_TexelDraw {
    GR_TexelTarget target;
    uint32_t uvAt = 0, colourAt = 0; // offsets in a vertex of the texture coordinates and colour (0: white)
    bool batchLayout = false;        // vertices are GR_TexelVertex (quads may be settled two triangles at once)
    double size[2] = {1, 1};         // the texture's size
    double period[2] = {0, 0};       // repeating (size) and mirroring (twice it) textures; 0 others
    double extent[2] = {1, 1};       // how far from its origin the target reaches across and down
    double fragY[2] = {1, -0.5};     // target y = fragY[0] * fragment y + fragY[1] (x = fragment x - 0.5)
    bool program = true;             // the exact program is there (else single precision stands in)
};

// A run of triangles of one way, in the draw's order: vertices [first, first + count) of
// settled or of exact, three a triangle.
struct GR_TexelRun {
    bool exact;
    uint32_t first, count;
};

// A bound on how far a rasteriser's single-precision interpolation and sampling of a plane can
// be off, in texels: 16 ulps of the largest value met (at the vertices, largest, and at either
// origin of the target and across it), and the 16.16 fixed-point steps of Mesa's linear
// rasteriser (2^-16 texel over a span of 64 pixels).
double GR_TexelError(const GR_TexelPlane& p, double largest, const double* extent);

// Places draws. Keeps what quads of one draw share (their corners' order, gradients and grids)
// from one to the next; the outputs are remade by each Place.
class GR_TexelPlacer {
public:
    // The triangles of a triangle list, strip or fan of n vertices from first (stride bytes
    // apart, position first), placed in order; triangles that cover no pixel centre are left out.
    void Place(const GR_TexelDraw& d, uint32_t type, uint32_t n, const uint8_t* first, uint32_t stride);

    std::vector<GR_TexelVertex> settled; // the rasteriser's own
    std::vector<GR_ExactVertex> exact;   // the exact program's
    std::vector<GR_TexelRun> runs;       // in the draw's order

private:
    // Settles one plane of gradients (dx, dy) whose value at points[0] is at0: the plane
    // whose values at whole pixel centres lie in the middles of the cells of the true sample
    // values (see the file comment), given target points whose hull holds the centres that
    // matter (npoints of them, the first a whole pixel centre or not) and the largest texel
    // coordinate at the vertices. False when no grid GL is trusted with holds them.
    bool Settle(const GR_TexelDraw& d, int axis, double dx, double dy, double at0, const double (*points)[2], int npoints,
                double largest, GR_TexelPlane* out);
    struct Grid {
        double k, px, py; // gradients px / k and py / k texels
        double gx, gy;    // those gradients
        double ex, ey;    // how far the plane's gradients lie from them, in k-ths a pixel
        bool exact;       // the gradients are those, not within a drift of them
    };
    struct Grids {
        double dx = 0.0, dy = 0.0;
        int count = -1; // -1: none found yet
        Grid grid[4];
    };
    void FindGrids(Grids& c, double dx, double dy);
    bool SettleLine(const GR_TexelDraw& d, int axis, double g, double at, double c0, double c1, double largest,
                    double* value, double* gradient);
    bool UprightQuad(const GR_TexelDraw& d, const uint8_t* first, uint32_t stride);
    bool QuadOrder(const uint64_t* xy, const uint64_t* uv, uint64_t* cxy, uint64_t* cuv);
    double Gradient(double dd, double dD, int axis);
    void Triangle(const GR_TexelDraw& d, const uint8_t* first, uint32_t stride, const uint32_t* idx, bool half);
    GR_TexelVertex* SettledRoom(uint32_t vertices);
    GR_ExactVertex* ExactRoom(uint32_t vertices);

    Grids m_grids[2];                           // the gradients of the last plane of u and v, and their grids
    Grids m_lineGrids[2];                       // those of the last upright quad's u (across) and v (down)
    int m_quadCorner[6] = {0, 1, 3, 3, 2, 0};   // the last quad's corner at each vertex
    int m_quadAt[2] = {0, 2};                   // and where its corners 0 and 3 first come
    double m_gradient[2][3] = {};               // the last quad's differences and their ratio
    uint32_t m_settledCount = 0, m_exactCount = 0;
    double m_inverse[2] = {1, 1}; // of the draw's texture size
};

// Rounding in line (the library's calls cost more than the rest of a triangle): the nearest
// whole number, ties to even; the whole numbers below and above. Beyond 2^51 every double is
// whole (and NaN stays NaN).
inline double GR_RoundD(double v) { return (v < 0x1p51 && v > -0x1p51) ? (v + 0x1.8p52) - 0x1.8p52 : v; }
inline double GR_FloorD(double v)
{
    const double r = GR_RoundD(v);
    return r > v ? r - 1.0 : r;
}
inline double GR_CeilD(double v)
{
    const double r = GR_RoundD(v);
    return r < v ? r + 1.0 : r;
}

// A texture coordinate in texels: a whole number of 1/256 texels when within single
// precision's error of one.
double GR_Texels(float uv, double size);
