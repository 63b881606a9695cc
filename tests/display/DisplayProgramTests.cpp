// The display program drawn for real: SetupDisplayShader on a device with the built-in sphere
// and stereo clips bound at stage 0, one full-target quad, the picture read back and compared
// with a CPU reference written from the shader formulas (exact arc-tangent and arc-sine,
// bilinear sampling with border addressing). Registers a picture cannot show are read back.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "DeviceFixture.h"
#include "Error.h"
#include "MediaTestSupport.h"
#include "PixelReference.h"
#include "VarnicaDisplayProgram.h"
#include "VarnicaFrameAccess.h"
#include "VodideDisplayShader.h"

using Microsoft::WRL::ComPtr;

namespace {

using namespace vmdxtest;

// ---------------------------------------------------------------------------------------------
// Pictures and the CPU reference

// Linear filtering with border addressing (border colour 0), as sampler 0 is set.
Color Sample(const Picture& t, double u, double v, double* spread = nullptr) {
  return SampleLinear(t, u, v, D3DTADDRESS_BORDER, 0, spread);
}

// A reference value, or the range of values a sharpened mix can take from samples that are each
// off by a little (the contrast shader's gain of 21 turns a GPU's one-level filter rounding and
// the polynomial angles' hundredth of a texel into several levels).
struct Range {
  Color lo, hi;
};
Range operator+(Range x, Range y) { return {x.lo + y.lo, x.hi + y.hi}; }
Range operator*(double s, Range x) { return s >= 0 ? Range{s * x.lo, s * x.hi} : Range{s * x.hi, s * x.lo}; }

// Whether every channel of pixel lies within tolerance levels of the range.
bool Within(uint32_t pixel, const Range& r, int tolerance) {
  const uint32_t lo = Pack(r.lo), hi = Pack(r.hi);
  for (int shift = 0; shift < 32; shift += 8) {
    const int v = (pixel >> shift) & 0xFF, l = (lo >> shift) & 0xFF, h = (hi >> shift) & 0xFF;
    if (v < std::min(l, h) - tolerance || v > std::max(l, h) + tolerance) return false;
  }
  return true;
}

enum Camera { kFlat, kSphere };
enum Packing { kMono, kLR, kTB };
enum View { kPlain, kLeft, kRight, kRC, kContrast, kDuboisRC, kDuboisGM, kDuboisAB };
constexpr const char* kViewNames[] = {"plain",    "left",      "right",     "anaglyph",
                                      "contrast", "dubois-rc", "dubois-gm", "dubois-ab"};
const GUID* const kViewGuids[] = {&DisplayType_Std,
                                  &DisplayType_LeftEye,
                                  &DisplayType_RightEye,
                                  &DisplayType_AnaglyphRC,
                                  &DisplayType_AnaglyphContrast,
                                  &DisplayType_DuboisRedCyan,
                                  &DisplayType_DuboisGreenMagenta,
                                  &DisplayType_DuboisAmberBlue};
const GUID* const kPackingGuids[] = {&FramePacking_Std, &FramePacking_LR, &FramePacking_TB};

struct Mode {
  Camera camera;
  Packing packing;
  View view;
};
std::string Name(const Mode& m) {
  return std::string(m.camera == kSphere ? "sphere " : "flat ") +
         (m.packing == kMono ? "mono "
          : m.packing == kLR ? "lr "
                             : "tb ") +
         kViewNames[m.view];
}

DisplayViewProperties Properties(const Mode& m, const float matrix[9], float viewWidth, float viewHeight) {
  DisplayViewProperties v;
  v.cameraType = m.camera == kSphere ? CameraType_Spherical : CameraType_Std;
  v.framePacking = *kPackingGuids[m.packing];
  v.displayType = *kViewGuids[m.view];
  std::copy(matrix, matrix + 9, v.viewMatrix);
  v.viewSize[0] = viewWidth;
  v.viewSize[1] = viewHeight;
  v.ipd = 0.064f;
  v.zeroParallax = 0.5f;
  return v;
}

// The picture the display program should show at t = (tx, ty), from the view properties and the
// shader formulas. anaglyphRows: c11..c18 as the device holds them (the colour matrices of the
// module's own anaglyph types).
Range Reference(const Picture& t, const DisplayViewProperties& v, const Mode& m, double tx, double ty,
                const float anaglyphRows[8][4]) {
  const float* mm = v.viewMatrix;
  double length[3], n[3][3];
  for (int c = 0; c < 3; ++c)
    length[c] = std::sqrt(double(mm[c]) * mm[c] + double(mm[3 + c]) * mm[3 + c] + double(mm[6 + c]) * mm[6 + c]);
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) n[r][c] = mm[3 * r + c] / length[c];
  const double s = (length[0] + length[1]) / 2, zoomIn = std::max(s, 1.0), zoomOut = s >= 1 ? 1 : 1 / s;
  const double aspect = double(v.viewSize[1]) / v.viewSize[0];
  const bool sphere = m.camera == kSphere, right = m.view == kRight;
  const double packX = m.packing == kLR ? 0.5 : 1, packY = m.packing == kTB ? 0.5 : 1;
  const double secondX = m.packing == kLR ? 0.5 : 0, secondY = m.packing == kTB ? 0.5 : 0;
  const bool eye = m.view == kLeft || right;
  const double zeroParallax = eye ? 1.0 : std::max(double(v.zeroParallax), 0.01);
  double e = sphere ? 0.25 * v.ipd / (zeroParallax * zoomOut) : 0;
  if (right) e = -e;

