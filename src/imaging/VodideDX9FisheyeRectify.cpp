#include "VodideDX9FisheyeRectify.h"

#include "Diagnostics.h"
#include "Error.h"
#include "VodideCreateMediaFrameDX9.h"
#include "VodideDX9ImagingPass.h"
#include "VodideDX9PassState.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr char kSourceFile[] = "src/VodideDX9FisheyeRectify";

constexpr PixelShaderId kVariantShaders[4] = {PixelShader_FisheyeMap, PixelShader_FisheyeToFisheyeMap,
                                              PixelShader_RectilinearMap, PixelShader_ConstantColor};
constexpr int32_t kNoMapVariant = 3;

// Registers of the map shaders' constants.
constexpr UINT kEnvRegister = 0;
constexpr UINT kMatrixRegister = 6;
constexpr UINT kFSourceRegister = 9;
constexpr UINT kFTargetRegister = 10;

constexpr D3DFORMAT kCheckFormats[] = {D3DFMT_A8R8G8B8, D3DFMT_A16B16G16R16, D3DFMT_G32R32F};

}  // namespace

FisheyeLensConstants MakeFSource(const FisheyeLens& lens) { return {2, {lens.K0, lens.K1, lens.K0 * lens.K0, 0.0f}}; }

FisheyeLensConstants MakeFTarget(const FisheyeLens& lens) {
  const float a = lens.K0 / lens.K1;
  return {3, {a, 1.0f / lens.K1, a * a, 1.0f / (a * a)}};
}

int32_t FisheyeRectifyVariant(const FisheyeRectifyParams& params) {
  const int32_t source = params.Source.Type;
  const int32_t target = params.Target.Type;
  // A rectilinear target with a projection flag set asks for something no shader draws.
  const bool flatTarget = target == FisheyeLensType_None || (target == FisheyeLensType_Rectilinear &&
                                                             (params.Target.Flags & kFisheyeLensUnsupportedFlags) == 0);
  if (source == FisheyeLensType_Radial && flatTarget) return 0;
  if (source == FisheyeLensType_Radial && target == FisheyeLensType_Radial) return 1;
  if (source == FisheyeLensType_Rectilinear && flatTarget) return 2;
  return kNoMapVariant;
}

HRESULT CDX9FisheyeRectify::Initialize() {
  return GuardedCall([&] {
    vmdx_imaging::InitializeQuadPass(*context_, &mVB, VLOC);
    initialized_ = true;
    return S_OK;
  });
}

HRESULT CDX9FisheyeRectify::CheckDevice() {
  return GuardedCall([&] {
    if (!initialized_) CheckHr(Initialize(), VLOC, "Initialize");
    vmdx_imaging::CheckImagingDevice(*context_, *cache_, kVariantShaders[1], kCheckFormats, VLOC);
    return S_OK;
  });
}

HRESULT CDX9FisheyeRectify::SetupShader(float W, float H) {
  return GuardedCall([&] {
    const int32_t variant = FisheyeRectifyVariant(params);
    ComPtr<IDirect3DPixelShader9> shader;
    CheckHr(cache_->ObtainPixelShader(*context_, kVariantShaders[variant], &shader), VLOC, "ObtainPixelShader");
    CheckHr(context_->SetPixelShader(shader.Get()), VLOC, "SetPixelShader");
    if (variant == kNoMapVariant) {
      // No lens constants for a pair no shader draws; its constant colour marks every pixel
      // invalid, so a remap through such a map shows only the border colour.
      const float invalid[4] = {kFisheyeInvalidCoordinate, kFisheyeInvalidCoordinate, 0.0f, 0.0f};
      CheckHr(context_->SetPixelShaderConstantF(0, invalid, 1), VLOC, "Setup Shader");
      return S_OK;
    }
    const FisheyeLens& s = params.Source;
    const FisheyeLens& t = params.Target;
    const float env[6][4] = {
        {t.ScaleX / t.FocalX * W, t.ScaleY / t.FocalY * H, 0.0f, 0.0f},
        {t.FocalX / s.FocalX, t.FocalY / s.FocalY, 0.0f, 0.0f},
        {1.0f / s.ScaleX, 1.0f / s.ScaleY, 0.0f, 0.0f},
        {s.CenterX / W, s.CenterY / H, 0.0f, 0.0f},
        {s.FocalX / W, s.FocalY / H, 0.0f, 0.0f},
        {params.OffsetX, params.OffsetY, 0.0f, 0.0f},
    };
    CheckHr(context_->SetPixelShaderConstantF(kEnvRegister, &env[0][0], 6), VLOC, "Setup Shader");
    CheckHr(context_->SetPixelShaderMatrix3x3(kMatrixRegister, params.Matrix), VLOC, "Setup Shader");
    if (s.Type == FisheyeLensType_Radial) {
      const FisheyeLensConstants fSource = MakeFSource(s);
      CheckHr(context_->SetPixelShaderConstantF(kFSourceRegister, fSource.value, 1), VLOC, "Setup Shader");
    }
    if (t.Type == FisheyeLensType_Radial) {
      const FisheyeLensConstants fTarget = MakeFTarget(t);
      CheckHr(context_->SetPixelShaderConstantF(kFTargetRegister, fTarget.value, 1), VLOC, "Setup Shader");
    }
    return S_OK;
  });
}

