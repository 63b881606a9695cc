#include "VodideCaptureRenderTargetDX9.h"

#include <wrl/client.h>

#include "Diagnostics.h"
#include "Error.h"
#include "VarnicaFrameAccess.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr char kSourceFile[] = "src/VodideCaptureRenderTargetDX9";

ComPtr<IDirect3DSurface9> RenderTarget(IDirect3DDevice9* device, IDirect3DSurface9* surface) {
  ComPtr<IDirect3DSurface9> target = surface;
  if (!target) CheckHr(device->GetRenderTarget(0, &target), VLOC, "GetRenderTarget");
  return target;
}

bool Given(const GUID* format) { return format != nullptr && !varnica::IsNullGuid(*format); }

// The frame format for a surface of d3dFormat: the given one when its Direct3D format matches,
// else the surface format's own media format.
GUID FrameFormatFor(const GUID* format, D3DFORMAT d3dFormat) {
  GUID frameFormat{};
  if (Given(format)) {
    D3DFORMAT expected = D3DFMT_UNKNOWN;
    CheckHr(GetDirectXFormatFromMedia(&expected, *format), VLOC, "GetDirectXFormatFromMedia");
    if (expected != d3dFormat) ThrowError(E_INVALIDARG, VLOC, "format");
    frameFormat = *format;
  } else {
    CheckHr(GetMediaFormatDirectX(&frameFormat, d3dFormat), VLOC, "GetMediaFormatDirectX");
  }
  return frameFormat;
}

}  // namespace

HRESULT CaptureRenderTargetAsDirectXFrame(IDirect3DDevice9* device, IDirect3DSurface9* surface, REFIID iid,
                                          void** ppFrame, const GUID* format) {
  return GuardedCall([&] {
    CheckPointer(ppFrame, VLOC, "ppFrame");
    CheckPointer(device, VLOC, "pDevice");
    *ppFrame = nullptr;
    ComPtr<IDirect3DSurface9> target = RenderTarget(device, surface);
    D3DSURFACE_DESC desc{};
    CheckHr(target->GetDesc(&desc), VLOC, "GetDesc");
    const GUID frameFormat = FrameFormatFor(format, desc.Format);
    ComPtr<IMediaDirectX9VideoFrame> frame;
    CheckHr(CreateClassObject(CLSID_MediaDirectX9VideoFrame, IID_IMediaDirectX9VideoFrame, &frame), VLOC,
            "CreateMediaDirectX9VideoFrame");
    CheckHr(frame->CreateSurf1(&frameFormat, target.Get(), nullptr, nullptr, nullptr, nullptr, nullptr, vmdx::kLockRead), VLOC,
            "CreateSurf1");
    return CheckHr(frame->QueryInterface(iid, ppFrame), VLOC, "query");
  });
}

HRESULT CaptureRenderTargetAsVideoCpuFrame(IDirect3DDevice9* device, IDirect3DSurface9* surface, REFIID iid,
                                           void** ppFrame, const GUID* format) {
  return GuardedCall([&] {
    CheckPointer(ppFrame, VLOC, "ppFrame");
    CheckPointer(device, VLOC, "pDevice");
    *ppFrame = nullptr;
    ComPtr<IDirect3DSurface9> target = RenderTarget(device, surface);
    GUID native{};
    if (Given(format))
      CheckHr(GetDirectXNativeMediaFormatFrom(&native, *format), VLOC, "GetDirectXNativeMediaFormatFrom");
    D3DSURFACE_DESC desc{};
    CheckHr(target->GetDesc(&desc), VLOC, "GetDesc");
    if (desc.Width == 0 || desc.Height == 0 || desc.Type != D3DRTYPE_SURFACE)
      ThrowError(E_INVALIDARG, VLOC, "Surf Dsc");
    if (LogEnabled(LOG_TRACE))
      LogPrint(LOG_TRACE, VLOC, "CaptureRenderTargetAsVideoCpuFrame %dx%d dxfmt:%d %s\n", static_cast<int>(desc.Width),
               static_cast<int>(desc.Height), static_cast<int>(desc.Format),
               VarnicaMediaNameOf(&native, 0, 0));

    ComPtr<IDirect3DSurface9> copy;
    CheckHr(device->CreateOffscreenPlainSurface(desc.Width, desc.Height, desc.Format, D3DPOOL_SYSTEMMEM, &copy,
                                                nullptr),
            VLOC, "CreateOffscreenPlainSurface");
    CheckHr(device->GetRenderTargetData(target.Get(), copy.Get()), VLOC, "GetRenderTargetData");
    ComPtr<ICommonMediaVideoCpuFrame> frame;
    CheckHr(CreateClassObject(CLSID_CommonMediaVideoCpuFrame, IID_ICommonMediaVideoCpuFrame, &frame), VLOC,
            "CreateCommonMediaVideoCpuFrame");
    D3DLOCKED_RECT locked{};
    CheckHr(copy->LockRect(&locked, nullptr, D3DLOCK_READONLY | D3DLOCK_NOSYSLOCK), VLOC, "LockRect");

    CpuVidFrameMemory record{};
    record.width = static_cast<int32_t>(desc.Width);
    record.height = static_cast<int32_t>(desc.Height);
    record.planes[0] = {static_cast<uint8_t*>(locked.pBits), locked.Pitch};
    record.format = FrameFormatFor(Given(format) ? &native : nullptr, desc.Format);

    CheckHr(frame->SetEnabledLockAccess(vmdx::kLockRead), VLOC, "SetEnabledLockAccess");
    // The CPU frame keeps the locked copy alive: its memory is the frame's pixels.
    CheckHr(frame->ShareVideoFrameCpuMemory(copy.Get(), 0, &record), VLOC, "ShareVideoFrameCpuMemory");
    CheckHr(frame->Create0(), VLOC, "Create0");
    return CheckHr(frame->QueryInterface(iid, ppFrame), VLOC, "query");
  });
}
