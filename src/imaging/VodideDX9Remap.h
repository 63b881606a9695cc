// CDX9Remap: draws a source image through a coordinate map. Each target pixel takes the source
// at the normalised coordinate the map holds for it (red, green), by nearest, bilinear or a
// 5 x 5 cubic reconstruction. Maps come from CDX9FisheyeRectify or any texture of that shape.
#pragma once
#include <wrl/client.h>
#include <cstdint>

#include "VodideDX9Context.h"
#include "VodideDX9ResourceCache.h"

enum : int32_t {
  RemapInterpolation_Nearest = 0,
  RemapInterpolation_Bilinear = 1,
  RemapInterpolation_Cubic = 2,  // 5 x 5 map neighbours, Catmull-Rom weights
  // Only through SetupShader: cubic resampling of the source without a map.
  RemapInterpolation_CubicResample = 3,
};

// SetAddressMode's modes for the source: what lies outside the source image.
enum : int32_t {
  RemapAddress_Border = 0,  // the border colour
  RemapAddress_Clamp = 1,
  RemapAddress_Mirror = 2,
  RemapAddress_Wrap = 3,
};

class CDX9Remap {
 public:
  // context and cache stay the caller's and must outlive the renderer.
  CDX9Remap(DX9Context* context, CDX9ResourceCache* cache) : context_(context), cache_(cache) {}
  CDX9Remap(const CDX9Remap&) = delete;
  CDX9Remap& operator=(const CDX9Remap&) = delete;

  // Makes an offscreen device when the context has none and the quad's vertex buffer; back to
  // bilinear with no sizes known.
  HRESULT Initialize();
  // Whether this device can remap: capabilities, the shader, the target formats.
  HRESULT CheckDevice();
  // 0 nearest, 2 cubic, anything else bilinear.
  HRESULT SetInterpolation(int32_t mode);
  // The source's address mode (RemapAddress_*; other values use the border); the map mirrors.
  HRESULT SetAddressMode(int32_t mode);
  HRESULT SetBorderColor(D3DCOLOR color);
  // Source and map are held (one reference each) until replaced.
  HRESULT SetSourceTexture(IDirect3DTexture9* pTex);
  // The texture of any frame: a GPU frame's own, a CPU frame uploaded.
  HRESULT SetSourceTexture(IUnknown* pFrame);
  HRESULT SetMapTexture(IDirect3DTexture9* pTex);
  // Binds the mode's shader, the sampler filters and the size constants.
  HRESULT SetupShader(int32_t mode);
  // Draws into an existing render-target texture of width x height.
  HRESULT RenderRemapTexture(IDirect3DTexture9* pRenderTarget, uint32_t width, uint32_t height);
  // A new render-target texture of width x height and format with the drawing in it.
  HRESULT CreateRemapTexture(IDirect3DTexture9** ppRenderTarget, uint32_t width, uint32_t height, D3DFORMAT format);
  // The same as a GPU frame of the given media format.
  HRESULT CreateRemapTexture(REFIID iid, void** ppFrame, uint32_t width, uint32_t height, const GUID& mediaFormat);

 private:
  bool initialized_ = false;
  DX9Context* context_;
  CDX9ResourceCache* cache_;
  Microsoft::WRL::ComPtr<IDirect3DVertexBuffer9> mVB;
  Microsoft::WRL::ComPtr<IDirect3DTexture9> source_;
  Microsoft::WRL::ComPtr<IDirect3DTexture9> map_;
  uint32_t sourceWidth_ = 0, sourceHeight_ = 0;
  uint32_t mapWidth_ = 0, mapHeight_ = 0;
  int32_t interpolation_ = RemapInterpolation_Bilinear;
  D3DFORMAT sourceFormat_ = D3DFMT_UNKNOWN;
};
