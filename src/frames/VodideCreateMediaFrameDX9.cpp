#include "VodideCreateMediaFrameDX9.h"

#include <wrl/client.h>

#include "Diagnostics.h"
#include "Error.h"
#include "VarnicaFrameAccess.h"

namespace {

constexpr char kSourceFile[] = "src/VodideCreateMediaFrameDX9";

Microsoft::WRL::ComPtr<IMediaDirectX9VideoFrame> NewFrame() {
  Microsoft::WRL::ComPtr<IMediaDirectX9VideoFrame> frame;
  CheckHr(CreateClassObject(CLSID_MediaDirectX9VideoFrame, IID_IMediaDirectX9VideoFrame, &frame), VLOC,
          "CreateMediaDirectX9VideoFrame");
  return frame;
}

GUID NativeFormatOf(const GUID* format) {
  GUID native{};
  const GUID requested = format ? *format : GUID{};
  CheckHr(GetDirectXNativeMediaFormatFrom(&native, requested), VLOC, "GetDirectXNativeMediaFormatFrom");
  return native;
}

}  // namespace

HRESULT CreateMediaDirectX9VideoFrame(REFIID iid, void** ppFrame, const GUID* format, IDirect3DTexture9* texture) {
  return GuardedCall([&] {
    CheckPointer(ppFrame, VLOC, "ppFrame");
    CheckPointer(texture, VLOC, "pTex");
    *ppFrame = nullptr;
    const GUID native = NativeFormatOf(format);
    auto frame = NewFrame();
    CheckHr(frame->CreateTex1(&native, texture, 0, nullptr, nullptr, nullptr, nullptr, nullptr, vmdx::kLockRead), VLOC,
            "CreateTex1");
    return CheckHr(frame->QueryInterface(iid, ppFrame), VLOC, "query");
  });
}

HRESULT CreateMediaDirectX9VideoFrame(REFIID iid, void** ppFrame, const GUID* format, IDirect3DSurface9* surface,
                                      const VarnicaPixelAspectRatio* pixelAspectRatio, const int16_t* videoInterlace,
                                      const VarnicaTimecode* timecode, const VarnicaFrameRate* frameRate,
                                      const GUID* framePacking, uint32_t enabledLockAccess) {
  return GuardedCall([&] {
    CheckPointer(ppFrame, VLOC, "ppFrame");
    CheckPointer(surface, VLOC, "pSurf");
    *ppFrame = nullptr;
    const GUID native = NativeFormatOf(format);
    auto frame = NewFrame();
    CheckHr(frame->CreateSurf1(&native, surface, pixelAspectRatio, videoInterlace, timecode, frameRate, framePacking,
                               enabledLockAccess),
            VLOC, "CreateSurf1");
    return CheckHr(frame->QueryInterface(iid, ppFrame), VLOC, "query");
  });
}
