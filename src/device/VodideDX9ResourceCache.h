// CDX9ResourceCache: per device, the pixel shaders of the module and the device capabilities,
// made once and kept; it empties itself when the context it is given holds another device.
#pragma once
#include <string>
#include <wrl/client.h>

#include "VodideDX9Context.h"

// Pixel shader ids; each indexes the byte-code table and the cache's shader slots.
enum PixelShaderId : uint32_t {
  PixelShader_ConstantColor = 0,
  PixelShader_ProjectiveLookup = 1,
  PixelShader_FisheyeMap = 2,
  PixelShader_FisheyeToFisheyeMap = 3,
  PixelShader_RectilinearMap = 4,
  PixelShader_Remap = 5,
  PixelShader_RemapFiltered = 6,
  PixelShader_CubicResample = 7,
  PixelShader_Copy = 8,
  PixelShader_UnpackYuv422SemiPlanar = 9,
  PixelShader_PackYuv422SemiPlanar = 10,
  PixelShader_ColorLookup = 11,
  PixelShader_ColorPositionMatrix = 12,
  PixelShader_JoinWeaveFields = 13,
  PixelShader_SphericalEye = 14,
  PixelShader_SphericalAnaglyph = 15,
  PixelShader_SphericalContrast = 16,
  PixelShader_FlatEye = 17,
  PixelShader_FlatAnaglyph = 18,
};
constexpr uint32_t kPixelShaderCount = 19;

// ps_3_0 byte code by id; null for a shader this build does not carry.
extern const DWORD* const PixelShaderTable[kPixelShaderCount];

// What caps lacks for category A (the texture capabilities the image processors rely on): the
// text of every failed requirement, in a fixed order; empty when nothing is missing.
std::string CategoryAShortfall(const D3DCAPS9& caps);

class CDX9ResourceCache {
 public:
  CDX9ResourceCache() = default;
  CDX9ResourceCache(const CDX9ResourceCache&) = delete;
  CDX9ResourceCache& operator=(const CDX9ResourceCache&) = delete;
  ~CDX9ResourceCache() = default;  // the shader slots go without the close line

  // A new reference to the shader of id, created on the context's device on first request.
  HRESULT ObtainPixelShader(DX9Context& context, PixelShaderId id, IDirect3DPixelShader9** shader);
  // The device capabilities, read once per device.
  HRESULT GetCaps(DX9Context& context, const D3DCAPS9** caps);
  HRESULT GetMaxTextureSize(DX9Context& context, uint32_t size[2]);
  // 0 when the device has everything the image processors rely on, 1 when it lacks something
  // (logged at trace level), negative on failure.
  HRESULT IsTextureRenderableCatA(DX9Context& context);
  // 0 supported, 1 not available, negative on failure.
  HRESULT IsSurfaceFormatSupported(DX9Context& context, D3DFORMAT format);
  HRESULT IsRenderTargetTextureFormatSupported(DX9Context& context, D3DFORMAT format);
  HRESULT IsDynamicTextureFormatSupported(DX9Context& context, D3DFORMAT format);

  // Releases all shaders and forgets device, identity and capabilities.
  void Close();

 private:
  void CheckDevice(const DX9Context& context);
  const D3DCAPS9& Caps();
  HRESULT CheckFormat(DX9Context& context, DWORD usage, D3DRESOURCETYPE type, D3DFORMAT format);

  Microsoft::WRL::ComPtr<IDirect3DPixelShader9> shaders_[kPixelShaderCount];
  IDirect3DDevice9Ex* device_ = nullptr;  // compared only, never owned
  GUID deviceId_{};
  D3DCAPS9 caps_{};  // read once its Caps3 is non-zero
};
