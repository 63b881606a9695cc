// What the map builder and the remap renderer share: their device and quad buffer, and a guard
// that puts the device back when a pass is left half-way.
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

// Leaves the device as a pass must leave it even when a step fails: no open scene, the initial
// render target back, no pixel shader and the pass's texture stages empty. A pass that ends
// normally does the same steps itself, with their failures reported, and calls Done().
class PassGuard {
 public:
  PassGuard(DX9Context& context, DWORD stages) : context_(context), stages_(stages) {}
  ~PassGuard() {
    if (done_) return;
    if (sceneOpen) context_.EndScene();
    context_.UnsetRenderTarget();
    context_.UnsetPixelShader();
    for (DWORD stage = 0; stage < stages_; ++stage) context_.UnsetTexture(stage);
  }
  PassGuard(const PassGuard&) = delete;
  PassGuard& operator=(const PassGuard&) = delete;
  void Done() { done_ = true; }

  bool sceneOpen = false;

 private:
  DX9Context& context_;
  DWORD stages_;
  bool done_ = false;
};

}  // namespace vmdx_imaging
