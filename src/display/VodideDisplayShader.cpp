#include "VodideDisplayShader.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "Diagnostics.h"
#include "Error.h"
#include "VarnicaDisplayProgram.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr char kSourceFile[] = "src/VodideDisplayShader";

enum CameraValue : int32_t { kCameraStd = 0, kCameraSpherical = 1 };
enum PackingValue : int32_t { kPackingStd = 0, kPackingLR = 1, kPackingTB = 2 };
enum DisplayValue : int32_t {
  kDisplayStd = 0,
  kDisplayAnaglyphRC = 1,
  kDisplayAnaglyphContrast = 2,
  kDisplayLeftEye = 3,
  kDisplayRightEye = 4,
  // Ours: least-squares anaglyphs through a colour matrix per eye.
  kDisplayDuboisRC = 5,
  kDisplayDuboisGM = 6,
  kDisplayDuboisAB = 7,
};

struct Choice {
  const GUID* guid;
  int32_t value;
  const char* text;
};
constexpr Choice kCameraTypes[] = {{&CameraType_Spherical, kCameraSpherical, "Spherical"}};
constexpr Choice kFramePackings[] = {{&FramePacking_LR, kPackingLR, "L/R"}, {&FramePacking_TB, kPackingTB, "T/B"}};
constexpr Choice kDisplayTypes[] = {
    {&DisplayType_AnaglyphRC, kDisplayAnaglyphRC, "AnaglpyhRC"},
    {&DisplayType_AnaglyphContrast, kDisplayAnaglyphContrast, "AnaglpyhContrast"},
    {&DisplayType_LeftEye, kDisplayLeftEye, "LeftEye"},
    {&DisplayType_RightEye, kDisplayRightEye, "RightEye"},
    {&DisplayType_DuboisRedCyan, kDisplayDuboisRC, "DuboisRC"},
    {&DisplayType_DuboisGreenMagenta, kDisplayDuboisGM, "DuboisGM"},
    {&DisplayType_DuboisAmberBlue, kDisplayDuboisAB, "DuboisAB"},
};

// Any GUID outside the table (the all-zero default too) is value 0, "Std".
template <size_t N>
int32_t ValueOf(const GUID& guid, const Choice (&table)[N]) {
  for (const Choice& c : table) {
    if (std::memcmp(&guid, c.guid, sizeof(GUID)) == 0) return c.value;
  }
  return 0;
}
template <size_t N>
const char* TextOf(int32_t value, const Choice (&table)[N]) {
  for (const Choice& c : table) {
    if (c.value == value) return c.text;
  }
  return "Std";
}

// Least-squares anaglyph matrices from E. Dubois, "Conversion of a stereo pair to anaglyph with
// the least-squares projection method" (2009): rows give the output red, green and blue as
// weights of the eye's red, green and blue. Applied to the picture's values as they are (no
// linearisation), as most players do, so the shader stays one multiply per eye.
struct AnaglyphMatrices {
  float left[9];
  float right[9];
};
constexpr AnaglyphMatrices kDuboisRedCyan = {
    {0.437f, 0.449f, 0.164f, -0.062f, -0.062f, -0.024f, -0.048f, -0.050f, -0.017f},
    {-0.011f, -0.032f, -0.007f, 0.377f, 0.761f, 0.009f, -0.026f, -0.093f, 1.234f}};
constexpr AnaglyphMatrices kDuboisGreenMagenta = {
    {-0.062f, -0.158f, -0.039f, 0.284f, 0.668f, 0.143f, -0.015f, -0.027f, 0.021f},
    {0.529f, 0.705f, 0.024f, -0.016f, -0.015f, -0.065f, 0.009f, 0.075f, 0.937f}};
constexpr AnaglyphMatrices kDuboisAmberBlue = {
    {1.062f, -0.205f, 0.299f, -0.026f, 0.908f, 0.068f, -0.038f, -0.173f, 0.022f},
    {-0.016f, -0.123f, -0.017f, 0.006f, 0.062f, -0.017f, 0.094f, 0.185f, 0.911f}};

// The working block of one set-up.
struct DisplayShaderParams {
  int32_t cameraType;
  int32_t framePacking;
  int32_t displayType;
  float rotation[9];  // the normalised view matrix N, column by column: rotation[3c + r] = N[r][c]
  float zoomIn;
  float zoomOut;
  float ipd;
  float zeroParallax;
};

