// What the map builder and the remap renderer share: their device, quad buffer and render targets.
// (A pass left half-way puts the device back through DX9PassState.)
#pragma once
#include <wrl/client.h>

#include "Error.h"
#include "VodideDX9Context.h"
#include "VodideDX9PassState.h"
#include "VodideDX9ResourceCache.h"

namespace vmdx_imaging {

// Four PCT4 vertices: one quad.
constexpr UINT kQuadBufferBytes = 4 * sizeof(PCT4Vertex);
static_assert(kQuadBufferBytes == 112);

// An offscreen device when the context has none, then a quad buffer of the context's usage and
// pool. A machine that gives no device leaves nothing to create the buffer on.
inline void InitializeQuadPass(DX9Context& context, Microsoft::WRL::ComPtr<IDirect3DVertexBuffer9>* vb,
                               const SourceLocation& location) {
  if (!context.device)
    CheckHr(context.InitializeOffscreenDevice(OffscreenDeviceSettings{}), location, "InitializeOffscreenDevice");
  if (!context.device) ThrowError(E_POINTER, location, "CreateVertexBuffer");
  Microsoft::WRL::ComPtr<IDirect3DVertexBuffer9> made;
  CheckHr(
      context.device->CreateVertexBuffer(kQuadBufferBytes, context.usage, kPCT4VertexFVF, context.pool, &made, nullptr),
      location, "CreateVertexBuffer");
  *vb = std::move(made);
}

// A one-level render-target texture in the context's pool.
inline Microsoft::WRL::ComPtr<IDirect3DTexture9> CreateRenderTargetTexture(DX9Context& context, UINT width, UINT height,
                                                                           D3DFORMAT format,
                                                                           const SourceLocation& location) {
  if (!context.device) ThrowError(E_POINTER, location, "CreateRenderTarget");
  Microsoft::WRL::ComPtr<IDirect3DTexture9> texture;
  CheckHr(
      context.device->CreateTexture(width, height, 1, D3DUSAGE_RENDERTARGET, format, context.pool, &texture, nullptr),
      location, "CreateRenderTarget");
  return texture;
}

// What the map builder's and the remap renderer's CheckDevice ask of a device: the texture
// capabilities, their shader bound once as a trial (never left bound, also when unbinding
// fails: the fixed-function field split relies on no shader being bound), and render targets of
// the formats they draw into.
template <size_t N>
void CheckImagingDevice(DX9Context& context, CDX9ResourceCache& cache, PixelShaderId shaderId,
                        const D3DFORMAT (&formats)[N], const SourceLocation& location) {
  CheckHr(cache.IsTextureRenderableCatA(context), location, "IsTextureRenderableCatA");
  Microsoft::WRL::ComPtr<IDirect3DPixelShader9> shader;
  CheckHr(cache.ObtainPixelShader(context, shaderId, &shader), location, "ObtainPixelShader");
  DX9PassState trial(context);
  CheckHr(context.SetPixelShader(shader.Get()), location, "SetPixelShader");
  trial.ShaderSet();
  CheckHr(context.UnsetPixelShader(), location, "UnsetPixelShader");
  trial.ShaderCleared();
  constexpr UINT kCheckWidth = 320, kCheckHeight = 200;
  for (D3DFORMAT format : formats) CreateRenderTargetTexture(context, kCheckWidth, kCheckHeight, format, location);
}

}  // namespace vmdx_imaging