  struct Image {
    double ox, oy, u0, u1, v0, v1;
  };
  // First image: the left eye's half (the right eye's for kRight); second: the right eye's.
  const double firstEnd = right ? 1 : 0.5;
  const Image first{right ? secondX : 0, right ? secondY : 0,
                    right ? secondX : 0, m.packing == kLR ? firstEnd : 1,
                    right ? secondY : 0, m.packing == kTB ? firstEnd : 1};
  const Image second{secondX, secondY, secondX, 1, secondY, 1};
  // Texture coordinates of the screen point (sx, sy) shifted by shift; false outside the image.
  auto coordinates = [&](double sx, double sy, double shift, const Image& image, double* u, double* w) {
    double p[3];
    if (sphere) {
      p[0] = (sx - 0.5) / zoomIn, p[1] = (sy - 0.5) * aspect / zoomIn;
    } else {
      p[0] = sx / zoomIn, p[1] = (sy * aspect - (aspect - 1) * 0.5) / zoomIn;
    }
    p[2] = 0.5;
    double d[3];
    for (int k = 0; k < 3; ++k) d[k] = p[0] * n[0][k] + p[1] * n[1][k] + p[2] * n[2][k];
    d[0] += shift;
    if (sphere) {
      const double lon = std::atan2(d[0], d[2]),
                   lat = std::asin(d[1] / std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]));
      *u = (lon * zoomOut / v.angularRange[0] + 0.5) * packX + image.ox;
      *w = (lat * zoomOut / v.angularRange[1] + 0.5) * packY + image.oy;
    } else {
      *u = d[0] * packX + image.ox;
      *w = d[1] * packY + image.oy;
    }
    return image.u0 <= *u && *u <= image.u1 && image.v0 <= *w && *w <= image.v1;
  };
  auto lookup = [&](double sx, double sy, double shift, const Image& image) {
    double u, w;
    return coordinates(sx, sy, shift, image, &u, &w) ? Sample(t, u, w) : Color{};
  };
  // The sample within a hundredth of a texel, widened by the GPU's filter rounding (one level,
  // where the texels blended differ at all).
  auto lookupRange = [&](double sx, double sy, double shift, const Image& image) {
    double u, w, spread;
    if (!coordinates(sx, sy, shift, image, &u, &w)) return Range{};
    Range r{Sample(t, u, w, &spread), Sample(t, u, w)};
    for (double du : {-0.01, 0.0, 0.01}) {
      for (double dw : {-0.01, 0.0, 0.01}) {
        const Color c = Sample(t, u + du / t.width, w + dw / t.height);
        r.lo = {std::min(r.lo.r, c.r), std::min(r.lo.g, c.g), std::min(r.lo.b, c.b), std::min(r.lo.a, c.a)};
        r.hi = {std::max(r.hi.r, c.r), std::max(r.hi.g, c.g), std::max(r.hi.b, c.b), std::max(r.hi.a, c.a)};
      }
    }
    const double rounding = std::min(spread, 1 / 255.0);
    const Color level{rounding, rounding, rounding, rounding};
    return Range{r.lo + -1.0 * level, r.hi + level};
  };
  auto weights = [](const float* c) { return Color{c[0], c[1], c[2], c[3]}; };
  auto times = [](Color x, Color y) { return Color{x.r * y.r, x.g * y.g, x.b * y.b, x.a * y.a}; };
  auto matrix = [](const float(*rows)[4], Color x) {
    auto dot = [&](const float* r) { return r[0] * x.r + r[1] * x.g + r[2] * x.b; };
    return Color{dot(rows[0]), dot(rows[1]), dot(rows[2]), 0};
  };
  auto exact = [](Color c) { return Range{c, c}; };
  switch (m.view) {
    case kLeft:
    case kRight:
      return exact(lookup(tx, ty, e, first));
    case kRC:
      return exact(times(lookup(tx, ty, e, first), {1, 0, 0, 1}) + times(lookup(tx, ty, -e, second), {0, 1, 1, 1}));
    case kContrast: {
      auto sharpened = [&](double shift, const Image& image) {
        const Range c = lookupRange(tx, ty, shift, image);
        const Range a = lookupRange(tx + 0.5 * packX / v.viewSize[0], ty, shift, image);
        const Range b = lookupRange(tx, ty + 0.5 * packY / v.viewSize[1], shift, image);
        return c + 10.0 * (2.0 * c + -1.0 * a + -1.0 * b);
      };
      return 0.5 * sharpened(e, first) + 0.5 * sharpened(-e, second);
    }
    default: {  // the least-squares anaglyphs: weights c11, c12 and the matrices c13..c18
      const Color l = lookup(tx, ty, e, first), r = lookup(tx, ty, -e, second);
      return exact(times(l, weights(anaglyphRows[0])) + times(r, weights(anaglyphRows[1])) +
                   matrix(anaglyphRows + 2, l) + matrix(anaglyphRows + 5, r));
    }
  }
}

