#include "VodideDeviceInfo.h"

#include "VodideDX9Context.h"

HRESULT PrintOffscreenDeviceInfo(FILE* out) {
  if (out == nullptr) return E_POINTER;
  DX9Context context;
  if (!context.direct3DEx) {
    std::fprintf(out, "DirectX9 Offscreen Device\n  not available: no Direct3D 9Ex factory (d3d9.dll)\n");
    return E_POINTER;
  }
  const HRESULT hr = context.InitializeOffscreenDevice(OffscreenDeviceSettings{});
  if (FAILED(hr) || !context.device) {
    std::fprintf(out, "DirectX9 Offscreen Device\n  not available: 0x%08lX\n", static_cast<unsigned long>(hr));
    return FAILED(hr) ? hr : E_POINTER;
  }
  D3DCAPS9 caps{};
  D3DADAPTER_IDENTIFIER9 identifier{};
  HRESULT query = context.device->GetDeviceCaps(&caps);
  if (SUCCEEDED(query)) query = context.direct3DEx->GetAdapterIdentifier(caps.AdapterOrdinal, 0, &identifier);
  if (FAILED(query)) {
    std::fprintf(out, "DirectX9 Offscreen Device\n  capabilities not readable: 0x%08lX\n",
                 static_cast<unsigned long>(query));
    return query;
  }
  std::fputs(OffscreenDeviceBlock(identifier, caps).c_str(), out);
  return S_OK;
}

std::string OffscreenDeviceBlock(const D3DADAPTER_IDENTIFIER9& identifier, const D3DCAPS9& caps) {
  char text[1024];
  std::snprintf(text, sizeof text,
                "DirectX9 Offscreen Device\n  Driver:        %s\n  Description:   %s\n  DeviceName:    %s\n"
                "  Max Texture:   %dx%d\n  Vertex Shader: %x\n  Pixel Shader:  %x\n",
                identifier.Driver, identifier.Description, identifier.DeviceName,
                static_cast<int>(caps.MaxTextureWidth), static_cast<int>(caps.MaxTextureHeight),
                static_cast<unsigned>(caps.VertexShaderVersion & 0xFFFF),
                static_cast<unsigned>(caps.PixelShaderVersion & 0xFFFF));
  return text;
}
