#include "VodideDX9Remap.h"

#include <iterator>

#include "Diagnostics.h"
#include "Error.h"
#include "VodideCreateMediaFrameDX9.h"
#include "VodideDX9ImagingPass.h"
#include "VodideDX9PassState.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr char kSourceFile[] = "src/VodideDX9Remap";

constexpr PixelShaderId kModeShaders[4] = {PixelShader_Remap, PixelShader_Remap, PixelShader_RemapFiltered,
                                           PixelShader_CubicResample};
constexpr DWORD kVideoSampler = 0;
constexpr DWORD kMapSampler = 1;

constexpr D3DFORMAT kCheckFormats[] = {D3DFMT_A8R8G8B8, D3DFMT_A16B16G16R16};

D3DTEXTUREADDRESS VideoAddress(int32_t mode) {
  switch (mode) {
    case RemapAddress_Clamp:
      return D3DTADDRESS_CLAMP;
    case RemapAddress_Mirror:
      return D3DTADDRESS_MIRROR;
    case RemapAddress_Wrap:
      return D3DTADDRESS_WRAP;
    default:
      return D3DTADDRESS_BORDER;
  }
}

void SetSamplerFilter(DX9Context& context, DWORD sampler, D3DTEXTUREFILTERTYPE filter, const SourceLocation& where) {
  CheckHr(context.SetSamplerState_MinFilter(sampler, filter), where, "Setup Shader");
  CheckHr(context.SetSamplerState_MagFilter(sampler, filter), where, "Setup Shader");
}

}  // namespace

HRESULT CDX9Remap::Initialize() {
  return GuardedCall([&] {
    vmdx_imaging::InitializeQuadPass(*context_, &mVB, VLOC);
    initialized_ = true;
    interpolation_ = RemapInterpolation_Bilinear;
    sourceWidth_ = sourceHeight_ = mapWidth_ = mapHeight_ = 0;
    sourceFormat_ = D3DFMT_UNKNOWN;
    return S_OK;
  });
}

HRESULT CDX9Remap::CheckDevice() {
  return GuardedCall([&] {
    if (!initialized_) CheckHr(Initialize(), VLOC, "Initialize");
    vmdx_imaging::CheckImagingDevice(*context_, *cache_, kModeShaders[RemapInterpolation_Bilinear], kCheckFormats, VLOC);
    return S_OK;
  });
}

HRESULT CDX9Remap::SetInterpolation(int32_t mode) {
  interpolation_ =
      mode == RemapInterpolation_Nearest || mode == RemapInterpolation_Cubic ? mode : RemapInterpolation_Bilinear;
  return S_OK;
}

HRESULT CDX9Remap::SetAddressMode(int32_t mode) {
  return GuardedCall([&] {
    IDirect3DDevice9Ex* device = context_->device.Get();
    if (!device) ThrowError(E_POINTER, VLOC, "SetSamplerState");
    const D3DTEXTUREADDRESS video = VideoAddress(mode);
    CheckHr(device->SetSamplerState(kVideoSampler, D3DSAMP_ADDRESSU, video), VLOC, "SetSamplerState");
    CheckHr(device->SetSamplerState(kVideoSampler, D3DSAMP_ADDRESSV, video), VLOC, "SetSamplerState");
    // The cubic gather reads map pixels beyond the edge: mirrored, they stay near the picture.
    CheckHr(device->SetSamplerState(kMapSampler, D3DSAMP_ADDRESSU, D3DTADDRESS_MIRROR), VLOC, "SetSamplerState");
    CheckHr(device->SetSamplerState(kMapSampler, D3DSAMP_ADDRESSV, D3DTADDRESS_MIRROR), VLOC, "SetSamplerState");
    return S_OK;
  });
}

HRESULT CDX9Remap::SetBorderColor(D3DCOLOR color) {
  return GuardedCall([&] {
    if (!context_->device) ThrowError(E_POINTER, VLOC, "SetSamplerState");
    return CheckHr(context_->device->SetSamplerState(kVideoSampler, D3DSAMP_BORDERCOLOR, color), VLOC,
                   "SetSamplerState");
  });
}

HRESULT CDX9Remap::SetSourceTexture(IDirect3DTexture9* pTex) {
  return GuardedCall([&] {
    CheckPointer(pTex, VLOC, "pTex");
    D3DSURFACE_DESC desc{};
    CheckHr(pTex->GetLevelDesc(0, &desc), VLOC, "GetLevelDesc");
    if (pTex != source_.Get()) source_ = pTex;
    sourceWidth_ = desc.Width;
    sourceHeight_ = desc.Height;
    sourceFormat_ = desc.Format;
    return S_OK;
  });
}

HRESULT CDX9Remap::SetSourceTexture(IUnknown* pFrame) {
  return GuardedCall([&] {
    CheckPointer(pFrame, VLOC, "pFrame");
    ComPtr<IDirect3DTexture9> texture;
    CheckHr(context_->GetTextureFromFrame(&texture, pFrame, 0), VLOC, "GetTextureFromFrame");
    CheckHr(SetSourceTexture(texture.Get()), VLOC, "SetSourceTexture");
    return S_OK;
  });
}

HRESULT CDX9Remap::SetMapTexture(IDirect3DTexture9* pTex) {
  return GuardedCall([&] {
    CheckPointer(pTex, VLOC, "pTex");
    D3DSURFACE_DESC desc{};
    CheckHr(pTex->GetLevelDesc(0, &desc), VLOC, "GetLevelDesc");
    if (pTex != map_.Get()) map_ = pTex;
    mapWidth_ = desc.Width;
    mapHeight_ = desc.Height;
    return S_OK;
  });
}

