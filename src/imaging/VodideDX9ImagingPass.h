// What the map builder and the remap renderer share: their device, quad buffer and render targets.
// (A pass left half-way puts the device back through DX9PassState.)
#pragma once
#include <wrl/client.h>

#include "Error.h"
#include "VodideDX9Context.h"

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

}  // namespace vmdx_imaging
