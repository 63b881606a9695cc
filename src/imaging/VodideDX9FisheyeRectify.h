// CDX9FisheyeRectify: builds, in one full-target pass, the coordinate map that re-projects an
// image taken through one lens model into the view of another. Map pixel (i, j) holds the
// normalised source coordinate that target pixel (i, j) shows, in red and green.
#pragma once
#include <wrl/client.h>
#include <cstdint>

#include "VodideDX9Context.h"
#include "VodideDX9ResourceCache.h"

// Lens models of FisheyeLens::Type.
enum : int32_t {
  FisheyeLensType_None = 0,
  FisheyeLensType_Rectilinear = 1,
  // r_d = K1 * r / sqrt(1 + K0^2 * r^2): r the radius in the undistorted plane, r_d in the image.
  FisheyeLensType_Radial = 2,
};
// FisheyeLens::Flags bits of projections the map shaders do not draw.
constexpr uint32_t kFisheyeLensUnsupportedFlags = 0x3;

struct FisheyeLens {
  int32_t Type = FisheyeLensType_None;
  float CenterX = 0, CenterY = 0;  // optical centre, in source pixels
  float FocalX = 0, FocalY = 0;    // pixels per unit of the normalised plane
  float ScaleX = 1.0f, ScaleY = 1.0f;
  float K0 = 0, K1 = 0;
  float Reserved[4] = {};
  uint32_t Flags = 0;
};

struct FisheyeRectifyParams {
  FisheyeLens Source;
  FisheyeLens Target;
  float Matrix[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};  // row-major, applied to (q.x, q.y, 1)
  float OffsetX = 0, OffsetY = 0;                 // added in the target's plane before the matrix
  float Reserved[2] = {};
};

// A lens constant record for the map shaders: a tag, then the float4 that goes to the shader.
struct FisheyeLensConstants {
  int32_t tag;
  float value[4];
};
// FSource (tag 2): (K0, K1, K0^2, 0).
FisheyeLensConstants MakeFSource(const FisheyeLens& lens);
// FTarget (tag 3): (a, 1/K1, a^2, 1/a^2) with a = K0/K1.
FisheyeLensConstants MakeFTarget(const FisheyeLens& lens);

// Map shader variants: 0 radial source, 1 radial source and target, 2 rectilinear, 3 none.
int32_t FisheyeRectifyVariant(const FisheyeRectifyParams& params);

// What an all-invalid map holds: the coordinate of a pixel no source pixel shows.
constexpr float kFisheyeInvalidCoordinate = -1000000.0f;

class CDX9FisheyeRectify {
 public:
  // context and cache stay the caller's and must outlive the rectifier.
  CDX9FisheyeRectify(DX9Context* context, CDX9ResourceCache* cache) : context_(context), cache_(cache) {}
  CDX9FisheyeRectify(const CDX9FisheyeRectify&) = delete;
  CDX9FisheyeRectify& operator=(const CDX9FisheyeRectify&) = delete;

  // Makes an offscreen device when the context has none, and the quad's vertex buffer.
  HRESULT Initialize();
  // Whether this device can build maps: capabilities, the shader, the map formats.
  HRESULT CheckDevice();
  // Binds the variant's shader and its constants for a source of W x H pixels.
  HRESULT SetupShader(float W, float H);
  // A new width x height render-target texture of format holding the map for a W x H source.
  HRESULT BuildFisheyeRectifyMap(IDirect3DTexture9** ppRenderTarget, uint32_t width, uint32_t height, uint32_t W,
                                 uint32_t H, D3DFORMAT format);
  // The same map as a GPU frame; the frame takes the map texture's own media format.
  HRESULT BuildFisheyeRectifyMap(REFIID iid, void** ppFrame, uint32_t width, uint32_t height, uint32_t W, uint32_t H,
                                 D3DFORMAT format);

 private:
  bool initialized_ = false;
  DX9Context* context_;
  CDX9ResourceCache* cache_;
  Microsoft::WRL::ComPtr<IDirect3DVertexBuffer9> mVB;

 public:
  // Set directly between builds; nothing validates them.
  FisheyeRectifyParams params;
};
