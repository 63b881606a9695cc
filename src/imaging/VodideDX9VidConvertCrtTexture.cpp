#include <cstdio>

#include "Diagnostics.h"
#include "Error.h"
#include "VodideDX9PassState.h"
#include "VodideDX9VidConvert.h"

using Microsoft::WRL::ComPtr;

namespace {
constexpr char kSourceFile[] = "src/VodideDX9VidConvertCrtTexture";

// The row for (source, target), searched from the last row; null when there is none.
const VidConvertRow* FindVidConvertRow(const GUID& source, const GUID& target) {
  for (int i = kVidConvertRows - 1; i >= 0; --i) {
    const VidConvertRow& row = VidConvertTable[i];
    if (varnica::SameGuid(row.sourceFormat, source) && varnica::SameGuid(row.targetFormat, target)) return &row;
  }
  return nullptr;
}
}  // namespace

const VidConvertRow VidConvertTable[kVidConvertRows] = {
    {MediaFormat_YUV422SemiPlanar8, MediaFormat_YUVA444_8, PixelShader_UnpackYuv422SemiPlanar, 1.0f, 0.5f},
    {MediaFormat_YUVA444_8, MediaFormat_YUV422SemiPlanar8, PixelShader_PackYuv422SemiPlanar, 1.0f, 2.0f},
};

