#include "VodideDisplayShader.h"

#include "Diagnostics.h"
#include "Error.h"

using Microsoft::WRL::ComPtr;

namespace {
constexpr char kSourceFile[] = "src/VodideDisplayShader";
}  // namespace

// The plain path: the fixed-function pipeline draws the texture unchanged. The stereo and
// spherical set-ups arrive with their shaders.
HRESULT SetupDisplayShader(DX9Context& context, CDX9ResourceCache& /*cache*/, const DisplayViewProperties& /*view*/) {
  if (!context.device) ThrowError(E_POINTER, VLOC, "GetTexture");
  ComPtr<IDirect3DBaseTexture9> bound;
  CheckHr(context.device->GetTexture(0, &bound), VLOC, "GetTexture");
  if (!bound) ThrowError(E_POINTER, VLOC, "GetTexture");
  ComPtr<IDirect3DTexture9> texture;
  CheckHr(bound.As(&texture), VLOC, "GetTexture");
  D3DSURFACE_DESC desc{};
  CheckHr(texture->GetLevelDesc(0, &desc), VLOC, "GetLevelDesc");
  return CheckHr(context.UnsetPixelShader(), VLOC, "UnsetPixelShader");
}