constexpr float kShortColumn = 1e-12f;

// A non-finite number counts as the surface's default: a NaN would reach every pixel.
float Finite(float value, float fallback) { return std::isfinite(value) ? value : fallback; }
float Positive(float value, float fallback) { return value > 0 && std::isfinite(value) ? value : fallback; }

DisplayShaderParams MakeParams(const DisplayViewProperties& view) {
  DisplayShaderParams p{};
  p.cameraType = ValueOf(view.cameraType, kCameraTypes);
  p.framePacking = ValueOf(view.framePacking, kFramePackings);
  p.displayType = ValueOf(view.displayType, kDisplayTypes);
  p.ipd = Finite(view.ipd, 0.07f);
  // At least 0.01; written so that a NaN gives 0.01 too.
  p.zeroParallax = view.zeroParallax >= 0.01f ? Finite(view.zeroParallax, 1.0f) : 0.01f;

  // Columns normalised; their lengths zoom. A column that cannot be normalised has no direction
  // to give, so the set-up refuses the matrix rather than draw with made-up axes.
  const float* m = view.viewMatrix;
  float length[3];
  for (int c = 0; c < 3; ++c) {
    length[c] = std::sqrt(m[c] * m[c] + m[3 + c] * m[3 + c] + m[6 + c] * m[6 + c]);
    if (!(length[c] >= kShortColumn) || !std::isfinite(length[c]))
      ThrowError(E_INVALIDARG, VLOC, "View matrix column shorter than 1e-12 or not finite");
  }
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) p.rotation[3 * c + r] = m[3 * r + c] / length[c];
  }
  const float s = (length[0] + length[1]) / 2;
  if (s >= 1) {
    p.zoomIn = s;
    p.zoomOut = 1;
  } else {
    p.zoomIn = 1;
    p.zoomOut = 1 / s;
  }
  return p;
}

// The window area's size: the view property, or, when the host has not set one (0 by 0, or any
// side not a positive number), the size of the render target being drawn into, which is the
// window area for a display surface. A device that cannot say that size fails the set-up rather
// than let it draw at a made-up aspect ratio.
void ViewArea(DX9Context& context, const DisplayViewProperties& view, float* width, float* height) {
  *width = view.viewSize[0];
  *height = view.viewSize[1];
  if (*width > 0 && *height > 0 && std::isfinite(*width) && std::isfinite(*height)) return;
  ComPtr<IDirect3DSurface9> target;
  CheckHr(context.device->GetRenderTarget(0, &target), VLOC, "GetRenderTarget");
  if (!target) ThrowError(E_POINTER, VLOC, "GetRenderTarget");
  D3DSURFACE_DESC desc{};
  CheckHr(target->GetDesc(&desc), VLOC, "GetDesc");
  *width = static_cast<float>(std::max<UINT>(desc.Width, 1));
  *height = static_cast<float>(std::max<UINT>(desc.Height, 1));
}

void LogSetup(const DisplayShaderParams& p, const DisplayViewProperties& view, const D3DSURFACE_DESC& desc) {
  LogPrint(LOG_TRACE, VLOC,
           "Setup Display Shader\n  CameraType:   %s\n  FramePacking: %s\n  DisplayType:  %s\n"
           "  IPD:          %f mm\n  ZeroParallax: %f mm\n  Longitude:    %f \xB0\n  Latitude:     %f \xB0\n"
           "  Texture:      %d x %d\n  View:         %f x %f\n",
           TextOf(p.cameraType, kCameraTypes), TextOf(p.framePacking, kFramePackings),
           TextOf(p.displayType, kDisplayTypes), std::round(static_cast<double>(p.ipd)),
           std::round(static_cast<double>(p.zeroParallax)), std::round(view.angularRange[0] * 57.295776),
           std::round(view.angularRange[1] * 57.295776), static_cast<int>(desc.Width), static_cast<int>(desc.Height),
           static_cast<double>(view.viewSize[0]), static_cast<double>(view.viewSize[1]));
}

