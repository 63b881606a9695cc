#include "VodideDX9ResourceCache.h"

#include <cstring>
#include <string>

#include "Diagnostics.h"
#include "Error.h"

namespace {

constexpr char kSourceFile[] = "src/VodideDX9ResourceCache";

// kPixelShaderByteCode, assembled at build time from src/shaders.
#include "VodidePixelShaderByteCode.inc"
static_assert(std::size(kPixelShaderByteCode) == kPixelShaderCount);

struct CapabilityRequirement {
  DWORD D3DCAPS9::*field;
  DWORD bit;
  bool mustBeSet;
  const char* text;
};

// Category A: what the image processors rely on, in the order the log names what is missing.
constexpr CapabilityRequirement kCategoryA[] = {
    {&D3DCAPS9::Caps3, D3DCAPS3_COPY_TO_VIDMEM, true, "\n  Wrong: COPY_TO_VIDMEM"},
    {&D3DCAPS9::Caps3, D3DCAPS3_COPY_TO_SYSTEMMEM, true, "\n  Wrong: COPY_TO_SYSTEMMEM"},
    {&D3DCAPS9::TextureFilterCaps, D3DPTFILTERCAPS_MINFPOINT, true, "\n  Wrong: MINFPOINT"},
    {&D3DCAPS9::TextureFilterCaps, D3DPTFILTERCAPS_MINFLINEAR, true, "\n  Wrong: MINFLINEAR"},
    {&D3DCAPS9::TextureFilterCaps, D3DPTFILTERCAPS_MAGFPOINT, true, "\n  Wrong: MAGFPOINT"},
    {&D3DCAPS9::TextureFilterCaps, D3DPTFILTERCAPS_MAGFLINEAR, true, "\n  Wrong: MAGFLINEAR"},
    {&D3DCAPS9::TextureAddressCaps, D3DPTADDRESSCAPS_WRAP, true, "\n  Wrong: WRAP"},
    {&D3DCAPS9::TextureAddressCaps, D3DPTADDRESSCAPS_MIRROR, true, "\n  Wrong: MIRROR"},
    {&D3DCAPS9::TextureAddressCaps, D3DPTADDRESSCAPS_CLAMP, true, "\n  Wrong: CLAMP"},
    {&D3DCAPS9::TextureAddressCaps, D3DPTADDRESSCAPS_BORDER, true, "\n  Wrong: BORDER"},
    {&D3DCAPS9::TextureCaps, D3DPTEXTURECAPS_ALPHA, true, "\n  Wrong: ALPHA"},
    {&D3DCAPS9::TextureCaps, D3DPTEXTURECAPS_SQUAREONLY, false, "\n  Wrong: SQUAREONLY"},
    {&D3DCAPS9::TextureCaps, D3DPTEXTURECAPS_POW2, false, "\n  Wrong: POW2"},
};

}  // namespace

const DWORD* const PixelShaderTable[kPixelShaderCount] = {
    kPixelShaderByteCode[0],  kPixelShaderByteCode[1],  kPixelShaderByteCode[2],  kPixelShaderByteCode[3],
    kPixelShaderByteCode[4],  kPixelShaderByteCode[5],  kPixelShaderByteCode[6],  kPixelShaderByteCode[7],
    kPixelShaderByteCode[8],  kPixelShaderByteCode[9],  kPixelShaderByteCode[10], kPixelShaderByteCode[11],
    kPixelShaderByteCode[12], kPixelShaderByteCode[13], kPixelShaderByteCode[14], kPixelShaderByteCode[15],
    kPixelShaderByteCode[16], kPixelShaderByteCode[17], kPixelShaderByteCode[18],
};

std::string CategoryAShortfall(const D3DCAPS9& caps) {
  std::string missing;
  for (const CapabilityRequirement& r : kCategoryA) {
    const bool isSet = (caps.*(r.field) & r.bit) != 0;
    if (isSet != r.mustBeSet) missing += r.text;
  }
  return missing;
}

void CDX9ResourceCache::Close() {
  if (device_ != nullptr) LogPrint(LOG_TRACE, VLOC, "Close CDX9ResourceCache\n");
  for (auto& shader : shaders_) shader.Reset();
  device_ = nullptr;
  deviceId_ = GUID{};
  std::memset(&caps_, 0, sizeof caps_);
}

