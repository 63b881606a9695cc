#include "VodideDirectX9JoinInterlaceFields.h"

#include "Diagnostics.h"
#include "Error.h"
#include "VodideDX9PassState.h"

using Microsoft::WRL::ComPtr;

namespace {
constexpr char kSourceFile[] = "src/VodideDirectX9JoinInterlaceFields";

// Which of an entry's two fields goes to stage 0 (the even rows) and which to stage 1.
constexpr uint32_t kFieldStages[2][2] = {{1, 0}, {0, 1}};  // by the top flag: clear, set
}  // namespace

HRESULT JoinInterlaceFields(DX9Context& context, CDX9ResourceCache& cache, IDirect3DTexture9* const* pSourceField,
                            IDirect3DTexture9* const* pTargetFrame, const uint8_t* pTopField) {
  return GuardedCall([&] {
    CheckPointer(pSourceField, VLOC, "pSourceField");
    CheckPointer(pTargetFrame, VLOC, "pTargetFrame");
    CheckPointer(pTopField, VLOC, "pTopField");
    ComPtr<IDirect3DVertexBuffer9> vb;
    CheckHr(context.ObtainPCT4VertexBuffer(&vb), VLOC, "ObtainPCT4VertexBuffer");
    ComPtr<IDirect3DPixelShader9> shader;
    CheckHr(cache.ObtainPixelShader(context, PixelShader_JoinWeaveFields, &shader), VLOC,
            "Obtain_ps30JoinWeaveFieldsPixelShader");
    DX9PassState pass(context);
    CheckHr(context.SetPixelShader(shader.Get()), VLOC, "SetPixelShader");
    pass.ShaderSet();
    CheckHr(context.BeginScene(), VLOC, "BeginScene");
    pass.SceneBegun();
    for (DWORD sampler = 0; sampler < 2; ++sampler) {
      CheckHr(context.SetSamplerState_MinFilter(sampler, D3DTEXF_POINT), VLOC, "SetSamplerState");
      CheckHr(context.SetSamplerState_MagFilter(sampler, D3DTEXF_POINT), VLOC, "SetSamplerState");
    }
    constexpr uint32_t kEntries = 1;
    for (uint32_t i = 0; i < kEntries; ++i) {
      IDirect3DTexture9* fieldA = pSourceField[2 * i];
      IDirect3DTexture9* fieldB = pSourceField[2 * i + 1];
      IDirect3DTexture9* target = pTargetFrame[i];
      if (fieldA == nullptr && fieldB == nullptr && target == nullptr) continue;
      if (fieldA == nullptr || fieldB == nullptr) ThrowError(E_POINTER, VLOC, "pSourceFrame[]");
      if (target == nullptr) ThrowError(E_POINTER, VLOC, "pTargetFrame[]");
      if (fieldA == target || fieldB == target) ThrowError(E_INVALIDARG, VLOC, "Source==Target not allowed");
      D3DSURFACE_DESC a{}, b{}, to{};
      CheckHr(fieldA->GetLevelDesc(0, &a), VLOC, "GetLevelDesc");
      CheckHr(fieldB->GetLevelDesc(0, &b), VLOC, "GetLevelDesc");
      CheckHr(target->GetLevelDesc(0, &to), VLOC, "GetLevelDesc");
      if (a.Width != to.Width || b.Width != to.Width || a.Height != to.Height >> 1 || b.Height != to.Height >> 1)
        ThrowError(E_INVALIDARG, VLOC, "SrcTex.Width!=TarTex.Width and/or SrcTex.Height/2!=TarTex.Height");
      CheckHr(context.SetRenderTarget(target), VLOC, "SetRenderTarget");
      pass.TargetSet();
      const uint32_t* stages = kFieldStages[pTopField[i] != 0 ? 1 : 0];
      for (DWORD stage = 0; stage < 2; ++stage) {
        IDirect3DTexture9* field = pSourceField[2 * i + stages[stage]];
        if (field == nullptr) ThrowError(E_POINTER, VLOC, "SetTexture");
        CheckHr(context.SetTexture(stage, field), VLOC, "SetTexture");
        pass.StageBound(stage);
      }
      const float resolution[4] = {static_cast<float>(a.Width), static_cast<float>(a.Height), 0, 0};
      CheckHr(context.SetPixelShaderConstantF(0, resolution, 1), VLOC, "SetPixelShaderConstantF");
      const float right = static_cast<float>(to.Width) - 0.5f;
      if (to.Height % 2 == 0) {
        CheckHr(context.FillRectangle(vb.Get(), -0.5f, -0.5f, right, static_cast<float>(to.Height) - 0.5f), VLOC,
                "FillRectangle");
      } else {
        // An odd last row belongs to no field. The quad keeps the rows of the woven part where
        // an even height puts them and reaches one row further; that row samples just below
        // the fields, which the clamped address mode turns into their last row.
        for (DWORD sampler = 0; sampler < 2; ++sampler)
          CheckHr(pass.SetSampler(sampler, D3DSAMP_ADDRESSV, D3DTADDRESS_CLAMP), VLOC, "SetSamplerState");
        const float woven = static_cast<float>(to.Height - 1);
        const float bottom = static_cast<float>(to.Height) - 0.5f;
        const float vBottom = static_cast<float>(to.Height) / woven;
        const PCT4Vertex quad[4] = {
            {-0.5f, -0.5f, 0, 1, 0xFFFFFFFF, 0, 0},
            {right, -0.5f, 0, 1, 0xFFFFFFFF, 1, 0},
            {-0.5f, bottom, 0, 1, 0xFFFFFFFF, 0, vBottom},
            {right, bottom, 0, 1, 0xFFFFFFFF, 1, vBottom},
        };
        CheckHr(context.DrawPCT4Primitive(vb.Get(), quad, 4, D3DPT_TRIANGLESTRIP, 2), VLOC, "FillRectangle");
      }
    }
    CheckHr(context.EndScene(), VLOC, "EndScene");
    pass.SceneEnded();
    for (DWORD stage = 0; stage < 2; ++stage) {
      CheckHr(context.UnsetTexture(stage), VLOC, "UnsetTexture");
      pass.StageCleared(stage);
    }
    CheckHr(context.UnsetRenderTarget(), VLOC, "UnsetRenderTarget");
    pass.TargetRestored();
    CheckHr(context.UnsetPixelShader(), VLOC, "UnsetPixelShader");
    pass.ShaderCleared();
    CheckHr(pass.RestoreStates(), VLOC, "SetSamplerState");
    return S_OK;
  });
}

HRESULT JoinInterlaceFields(DX9Context& context, CDX9ResourceCache& cache, IDirect3DTexture9* pFieldA,
                            IDirect3DTexture9* pFieldB, IDirect3DTexture9* pTargetFrame, uint8_t topField) {
  IDirect3DTexture9* const fields[2] = {pFieldA, pFieldB};
  IDirect3DTexture9* const targets[1] = {pTargetFrame};
  const uint8_t flags[1] = {topField};
  return JoinInterlaceFields(context, cache, fields, targets, flags);
}