// Rotation by angle (degrees) about an axis, times zoom: a turned, zoomed view matrix.
std::vector<float> Turned(double degrees, double ax, double ay, double az, double zoom) {
  const double len = std::sqrt(ax * ax + ay * ay + az * az), a = degrees * 3.14159265358979 / 180;
  ax /= len, ay /= len, az /= len;
  const double c = std::cos(a), s = std::sin(a), k = 1 - c;
  const double r[9] = {c + ax * ax * k,      ax * ay * k - az * s, ax * az * k + ay * s,
                       ay * ax * k + az * s, c + ay * ay * k,      ay * az * k - ax * s,
                       az * ax * k - ay * s, az * ay * k + ax * s, c + az * az * k};
  std::vector<float> m(9);
  for (int i = 0; i < 9; ++i) m[i] = static_cast<float>(r[i] * zoom);
  return m;
}

// The built-in clips as A8R8G8B8 pictures, fetched once per program through the decoder.
const Picture& ClipFor(Camera camera, Packing packing) {
  static std::map<std::pair<Camera, Packing>, Picture> clips;
  Picture& p = clips[{camera, packing}];
  if (p.pixels.empty() && camera == kSphere) {
    p = packing == kMono ? mediatest::ClipPicture("builtin:sphere", 3, 256, 128)
        : packing == kLR ? mediatest::ClipPicture("builtin:sphere-lr", 3, 512, 128)
                         : mediatest::ClipPicture("builtin:sphere-tb", 3, 256, 256);
  } else if (p.pixels.empty()) {
    p = packing == kTB ? mediatest::ClipPicture("builtin:stereo-tb", 3, 128, 256)
                       : mediatest::ClipPicture("builtin:stereo", 3, 256, 128);
  }
  return p;
}