void UseShader(DX9Context& context, CDX9ResourceCache& cache, PixelShaderId id) {
  ComPtr<IDirect3DPixelShader9> shader;
  CheckHr(cache.ObtainPixelShader(context, id, &shader), VLOC, "ObtainPixelShader");
  if (!shader) ThrowError(E_POINTER, VLOC, "SetPixelShader");
  CheckHr(context.SetPixelShader(shader.Get()), VLOC, "SetPixelShader");
}

// A8 textures carry only alpha: shown as grey through the colour and position matrix shader.
void SetupAlphaOnly(DX9Context& context, CDX9ResourceCache& cache, const DisplayShaderParams& p) {
  // Colour matrix: every output channel is the texel's alpha (register 3 = (1, 1, 1, 1)).
  float colorMatrix[16] = {};
  for (int r = 0; r < 4; ++r) colorMatrix[4 * r + 3] = 1;
  // Position matrix: c4..c6 = rows of N, c7 = (0, 0, 0, 1).
  float positionMatrix[16] = {};
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) positionMatrix[4 * r + c] = p.rotation[3 * r + c];
  }
  positionMatrix[15] = 1;
  context.SetPixelShaderMatrix4x4(0, colorMatrix);
  context.SetPixelShaderMatrix4x4(4, positionMatrix);
  UseShader(context, cache, PixelShader_ColorPositionMatrix);
}

const AnaglyphMatrices* DuboisMatrices(int32_t displayType) {
  switch (displayType) {
    case kDisplayDuboisRC:
      return &kDuboisRedCyan;
    case kDisplayDuboisGM:
      return &kDuboisGreenMagenta;
    case kDisplayDuboisAB:
      return &kDuboisAmberBlue;
    default:
      return nullptr;
  }
}

