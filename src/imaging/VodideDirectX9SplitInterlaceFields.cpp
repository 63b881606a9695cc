#include "VodideDirectX9SplitInterlaceFields.h"

#include "Diagnostics.h"
#include "Error.h"
#include "VodideDX9PassState.h"

using Microsoft::WRL::ComPtr;

namespace {
constexpr char kSourceFile[] = "src/VodideDirectX9SplitInterlaceFields";
}  // namespace

HRESULT SplitInterlaceFields(DX9Context& context, uint32_t count, IDirect3DTexture9* const* pSourceFrame,
                             IDirect3DTexture9* const* pTargetField, const uint8_t* pTopField) {
  return GuardedCall([&] {
    CheckPointer(pSourceFrame, VLOC, "pSourceFrame");
    CheckPointer(pTargetField, VLOC, "pTargetField");
    CheckPointer(pTopField, VLOC, "pTopField");
    ComPtr<IDirect3DVertexBuffer9> vb;
    CheckHr(context.ObtainPCT4VertexBuffer(&vb), VLOC, "ObtainPCT4VertexBuffer");
    DX9PassState pass(context);
    CheckHr(context.BeginScene(), VLOC, "BeginScene");
    pass.SceneBegun();
    CheckHr(context.SetSamplerState_MinFilter(0, D3DTEXF_POINT), VLOC, "SetSamplerState");
    CheckHr(context.SetSamplerState_MagFilter(0, D3DTEXF_POINT), VLOC, "SetSamplerState");
    // No pixel shader: every pass of the module clears its own, and the fixed-function stage in
    // its default operation passes the texel through unchanged under the quad's white colour.
    // An A8 target keeps the alpha output, but Wine's keeps red: the texel's alpha goes to the
    // colour channels too for those.
    DWORD colorArg = D3DTA_TEXTURE;
    CheckHr(context.device->GetTextureStageState(0, D3DTSS_COLORARG1, &colorArg), VLOC, "SetTextureStageState");
    for (uint32_t i = 0; i < count; ++i) {
      IDirect3DTexture9* source = pSourceFrame[i];
      IDirect3DTexture9* target = pTargetField[i];
      if (source == nullptr && target == nullptr) continue;
      if (source == nullptr) ThrowError(E_POINTER, VLOC, "pSourceFrame[]");
      if (target == nullptr) ThrowError(E_POINTER, VLOC, "pTargetField[]");
      if (source == target) ThrowError(E_INVALIDARG, VLOC, "Source==Target not allowed");
      D3DSURFACE_DESC from{}, to{};
      CheckHr(source->GetLevelDesc(0, &from), VLOC, "GetLevelDesc");
      CheckHr(target->GetLevelDesc(0, &to), VLOC, "GetLevelDesc");
      if (to.Width != from.Width || to.Height != from.Height / 2)
        ThrowError(E_INVALIDARG, VLOC, "SrcTex.Width!=TarTex.Width and/or SrcTex.Height/2!=TarTex.Height");
      CheckHr(pass.SetStage(0, D3DTSS_COLORARG1, to.Format == D3DFMT_A8 ? colorArg | D3DTA_ALPHAREPLICATE : colorArg),
              VLOC, "SetTextureStageState");
      CheckHr(context.SetRenderTarget(target), VLOC, "SetRenderTarget");
      pass.TargetSet();
      CheckHr(context.SetTexture(0, source), VLOC, "SetTexture");
      pass.StageBound(0);
      // Target row j sits at y = j and samples v = (j - f) / (H / 2) of the source's H rows:
      // source row 2j (f = -0.25) or 2j + 1 (f = -0.75). The quad ends at half the source's
      // height, not the target's, so an odd source height does not stretch the rows apart.
      const float f = pTopField[i] != 0 ? -0.25f : -0.75f;
      const float bottom = static_cast<float>(from.Height) * 0.5f + f;
      CheckHr(context.FillRectangle(vb.Get(), -0.5f, f, static_cast<float>(to.Width) - 0.5f, bottom), VLOC,
              "FillRectangle");
    }
    CheckHr(context.EndScene(), VLOC, "EndScene");
    pass.SceneEnded();
    CheckHr(context.UnsetTexture(0), VLOC, "UnsetTexture");
    pass.StageCleared(0);
    CheckHr(context.UnsetRenderTarget(), VLOC, "UnsetRenderTarget");
    pass.TargetRestored();
    CheckHr(pass.RestoreStates(), VLOC, "SetTextureStageState");
    return S_OK;
  });
}

HRESULT SplitInterlaceFields(DX9Context& context, IDirect3DTexture9* pSourceFrame, uint8_t topField,
                             IDirect3DTexture9* pTargetField) {
  IDirect3DTexture9* const sources[1] = {pSourceFrame};
  IDirect3DTexture9* const targets[1] = {pTargetField};
  const uint8_t flags[1] = {topField};
  return SplitInterlaceFields(context, 1, sources, targets, flags);
}

HRESULT SplitInterlaceFields(DX9Context& context, IDirect3DTexture9* pSourceFrame, IDirect3DTexture9* pFirstTarget,
                             IDirect3DTexture9* pSecondTarget, uint8_t topField) {
  // A missing target makes its entry empty, so it is skipped.
  IDirect3DTexture9* const sources[2] = {pFirstTarget ? pSourceFrame : nullptr, pSecondTarget ? pSourceFrame : nullptr};
  IDirect3DTexture9* const targets[2] = {pFirstTarget, pSecondTarget};
  const uint8_t flags[2] = {topField, static_cast<uint8_t>(topField == 0)};
  return SplitInterlaceFields(context, 2, sources, targets, flags);
}