// ---------------------------------------------------------------------------------------------
// Fixture

constexpr float kIdentity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};

class DisplayProgram : public vmdxtest::DeviceFixture {
 protected:
  void SetUp() override {
    DeviceFixture::SetUp();
    if (IsSkipped()) return;
    // What the display sets for every surface.
    IDirect3DDevice9Ex* d = context_.device.Get();
    d->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
    d->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    d->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_BORDER);
    d->SetSamplerState(0, D3DSAMP_ADDRESSV, D3DTADDRESS_BORDER);
    d->SetSamplerState(0, D3DSAMP_BORDERCOLOR, 0);
    d->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
  }
  void TearDown() override {
    if (context_.device) {
      context_.UnsetTexture(0);
      context_.UnsetPixelShader();
    }
    DeviceFixture::TearDown();
  }

  HRESULT Setup(const DisplayViewProperties& view) {
    return GuardedCall([&] { return SetupDisplayShader(context_, cache_, view); });
  }
  ComPtr<IDirect3DTexture9> Bind(const Picture& p) {
    ComPtr<IDirect3DTexture9> texture = MakeTexture(p.width, p.height, D3DFMT_A8R8G8B8, p.pixels);
    EXPECT_HR(S_OK, context_.SetTexture(0, texture.Get()));
    return texture;
  }
  ComPtr<IDirect3DPixelShader9> Bound() {
    ComPtr<IDirect3DPixelShader9> shader;
    context_.device->GetPixelShader(&shader);
    return shader;
  }
  std::vector<float> Constants(UINT first, UINT count) {
    std::vector<float> c(4 * count);
    EXPECT_HR(S_OK, context_.device->GetPixelShaderConstantF(first, c.data(), count));
    return c;
  }
  // Draws into a new width x height target with the bound shader and reads it back.
  template <class Pixel = uint32_t>
  std::vector<Pixel> Draw(UINT width, UINT height, D3DFORMAT format = D3DFMT_A8R8G8B8) {
    ComPtr<IDirect3DTexture9> target = MakeRenderTarget(width, height, format);
    if (!target) return {};
    DrawQuad(target.Get());
    return Read(target.Get()).As<Pixel>();
  }
};

// ---------------------------------------------------------------------------------------------
// Pictures

PixelShaderId ExpectedShader(const Mode& m) {
  const bool sphere = m.camera == kSphere;
  switch (m.view) {
    case kLeft:
    case kRight:
      return sphere ? PixelShader_SphericalEye : PixelShader_FlatEye;
    case kContrast:
      return PixelShader_SphericalContrast;
    default:
      return sphere ? PixelShader_SphericalAnaglyph : PixelShader_FlatAnaglyph;
  }
}