HRESULT CDX9FisheyeRectify::BuildFisheyeRectifyMap(IDirect3DTexture9** ppRenderTarget, uint32_t width, uint32_t height,
                                                   uint32_t W, uint32_t H, D3DFORMAT format) {
  return GuardedCall([&] {
    if (!mVB) ThrowError(E_POINTER, VLOC, "mVB, see Initialize()");
    CheckPointer(ppRenderTarget, VLOC, "ppRenderTarget");
    ComPtr<IDirect3DTexture9> map = vmdx_imaging::CreateRenderTargetTexture(*context_, width, height, format, VLOC);
    DX9PassState pass(*context_);
    CheckHr(context_->SetRenderTarget(map.Get()), VLOC, "SetRenderTarget");
    pass.TargetSet();
    pass.ShaderSet();  // the set-up binds the shader before it writes the constants, which may fail
    CheckHr(SetupShader(static_cast<float>(W), static_cast<float>(H)), VLOC, "SetupShader");
    CheckHr(context_->SetSamplerState_MinFilter(0, D3DTEXF_POINT), VLOC, "SetSamplerState_MinFilter");
    CheckHr(context_->SetSamplerState_MagFilter(0, D3DTEXF_POINT), VLOC, "SetSamplerState_MagFilter");
    CheckHr(context_->BeginScene(), VLOC, "BeginScene");
    pass.SceneBegun();
    CheckHr(context_->FillRectangle(mVB.Get(), -0.5f, -0.5f, width - 0.5f, height - 0.5f), VLOC, "FillRectangle");
    CheckHr(context_->EndScene(), VLOC, "EndScene");
    pass.SceneEnded();
    CheckHr(context_->UnsetRenderTarget(), VLOC, "UnsetRenderTarget");
    pass.TargetRestored();
    CheckHr(context_->UnsetPixelShader(), VLOC, "UnsetPixelShader");
    pass.ShaderCleared();
    *ppRenderTarget = map.Detach();
    return S_OK;
  });
}

HRESULT CDX9FisheyeRectify::BuildFisheyeRectifyMap(REFIID iid, void** ppFrame, uint32_t width, uint32_t height,
                                                   uint32_t W, uint32_t H, D3DFORMAT format) {
  return GuardedCall([&] {
    CheckPointer(ppFrame, VLOC, "ppFrame");
    *ppFrame = nullptr;
    ComPtr<IDirect3DTexture9> map;
    CheckHr(BuildFisheyeRectifyMap(&map, width, height, W, H, format), VLOC, "BuildFisheyeRectifyMap");
    // The frame says what the map texture holds (a G32R32F map reads as MediaFormat_RGFloat); a
    // format no media format stands for has no frame.
    GUID mapFormat{};
    CheckHr(GetMediaFormatDirectX(&mapFormat, format), VLOC, "CreateDirectXFrame");
    CheckHr(CreateMediaDirectX9VideoFrame(iid, ppFrame, &mapFormat, map.Get()), VLOC, "CreateDirectXFrame");
    return S_OK;
  });
}