HRESULT CDX9Remap::SetupShader(int32_t mode) {
  return GuardedCall([&] {
    if ((sourceWidth_ == 0 && sourceHeight_ == 0) || (mapWidth_ == 0 && mapHeight_ == 0))
      ThrowError(E_INVALIDARG, VLOC, "Invalid or Missing Source Texture/Map");
    if (mode < 0 || mode >= static_cast<int32_t>(std::size(kModeShaders))) ThrowError(E_INVALIDARG, VLOC, "mode");
    ComPtr<IDirect3DPixelShader9> shader;
    CheckHr(cache_->ObtainPixelShader(*context_, kModeShaders[mode], &shader), VLOC, "ObtainPixelShader");
    CheckHr(context_->SetPixelShader(shader.Get()), VLOC, "SetPixelShader");
    SetSamplerFilter(*context_, kVideoSampler, mode == RemapInterpolation_Bilinear ? D3DTEXF_LINEAR : D3DTEXF_POINT,
                     VLOC);
    // A map of the source's own size is read texel for texel; any other size is interpolated.
    const bool sameSize = mapWidth_ == sourceWidth_ && mapHeight_ == sourceHeight_;
    SetSamplerFilter(*context_, kMapSampler, sameSize ? D3DTEXF_POINT : D3DTEXF_LINEAR, VLOC);
    const float mapW = static_cast<float>(mapWidth_), mapH = static_cast<float>(mapHeight_);
    const float srcW = static_cast<float>(sourceWidth_), srcH = static_cast<float>(sourceHeight_);
    const float env[4][4] = {
        {1.0f / mapW, 1.0f / mapH, 0.0f, 0.0f},
        {mapW, mapH, 0.0f, 0.0f},
        {1.0f / srcW, 1.0f / srcH, 0.0f, 0.0f},
        {srcW, srcH, 0.0f, 0.0f},
    };
    CheckHr(context_->SetPixelShaderConstantF(0, &env[0][0], 4), VLOC, "Setup Shader");
    return S_OK;
  });
}

HRESULT CDX9Remap::RenderRemapTexture(IDirect3DTexture9* pRenderTarget, uint32_t width, uint32_t height) {
  return GuardedCall([&] {
    if (!mVB) ThrowError(E_POINTER, VLOC, "mVB, see Initialize()");
    CheckPointer(pRenderTarget, VLOC, "pRenderTarget");
    DX9PassState pass(*context_);
    CheckHr(context_->BeginScene(), VLOC, "BeginScene");
    pass.SceneBegun();
    CheckHr(context_->SetRenderTarget(pRenderTarget), VLOC, "SetRenderTarget");
    pass.TargetSet();
    if (!source_) ThrowError(E_POINTER, VLOC, "SetTexture");
    CheckHr(context_->SetTexture(kVideoSampler, source_.Get()), VLOC, "SetTexture");
    pass.StageBound(kVideoSampler);
    if (!map_) ThrowError(E_POINTER, VLOC, "SetTexture");
    CheckHr(context_->SetTexture(kMapSampler, map_.Get()), VLOC, "SetTexture");
    pass.StageBound(kMapSampler);
    pass.ShaderSet();  // the set-up binds the shader before it sets filters and constants, which may fail
    CheckHr(SetupShader(interpolation_), VLOC, "SetupShader");
    CheckHr(context_->FillRectangle(mVB.Get(), -0.5f, -0.5f, width - 0.5f, height - 0.5f), VLOC, "FillRectangle");
    CheckHr(context_->EndScene(), VLOC, "EndScene");
    pass.SceneEnded();
    CheckHr(context_->UnsetRenderTarget(), VLOC, "UnsetRenderTarget");
    pass.TargetRestored();
    CheckHr(context_->UnsetPixelShader(), VLOC, "UnsetPixelShader");
    pass.ShaderCleared();
    CheckHr(context_->UnsetTexture(kVideoSampler), VLOC, "UnsetTexture");
    pass.StageCleared(kVideoSampler);
    CheckHr(context_->UnsetTexture(kMapSampler), VLOC, "UnsetTexture");
    pass.StageCleared(kMapSampler);
    return S_OK;
  });
}

HRESULT CDX9Remap::CreateRemapTexture(IDirect3DTexture9** ppRenderTarget, uint32_t width, uint32_t height,
                                      D3DFORMAT format) {
  return GuardedCall([&] {
    if (!mVB) ThrowError(E_POINTER, VLOC, "mVB, see Initialize()");
    CheckPointer(ppRenderTarget, VLOC, "ppRenderTarget");
    ComPtr<IDirect3DTexture9> target = vmdx_imaging::CreateRenderTargetTexture(*context_, width, height, format, VLOC);
    CheckHr(RenderRemapTexture(target.Get(), width, height), VLOC, "RenderRemapTexture");
    *ppRenderTarget = target.Detach();
    return S_OK;
  });
}

HRESULT CDX9Remap::CreateRemapTexture(REFIID iid, void** ppFrame, uint32_t width, uint32_t height,
                                      const GUID& mediaFormat) {
  return GuardedCall([&] {
    CheckPointer(ppFrame, VLOC, "ppFrame");
    *ppFrame = nullptr;
    D3DFORMAT format = D3DFMT_UNKNOWN;
    CheckHr(GetDirectXFormatFromMedia(&format, mediaFormat), VLOC, "GetDirectXFormatFromMedia");
    ComPtr<IDirect3DTexture9> target;
    CheckHr(CreateRemapTexture(&target, width, height, format), VLOC, "CreateRemapTexture");
    CheckHr(CreateMediaDirectX9VideoFrame(iid, ppFrame, &mediaFormat, target.Get()), VLOC, "CreateDirectXFrame");
    return S_OK;
  });
}