// Every camera x packing x view that selects a shader, at three view matrices, against the
// reference: at least 99.5 % of pixels within 3 levels per channel, and every other pixel within
// 3 levels of what the reference gives a quarter pixel away (an edge between texels, where the
// GPU's 8-bit filter weights and the polynomial angles move the blend).
TEST_F(DisplayProgram, EveryShaderMatchesTheReference) {
  constexpr UINT kWidth = 160, kHeight = 90;
  const std::vector<std::vector<float>> matrices = {std::vector<float>(kIdentity, kIdentity + 9),
                                                    Turned(40, 1, 2, 0.5, 1.6), Turned(25, -0.3, 1, 0.2, 0.7)};
  for (Camera camera : {kFlat, kSphere}) {
    for (Packing packing : {kMono, kLR, kTB}) {
      if (camera == kFlat && packing == kMono) continue;  // no shader (ChoosesAShaderOrNone)
      const Picture& clip = ClipFor(camera, packing);
      ComPtr<IDirect3DTexture9> texture = Bind(clip);
      for (View view : {kLeft, kRight, kRC, kContrast, kDuboisRC, kDuboisGM, kDuboisAB}) {
        if (camera == kFlat && view == kContrast) continue;
        const Mode mode{camera, packing, view};
        for (size_t mi = 0; mi < matrices.size(); ++mi) {
          SCOPED_TRACE(Name(mode) + " matrix " + std::to_string(mi));
          const DisplayViewProperties props = Properties(mode, matrices[mi].data(), kWidth, kHeight);
          ASSERT_HR(S_OK, Setup(props));
          ASSERT_EQ(Shader(ExpectedShader(mode)).Get(), Bound().Get());
          float rows[8][4];
          std::memcpy(rows, Constants(11, 8).data(), sizeof rows);
          const std::vector<uint32_t> got = Draw(kWidth, kHeight);
          ASSERT_EQ(size_t(kWidth) * kHeight, got.size());
          int close = 0, unexplained = 0, exactClose = 0;
          std::string first;
          for (UINT y = 0; y < kHeight; ++y) {
            for (UINT x = 0; x < kWidth; ++x) {
              const double tx = (x + 0.5) / kWidth, ty = (y + 0.5) / kHeight;
              const uint32_t pixel = got[y * kWidth + x];
              const Range ref = Reference(clip, props, mode, tx, ty, rows);
              exactClose += ChannelDistance(Pack(0.5 * (ref.lo + ref.hi)), pixel) <= 3;
              if (Within(pixel, ref, 3)) {
                ++close;
                continue;
              }
              // Explained when the reference somewhere within a quarter pixel is within 3 levels.
              bool explained = false;
              for (double dy = -0.25; dy <= 0.25 && !explained; dy += 0.125)
                for (double dx = -0.25; dx <= 0.25 && !explained; dx += 0.125)
                  explained = Within(pixel, Reference(clip, props, mode, tx + dx / kWidth, ty + dy / kHeight, rows), 3);
              if (!explained && unexplained++ == 0) {
                char text[96];
                std::snprintf(text, sizeof text, "(%u, %u) got %08X want %08X", x, y, pixel,
                              Pack(Reference(clip, props, mode, tx, ty, rows).lo));
                first = text;
              }
            }
          }
          EXPECT_GE(close, int(kWidth * kHeight * 0.995)) << "pixels within 3 levels";
          // The contrast mix's edges amplify every sample's rounding; the rest match exactly.
          EXPECT_GE(exactClose, int(kWidth * kHeight * (view == kContrast ? 0.97 : 0.995)))
              << "pixels within 3 levels of the exact samples";
          EXPECT_EQ(0, unexplained) << "first: " << first;
        }
      }
    }
  }
}

// An A8 texture shows as grey from its alpha whatever the choices, through the position matrix:
// a mirror about the diagonal (rows of N swapped) transposes the picture.
TEST_F(DisplayProgram, AlphaOnlyTextureShowsGrey) {
  constexpr UINT kSide = 4;
  std::vector<uint8_t> alpha(kSide * kSide);
  for (UINT i = 0; i < kSide * kSide; ++i) alpha[i] = static_cast<uint8_t>(i / kSide * 64 + i % kSide * 16 + 3);
  ComPtr<IDirect3DTexture9> texture = MakeTexture(kSide, kSide, D3DFMT_A8, alpha);
  ASSERT_HR(S_OK, context_.SetTexture(0, texture.Get()));
  const float mirror[9] = {0, 1, 0, 1, 0, 0, 0, 0, 1};
  for (const float* matrix : {kIdentity, mirror}) {
    const DisplayViewProperties props = Properties({kSphere, kLR, kRC}, matrix, 64, 64);
    ASSERT_HR(S_OK, Setup(props));
    EXPECT_EQ(Shader(PixelShader_ColorPositionMatrix).Get(), Bound().Get());
    const std::vector<uint32_t> got = Draw(kSide, kSide);
    ASSERT_EQ(kSide * kSide, got.size());
    for (UINT y = 0; y < kSide; ++y) {
      for (UINT x = 0; x < kSide; ++x) {
        const uint32_t a = matrix == kIdentity ? y * 64 + x * 16 + 3 : x * 64 + y * 16 + 3;
        EXPECT_EQ(a * 0x01010101u, got[y * kSide + x]) << x << "," << y;
      }
    }
  }
}