// The identity is compared as well as the pointer: a new device may reuse a released one's
// address.
void CDX9ResourceCache::CheckDevice(const DX9Context& context) {
  if (!context.device) ThrowError(E_POINTER, VLOC, "Device3D");
  if (device_ != context.device.Get() || !varnica::SameGuid(deviceId_, context.deviceId)) {
    Close();
    deviceId_ = context.deviceId;
    device_ = context.device.Get();
  }
}

const D3DCAPS9& CDX9ResourceCache::Caps() {
  if (caps_.Caps3 == 0) {
    D3DCAPS9 caps{};
    CheckHr(device_->GetDeviceCaps(&caps), VLOC, "GetDeviceCaps");
    caps_ = caps;
  }
  return caps_;
}

HRESULT CDX9ResourceCache::ObtainPixelShader(DX9Context& context, PixelShaderId id,
                                             IDirect3DPixelShader9** shader) {
  return GuardedCall([&]() -> HRESULT {
    CheckPointer(shader, VLOC, "ppPS");
    CheckDevice(context);
    if (id >= kPixelShaderCount) ThrowError(E_INVALIDARG, VLOC, "PixelShaderId");
    Microsoft::WRL::ComPtr<IDirect3DPixelShader9>& slot = shaders_[id];
    if (!slot) {
      // An id without byte code is refused here; the device is never handed a null function.
      if (PixelShaderTable[id] == nullptr) ThrowError(E_NOTIMPL, VLOC, "CreatePixelShader");
      CheckHr(device_->CreatePixelShader(PixelShaderTable[id], &slot), VLOC, "CreatePixelShader");
    }
    *shader = Microsoft::WRL::ComPtr<IDirect3DPixelShader9>(slot).Detach();
    return S_OK;
  });
}

HRESULT CDX9ResourceCache::GetCaps(DX9Context& context, const D3DCAPS9** caps) {
  return GuardedCall([&]() -> HRESULT {
    CheckPointer(caps, VLOC, "ppCaps");
    CheckDevice(context);
    *caps = &Caps();
    return S_OK;
  });
}

HRESULT CDX9ResourceCache::GetMaxTextureSize(DX9Context& context, uint32_t size[2]) {
  return GuardedCall([&]() -> HRESULT {
    CheckPointer(size, VLOC, "pSize");
    CheckDevice(context);
    const D3DCAPS9& caps = Caps();
    size[0] = caps.MaxTextureWidth;
    size[1] = caps.MaxTextureHeight;
    return S_OK;
  });
}

HRESULT CDX9ResourceCache::IsTextureRenderableCatA(DX9Context& context) {
  return GuardedCall([&]() -> HRESULT {
    CheckDevice(context);
    const std::string missing = CategoryAShortfall(Caps());
    if (missing.empty()) return 0;
    if (LogEnabled(LOG_TRACE)) LogPrint(LOG_TRACE, VLOC, "IsTextureRenderableCatA = False:%s\n", missing.c_str());
    return 1;
  });
}

HRESULT CDX9ResourceCache::CheckFormat(DX9Context& context, DWORD usage, D3DRESOURCETYPE type, D3DFORMAT format) {
  return GuardedCall([&]() -> HRESULT {
    CheckDevice(context);
    const D3DCAPS9& caps = Caps();
    if (!context.direct3D) {
      // A context made from an existing device learns its factory here and keeps it.
      CheckHr(context.device->GetDirect3D(&context.direct3D), VLOC, "GetDirect3D");
    }
    const HRESULT hr =
        context.direct3D->CheckDeviceFormat(caps.AdapterOrdinal, caps.DeviceType, D3DFMT_X8R8G8B8, usage, type, format);
    if (hr == D3DERR_NOTAVAILABLE) return 1;
    CheckHr(hr, VLOC, "CheckDeviceFormat");
    return 0;
  });
}

HRESULT CDX9ResourceCache::IsSurfaceFormatSupported(DX9Context& context, D3DFORMAT format) {
  return CheckFormat(context, 0, D3DRTYPE_SURFACE, format);
}

HRESULT CDX9ResourceCache::IsRenderTargetTextureFormatSupported(DX9Context& context, D3DFORMAT format) {
  return CheckFormat(context, D3DUSAGE_RENDERTARGET, D3DRTYPE_TEXTURE, format);
}

HRESULT CDX9ResourceCache::IsDynamicTextureFormatSupported(DX9Context& context, D3DFORMAT format) {
  return CheckFormat(context, D3DUSAGE_DYNAMIC, D3DRTYPE_TEXTURE, format);
}