HRESULT CDX9VidConvert::CreateTextureFromTexture(IDirect3DTexture9** ppTargetTexture, GUID* pTargetTextureFormat,
                                                 IDirect3DTexture9* pSourceTexture, const GUID& sourceFormat,
                                                 const GUID& targetFormat) {
  return GuardedCall([&] {
    CheckPointer(ppTargetTexture, VLOC, "ppTargetTexture");
    CheckPointer(pSourceTexture, VLOC, "pSourceTexture");
    CheckPointer(pTargetTextureFormat, VLOC, "pTargetTextureFormat");
    const GUID target = varnica::IsNullGuid(targetFormat) ? sourceFormat : targetFormat;
    if (varnica::SameGuid(target, sourceFormat)) {
      pSourceTexture->AddRef();
      *ppTargetTexture = pSourceTexture;
      *pTargetTextureFormat = target;
      return S_OK;
    }

    D3DSURFACE_DESC source{};
    CheckHr(pSourceTexture->GetLevelDesc(0, &source), VLOC, "GetLevelDesc");
    D3DFORMAT targetD3D = D3DFMT_UNKNOWN;
    CheckHr(GetDirectXFormatFromMedia(&targetD3D, target), VLOC, "GetDirectXFormatFromMedia");
    const VidConvertRow* row = FindVidConvertRow(sourceFormat, target);
    if (row == nullptr) {
      char text[128];
      std::snprintf(text, sizeof text, "%s -> %s", VarnicaMediaNameOf(&sourceFormat, 0, 0),
                    VarnicaMediaNameOf(&target, 0, 0));
      ThrowError(E_UNSUPPORTED, VLOC, text);
    }
    // Sizes in 32-bit float, as the table holds them.
    const float w = static_cast<float>(source.Width);
    const float h = static_cast<float>(source.Height);
    const UINT targetWidth = static_cast<UINT>(w * row->widthScale + 0.5f);
    const UINT targetHeight = static_cast<UINT>(h * row->heightScale + 0.5f);
    if (LogEnabled(LOG_TRACE)) {
      LogPrint(LOG_TRACE, VLOC,
               "CreateTextureFromTexture\n  Src: %dx%d %s/%s  dxfmt:%d\n  Tar: %dx%d %s/%s  dxfmt:%d\n",
               static_cast<int>(source.Width), static_cast<int>(source.Height), VarnicaMediaNameOf(&sourceFormat, 0, 0),
               VarnicaMediaNameOf(&sourceFormat, 0, 0), static_cast<int>(source.Format), static_cast<int>(targetWidth),
               static_cast<int>(targetHeight), VarnicaMediaNameOf(&targetFormat, 0, 0),
               VarnicaMediaNameOf(&target, 0, 0), static_cast<int>(targetD3D));
    }

    // Only now, so that refusals come before any Direct3D object is made.
    EnsureInitialized();
    DX9Context& context = *context_;
    ComPtr<IDirect3DTexture9> created;
    if (!context.device) ThrowError(E_POINTER, VLOC, "CreateRenderTarget");
    CheckHr(context.device->CreateTexture(targetWidth, targetHeight, 1, D3DUSAGE_RENDERTARGET, targetD3D, context.pool,
                                          &created, nullptr),
            VLOC, "CreateRenderTarget");
    ComPtr<IDirect3DPixelShader9> shader;
    CheckHr(cache_->ObtainPixelShader(context, row->shader, &shader), VLOC, "ObtainPixelShader");

    DX9PassState pass(context);
    CheckHr(context.SetRenderTarget(created.Get()), VLOC, "SetRenderTarget");
    pass.TargetSet();
    CheckHr(context.SetTexture(0, pSourceTexture), VLOC, "SetTexture");
    pass.StageBound(0);
    CheckHr(context.SetPixelShader(shader.Get()), VLOC, "SetPixelShader");
    pass.ShaderSet();
    CheckHr(context.SetSamplerState_MinFilter(0, D3DTEXF_POINT), VLOC, "SetSamplerState");
    CheckHr(context.SetSamplerState_MagFilter(0, D3DTEXF_POINT), VLOC, "SetSamplerState");
    // Packing averages each pixel with its left neighbour; clamping makes column 0 its own
    // neighbour instead of wrapping round to the last column of the row.
    CheckHr(pass.SetSampler(0, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP), VLOC, "SetSamplerState");
    const float env[6][4] = {
        {1.0f / w, 1.0f / h, 0, 0},   {w, h, 0, 0},
        {0.5f / w, 0.5f / h, 0, 0},   {w * 0.5f, h * 0.5f, 0, 0},
        {0.25f / w, 0.25f / h, 0, 0}, {w * 0.25f, h * 0.25f, 0, 0},
    };
    CheckHr(context.SetPixelShaderConstantF(0, &env[0][0], 6), VLOC, "SetSamplerState");

    CheckHr(context.BeginScene(), VLOC, "BeginScene");
    pass.SceneBegun();
    // Direct3D 9 puts pixel centres on integer coordinates: a same-size axis moves half a
    // pixel, a halving axis a quarter of a target pixel, an enlarged axis not at all.
    const float tw = static_cast<float>(targetWidth), th = static_cast<float>(targetHeight);
    const float x0 = row->widthScale > 1.0f ? 0.0f : -0.5f * tw / w;
    const float y0 = row->heightScale > 1.0f ? 0.0f : -0.5f * th / h;
    if (context.vertexBuffer.Get() != mVB.Get())  // the shared context made a new device since
      CheckHr(context.ObtainPCT4VertexBuffer(mVB.ReleaseAndGetAddressOf()), VLOC, "ObtainPCT4VertexBuffer");
    CheckHr(context.FillRectangle(mVB.Get(), x0, y0, tw + x0, th + y0), VLOC, "FillRectangle");
    CheckHr(context.EndScene(), VLOC, "EndScene");
    pass.SceneEnded();
    CheckHr(context.UnsetRenderTarget(), VLOC, "UnsetRenderTarget");
    pass.TargetRestored();
    CheckHr(context.UnsetTexture(0), VLOC, "UnsetTexture");
    pass.StageCleared(0);
    CheckHr(context.UnsetPixelShader(), VLOC, "UnsetPixelShader");
    pass.ShaderCleared();
    CheckHr(pass.RestoreStates(), VLOC, "SetSamplerState");

    *pTargetTextureFormat = target;
    *ppTargetTexture = created.Detach();
    return S_OK;
  });
}
