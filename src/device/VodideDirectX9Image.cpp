#include "VodideDirectX9Image.h"

#include "Diagnostics.h"
#include "Error.h"

namespace {
constexpr char kSourceFile[] = "src/VodideDirectX9Image";
}

HRESULT DX9Image::OpenFromTex(const DX9Context& context, IDirect3DTexture9* texture) {
  return GuardedCall([&]() -> HRESULT {
    CheckPointer(texture, VLOC, "pTex");
    if (!context.device) ThrowError(E_POINTER, VLOC, "Device3D");
    if (texture_.Get() == texture) return S_OK;
    texture_ = texture;  // references the new one, then releases the old one
    deviceId_ = context.deviceId;
    device_ = context.device.Get();
    return S_OK;
  });
}
