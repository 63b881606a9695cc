#include "VodideDirectX9Present.h"

#include "Diagnostics.h"
#include "Error.h"

namespace {
constexpr char kSourceFile[] = "src/VodideDirectX9Present";
}

HRESULT CopyRenderTargetToPresentSurface(DX9Context& context) {
  return GuardedCall([&]() -> HRESULT {
    if (!context.device) ThrowError(E_POINTER, VLOC, "Device3D");
    Microsoft::WRL::ComPtr<IDirect3DSurface9> target;
    CheckHr(context.device->GetRenderTarget(0, &target), VLOC, "GetRenderTarget");
    Microsoft::WRL::ComPtr<IDirect3DSurface9> backBuffer;
    CheckHr(context.device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &backBuffer), VLOC, "GetBackBuffer");
    if (target.Get() != backBuffer.Get()) {
      CheckHr(context.device->StretchRect(target.Get(), nullptr, backBuffer.Get(), nullptr, D3DTEXF_LINEAR), VLOC,
              "StretchRect");
    }
    return S_OK;
  });
}