// Which shader each choice leaves bound: plain pictures none, a display type without a shader of
// its own the one bound before, unknown GUIDs the plain value.
TEST_F(DisplayProgram, ChoosesAShaderOrNone) {
  ComPtr<IDirect3DTexture9> texture = Bind(ClipFor(kSphere, kMono));
  const GUID unknown = {0x12345678, 0x1, 0x2, {3, 4, 5, 6, 7, 8, 9, 10}};
  struct Case {
    GUID camera, packing, display;
    int expected;  // a shader id, -1 removed, -2 the one bound before
  };
  const Case cases[] = {
      {CameraType_Std, FramePacking_Std, DisplayType_AnaglyphRC, -1},
      {CameraType_Std, FramePacking_Std, DisplayType_LeftEye, -1},
      {unknown, unknown, DisplayType_DuboisRedCyan, -1},
      {CameraType_Spherical, FramePacking_LR, DisplayType_Std, -2},
      {CameraType_Spherical, FramePacking_Std, unknown, -2},
      {CameraType_Std, FramePacking_LR, DisplayType_AnaglyphContrast, -2},
      {CameraType_Std, FramePacking_TB, DisplayType_Std, -2},
      {CameraType_Spherical, unknown, DisplayType_RightEye, PixelShader_SphericalEye},
      {CameraType_Std, FramePacking_TB, DisplayType_DuboisAmberBlue, PixelShader_FlatAnaglyph},
  };
  ComPtr<IDirect3DPixelShader9> before = Shader(PixelShader_Copy);
  for (const Case& c : cases) {
    ASSERT_HR(S_OK, context_.SetPixelShader(before.Get()));
    DisplayViewProperties props;
    props.cameraType = c.camera, props.framePacking = c.packing, props.displayType = c.display;
    props.viewSize[0] = props.viewSize[1] = 32;
    ASSERT_HR(S_OK, Setup(props));
    const IDirect3DPixelShader9* want = c.expected == -1   ? nullptr
                                        : c.expected == -2 ? before.Get()
                                                           : Shader(PixelShaderId(c.expected)).Get();
    EXPECT_EQ(want, Bound().Get()) << &c - cases;
  }
}

// ---------------------------------------------------------------------------------------------
// Registers

