// What a render pass (or a capability check's trial bind, or a change of a few states that must
// take whole or not at all) has changed on the device, so that one that fails half way leaves the
// device as a finished one does: scene ended, the context's original render target back as target
// 0, the stages it bound and the pixel shader cleared, the sampler, stage and render states it
// changed put back. The regular end of a pass runs those steps itself (each with its own failure
// text) and marks them done here.
#pragma once
#include <cstdint>

#include "VodideDX9Context.h"

class DX9PassState {
 public:
  explicit DX9PassState(DX9Context& context) : context_(context) {}
  DX9PassState(const DX9PassState&) = delete;
  DX9PassState& operator=(const DX9PassState&) = delete;
  ~DX9PassState() { Undo(); }

  void SceneBegun() { scene_ = true; }
  void SceneEnded() { scene_ = false; }
  void TargetSet() { target_ = true; }
  void TargetRestored() { target_ = false; }
  void StageBound(DWORD stage) { stages_ |= 1u << stage; }
  void StageCleared(DWORD stage) { stages_ &= ~(1u << stage); }
  void ShaderSet() { shader_ = true; }
  void ShaderCleared() { shader_ = false; }

  // Set a sampler or texture-stage state for the pass, keeping the value it had before the pass
  // changed it first, for RestoreStates.
  HRESULT SetSampler(DWORD sampler, D3DSAMPLERSTATETYPE type, DWORD value) {
    return Set(Kind::Sampler, sampler, type, value);
  }
  HRESULT SetStage(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) {
    return Set(Kind::Stage, stage, type, value);
  }
  // Keeps a render state's value before the caller changes it, for RestoreStates.
  HRESULT SaveRenderState(D3DRENDERSTATETYPE type) { return Save(Kind::Render, 0, type); }
  // Every state changed so far stays as it is now: nothing is put back for them.
  void KeepStates() { saved_ = 0; }
  // Puts back every state changed through SetSampler and SetStage or saved by SaveRenderState,
  // the last changed first. A
  // state that could not be put back stays recorded, so the pass's unwinding tries it again
  // instead of leaving the pass's value on the device.
  HRESULT RestoreStates() {
    HRESULT first = S_OK;
    Saved failed[kMaxSaved] = {};
    int kept = 0;
    for (int i = saved_ - 1; i >= 0; --i) {
      const Saved& s = savedStates_[i];
      const HRESULT hr = Apply(s.kind, s.index, s.type, s.value);
      if (FAILED(hr)) {
        if (SUCCEEDED(first)) first = hr;
        failed[kept++] = s;
      }
    }
    for (int i = 0; i < kept; ++i) savedStates_[i] = failed[kept - 1 - i];  // back in the order set
    saved_ = kept;
    return first;
  }

 private:
  // Failures here are not reported: the pass has already failed with its own text.
  void Undo() {
    if (scene_) context_.EndScene();
    if (target_) context_.UnsetRenderTarget();
    for (DWORD stage = 0; stages_ != 0; ++stage, stages_ >>= 1) {
      if (stages_ & 1u) context_.UnsetTexture(stage);
    }
    if (shader_) context_.UnsetPixelShader();
    RestoreStates();
  }

  enum class Kind { Sampler, Stage, Render };
  HRESULT Apply(Kind kind, DWORD index, DWORD type, DWORD value) {
    IDirect3DDevice9Ex* device = context_.device.Get();
    if (device == nullptr) return E_POINTER;
    switch (kind) {
      case Kind::Sampler:
        return device->SetSamplerState(index, static_cast<D3DSAMPLERSTATETYPE>(type), value);
      case Kind::Stage:
        return device->SetTextureStageState(index, static_cast<D3DTEXTURESTAGESTATETYPE>(type), value);
      default:
        return device->SetRenderState(static_cast<D3DRENDERSTATETYPE>(type), value);
    }
  }
  HRESULT Read(Kind kind, DWORD index, DWORD type, DWORD* value) {
    IDirect3DDevice9Ex* device = context_.device.Get();
    if (device == nullptr) return E_POINTER;
    switch (kind) {
      case Kind::Sampler:
        return device->GetSamplerState(index, static_cast<D3DSAMPLERSTATETYPE>(type), value);
      case Kind::Stage:
        return device->GetTextureStageState(index, static_cast<D3DTEXTURESTAGESTATETYPE>(type), value);
      default:
        return device->GetRenderState(static_cast<D3DRENDERSTATETYPE>(type), value);
    }
  }
  // Records the value a state has before its first change.
  HRESULT Save(Kind kind, DWORD index, DWORD type) {
    for (int i = 0; i < saved_; ++i) {
      const Saved& s = savedStates_[i];
      if (s.kind == kind && s.index == index && s.type == type) return S_OK;
    }
    if (saved_ == kMaxSaved) return E_UNEXPECTED;
    DWORD before = 0;
    const HRESULT hr = Read(kind, index, type, &before);
    if (FAILED(hr)) return hr;
    savedStates_[saved_++] = {kind, index, type, before};
    return S_OK;
  }
  HRESULT Set(Kind kind, DWORD index, DWORD type, DWORD value) {
    const HRESULT hr = Save(kind, index, type);
    return FAILED(hr) ? hr : Apply(kind, index, type, value);
  }

  struct Saved {
    Kind kind;
    DWORD index;
    DWORD type;
    DWORD value;
  };
  static constexpr int kMaxSaved = 4;

  DX9Context& context_;
  bool scene_ = false;
  bool target_ = false;
  bool shader_ = false;
  uint32_t stages_ = 0;
  Saved savedStates_[kMaxSaved] = {};
  int saved_ = 0;
};