// The spherical set-up (spherical true) and the flat one for packed stereo: the REnv registers,
// the anaglyph colours and the shader for the display type (none: the shader stays as it is).
// REnv, one float4 per register:
//   c0..c2  rows of the normalised view matrix N (w 0)
//   c3      (zoomOut / longitude range, zoomOut / latitude range, 1 / view width, 1 / view height)
//   c4      (pack scale x, pack scale y, 1 / zoomIn, aspect / zoomIn), aspect = height / width
//   c5      (first-image offset x, y, second-image offset x, y)
//   c6      screen-to-view offset (x, y), view-plane distance 0.5
//   c7, c8  texture x and y bounds (first min, first max, second min, second max)
//   c9, c10 eye shift of the left and the right eye (e, 0, 0), (-e, 0, 0)
// then c11, c12 the anaglyph colours and c13..c18 the rows of the anaglyph colour matrices.
void SetupStereo(DX9Context& context, CDX9ResourceCache& cache, DisplayShaderParams p, bool spherical,
                 const DisplayViewProperties& view) {
  const int32_t type = p.displayType;
  const bool rightEye = type == kDisplayRightEye;
  const AnaglyphMatrices* dubois = DuboisMatrices(type);
  bool useShader = true;
  PixelShaderId id = PixelShader_SphericalEye;
  if (type == kDisplayLeftEye || rightEye) {
    id = spherical ? PixelShader_SphericalEye : PixelShader_FlatEye;
    p.zeroParallax = 1.0f;
  } else if (type == kDisplayAnaglyphRC || dubois != nullptr) {
    id = spherical ? PixelShader_SphericalAnaglyph : PixelShader_FlatAnaglyph;
  } else if (type == kDisplayAnaglyphContrast && spherical) {
    id = PixelShader_SphericalContrast;
  } else {
    useShader = false;
  }

  float viewWidth, viewHeight;
  ViewArea(context, view, &viewWidth, &viewHeight);
  const float aspect = viewHeight / viewWidth;
  const float longitude = Positive(view.angularRange[0], 6.2831855f);
  const float latitude = Positive(view.angularRange[1], 3.1415927f);
  const bool lr = p.framePacking == kPackingLR;
  const bool tb = p.framePacking == kPackingTB;
  const float second[2] = {lr ? 0.5f : 0.0f, tb ? 0.5f : 0.0f};
  const float first[2] = {rightEye ? second[0] : 0.0f, rightEye ? second[1] : 0.0f};
  float e = 0;
  if (spherical) {
    e = 0.25f * p.ipd / (p.zeroParallax * p.zoomOut);
    if (rightEye) e = -e;
  }

  const float c3[4] = {p.zoomOut / longitude, p.zoomOut / latitude, 1 / viewWidth, 1 / viewHeight};
  const float c4[4] = {lr ? 0.5f : 1.0f, tb ? 0.5f : 1.0f, 1 / p.zoomIn, aspect / p.zoomIn};
  const float c5[4] = {first[0], first[1], second[0], second[1]};
  const float c6[4] = {spherical ? 0.5f / p.zoomIn : 0.0f,
                       spherical ? 0.5f * aspect / p.zoomIn : (aspect - 1) * 0.5f / p.zoomIn, 0.5f, 0.0f};
  // Texture bounds of the two images: (first min, first max, second min, second max).
  const float halves[2][4] = {{0, 0.5f, 0.5f, 1}, {0.5f, 1, 0.5f, 1}};
  const float whole[4] = {0, 1, 0, 1};
  const float* c7 = lr ? halves[rightEye ? 1 : 0] : whole;
  const float* c8 = tb ? halves[rightEye ? 1 : 0] : whole;
  const float c9[4] = {e, 0, 0, 0};
  const float c10[4] = {-e, 0, 0, 0};
  const bool redCyan = type == kDisplayAnaglyphRC;
  // The Dubois types keep only the alpha weights here; their colours come from the matrices.
  const float c11[4] = {redCyan ? 1.0f : 0.0f, 0, 0, redCyan || dubois ? 1.0f : 0.0f};
  const float c12[4] = {0, redCyan ? 1.0f : 0.0f, redCyan ? 1.0f : 0.0f, redCyan || dubois ? 1.0f : 0.0f};

  // Constant writes report nothing: a device that refuses them refuses the draw as well.
  context.SetPixelShaderMatrix3x3(0, p.rotation);
  const float* registers[] = {c3, c4, c5, c6, c7, c8, c9, c10, c11, c12};
  for (UINT i = 0; i < std::size(registers); ++i) context.SetPixelShaderConstantF(3 + i, registers[i], 1);
  if (useShader && (id == PixelShader_SphericalAnaglyph || id == PixelShader_FlatAnaglyph)) {
    // c13..c15 and c16..c18: the rows of the left and right colour matrices, added to the
    // colour weights of c11 and c12 (zero for red-cyan, which the weights describe alone).
    float rows[6][4] = {};
    for (int r = 0; r < 3 && dubois != nullptr; ++r) {
      for (int c = 0; c < 3; ++c) {
        rows[r][c] = dubois->left[3 * r + c];
        rows[3 + r][c] = dubois->right[3 * r + c];
      }
    }
    context.SetPixelShaderConstantF(13, rows[0], 6);
  }
  if (useShader) UseShader(context, cache, id);
}

}  // namespace

HRESULT SetupDisplayShader(DX9Context& context, CDX9ResourceCache& cache, const DisplayViewProperties& view) {
  const uint32_t printLevel = GetPrintLevel();
  const DisplayShaderParams params = MakeParams(view);

  if (!context.device) ThrowError(E_POINTER, VLOC, "GetTexture");
  ComPtr<IDirect3DBaseTexture9> bound;
  CheckHr(context.device->GetTexture(0, &bound), VLOC, "GetTexture");
  if (!bound) ThrowError(E_POINTER, VLOC, "No texture at stage 0");
  ComPtr<IDirect3DTexture9> texture;
  CheckHr(bound.As(&texture), VLOC, "GetTexture");
  D3DSURFACE_DESC desc{};
  CheckHr(texture->GetLevelDesc(0, &desc), VLOC, "GetLevelDesc");

  if (printLevel & LOG_TRACE) LogSetup(params, view, desc);

  if (desc.Format == D3DFMT_A8) {
    SetupAlphaOnly(context, cache, params);
  } else if (params.cameraType == kCameraSpherical) {
    SetupStereo(context, cache, params, true, view);
  } else if (params.framePacking != kPackingStd) {
    SetupStereo(context, cache, params, false, view);
  } else {
    CheckHr(context.UnsetPixelShader(), VLOC, "UnsetPixelShader");
  }
  return S_OK;
}