// What no picture shows: zero parallax 0 used as 0.01, the flat set-up's eye shift of -0, the
// anaglyph colours outside red-cyan, the least-squares matrices and the view size taken from the
// render target when none is given. (The zoom rule, the eye shift and the right eye's offsets
// show in the pictures of EveryShaderMatchesTheReference.)
TEST_F(DisplayProgram, RegistersFollowTheView) {
  ComPtr<IDirect3DTexture9> texture = Bind(ClipFor(kSphere, kLR));
  auto set = [&](Mode m, float zeroParallax = 0.5f, float w = 200, float h = 100) {
    DisplayViewProperties props = Properties(m, kIdentity, w, h);
    props.zeroParallax = zeroParallax;
    EXPECT_HR(S_OK, Setup(props));
    return Constants(0, 13);
  };
  using V = std::vector<float>;
  auto reg = [](const V& c, int r) { return V(c.begin() + 4 * r, c.begin() + 4 * r + 4); };

  EXPECT_FLOAT_EQ(0.25f * 0.064f / 0.01f, set({kSphere, kTB, kRC}, 0.0f)[36]);
  V c = set({kFlat, kLR, kRC});
  EXPECT_EQ(0.0f, c[36]);
  EXPECT_TRUE(std::signbit(c[40]));
  EXPECT_EQ((V{1, 0, 0, 1}), reg(c, 11));
  EXPECT_EQ((V{0, 1, 1, 1}), reg(c, 12));
  EXPECT_EQ(V(24, 0.0f), Constants(13, 6)) << "red-cyan is the colour weights alone";
  c = set({kFlat, kLR, kLeft});
  EXPECT_EQ((V{0, 0, 0, 0}), reg(c, 11)) << "no anaglyph colours outside the anaglyphs";
  c = set({kFlat, kLR, kDuboisRC});
  EXPECT_EQ((V{0, 0, 0, 1}), reg(c, 11));
  const V rows = Constants(13, 6);
  EXPECT_NEAR(0.437 + 0.449 + 0.164, rows[0] + rows[1] + rows[2], 1e-6) << "left red row of red-cyan";

  // No view size: the render target's (the device's back buffer here).
  D3DSURFACE_DESC target{};
  ComPtr<IDirect3DSurface9> rt;
  context_.device->GetRenderTarget(0, &rt);
  rt->GetDesc(&target);
  c = set({kSphere, kLR, kRC}, 0.5f, 0, 0);
  EXPECT_FLOAT_EQ(1.0f / target.Width, c[14]);
  EXPECT_FLOAT_EQ(1.0f / target.Height, c[15]);
  EXPECT_FLOAT_EQ(float(target.Height) / target.Width, c[19]);
}

// The trace block, with its rounding and the degree sign byte; nothing without the trace bit.
TEST_F(DisplayProgram, TraceBlockDescribesTheSetup) {
  ComPtr<IDirect3DTexture9> texture = Bind(ClipFor(kSphere, kLR));
  DisplayViewProperties props = Properties({kSphere, kLR, kRight}, kIdentity, 160, 90);
  props.ipd = 0.07f;
  props.zeroParallax = 2.5f;
  props.angularRange[0] = 3.1415927f;  // VR180
  {
    vmdxtest::PrintLevelScope level(LOG_WARN);
    vmdxtest::ObserverCapture capture;
    ASSERT_HR(S_OK, Setup(props));
    EXPECT_FALSE(capture.Contains("Setup Display Shader"));
  }
  vmdxtest::PrintLevelScope level(LOG_TRACE);
  vmdxtest::ObserverCapture capture;
  ASSERT_HR(S_OK, Setup(props));
  EXPECT_TRUE(capture.Contains(
      "Setup Display Shader\n  CameraType:   Spherical\n  FramePacking: L/R\n  DisplayType:  RightEye\n"
      "  IPD:          0.000000 mm\n  ZeroParallax: 3.000000 mm\n  Longitude:    180.000000 \xB0\n"
      "  Latitude:     180.000000 \xB0\n  Texture:      512 x 128\n  View:         160.000000 x 90.000000\n"))
      << capture.Text();
}

// ---------------------------------------------------------------------------------------------
// Faults

// Refusals leave the shader and the constants as they were, with a code and a text that say why.
TEST_F(DisplayProgram, FailsCleanly) {
  const float sentinel[4] = {7, 7, 7, 7};
  ComPtr<IDirect3DPixelShader9> before = Shader(PixelShader_Copy);
  struct Case {
    const char* what;
    bool texture;
    float column0;
    HRESULT code;
    const char* text;
  };
  const Case cases[] = {
      {"no texture", false, 1, E_POINTER, "No texture at stage 0"},
      {"zero column", true, 0, E_INVALIDARG, "View matrix column shorter than 1e-12 or not finite"},
      {"short column", true, 1e-13f, E_INVALIDARG, "View matrix column shorter than 1e-12 or not finite"},
      {"NaN column", true, NAN, E_INVALIDARG, "View matrix column shorter than 1e-12 or not finite"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ComPtr<IDirect3DTexture9> texture = c.texture ? Bind(ClipFor(kSphere, kMono)) : nullptr;
    if (!c.texture) context_.UnsetTexture(0);
    ASSERT_HR(S_OK, context_.SetPixelShader(before.Get()));
    for (UINT r = 0; r < 13; ++r) context_.SetPixelShaderConstantF(r, sentinel, 1);
    const float matrix[9] = {c.column0, 0, 0, 0, 1, 0, 0, 0, 1};
    vmdxtest::ObserverCapture capture;
    EXPECT_HR_LOGGED(capture, c.code, Setup(Properties({kSphere, kMono, kRC}, matrix, 64, 32)), c.text);
    EXPECT_EQ(before.Get(), Bound().Get());
    EXPECT_EQ(std::vector<float>(52, 7.0f), Constants(0, 13));
  }
  DX9Context empty;
  vmdxtest::ObserverCapture capture;
  EXPECT_HR_LOGGED(capture, E_POINTER,
                   GuardedCall([&] { return SetupDisplayShader(empty, cache_, DisplayViewProperties{}); }),
                   "GetTexture");
}

// Matrices without a proper rotation (two equal columns that let the direction reach 0 at the
// centre pixel, a mirror, a nearly-flat one) and an infinite view size give finite pixels in
// every spherical shader: drawn into a float target, nothing may be NaN.
TEST_F(DisplayProgram, OddMatricesGiveNoNaN) {
  ComPtr<IDirect3DTexture9> texture = Bind(ClipFor(kSphere, kMono));
  const float equalColumns[9] = {1, 1, 0, 0, 0, 1, 0, 0, 0};
  const float mirrored[9] = {-1, 0, 0, 0, 1, 0, 0, 0, 1};
  const float flattened[9] = {1, 0, 0, 0, 1e-6f, 0, 0, 0, 1};
  for (const float* matrix : {equalColumns, mirrored, flattened}) {
    for (View view : {kLeft, kRC, kContrast}) {
      DisplayViewProperties props = Properties({kSphere, kMono, view}, matrix, 33, 33);
      props.ipd = 0;  // no eye shift, so the equal columns' direction is exactly 0 at the centre
      if (matrix == flattened) props.viewSize[0] = INFINITY;
      ASSERT_HR(S_OK, Setup(props));
      const std::vector<float> got = Draw<float>(33, 33, D3DFMT_A32B32G32R32F);
      ASSERT_EQ(33u * 33 * 4, got.size());
      EXPECT_TRUE(std::all_of(got.begin(), got.end(), [](float v) { return std::isfinite(v); }))
          << kViewNames[view] << " matrix " << matrix[0] << "," << matrix[1];
    }
  }
}

// Switching modes every frame for 10,000 frames: every shader comes from the cache once, the
// device's last release is 0 and no module object stays open (TearDown).
TEST_F(DisplayProgram, TenThousandModeSwitchesLeakNothing) {
  ComPtr<IDirect3DTexture9> texture = Bind(ClipFor(kSphere, kLR));
  const std::vector<float> turned = Turned(30, 0, 1, 0, 1.2);
  ComPtr<IDirect3DTexture9> target = MakeRenderTarget(8, 8);
  ULONG references = 0;
  for (int frame = 0; frame < 10000; ++frame) {
    const Mode mode{Camera(frame % 2), Packing(frame / 2 % 3), View(frame / 6 % 8)};
    ASSERT_HR(S_OK, Setup(Properties(mode, frame % 5 ? turned.data() : kIdentity, 8, 8)));
    DrawQuad(target.Get());
    if (frame == 100) references = (context_.device->AddRef(), context_.device->Release());
  }
  EXPECT_EQ(references, (context_.device->AddRef(), context_.device->Release()));
}

}  // namespace
