// Public header of TamrelVarnicaMediaDirectX: media formats and their Direct3D 9 mapping,
// the pre-transformed vertex of all drawing, and small Direct3D helpers.
#pragma once
#include <cstdint>
#include <d3d9.h>
#include "VarnicaMediaFormats.h"

// One row of the media-format table.
struct DirectXFormatRow {
  D3DFORMAT d3dFormat;     // format of a texture or surface holding such a frame
  GUID mediaFormat;        // the row's key
  GUID nativeFormat;       // how a frame of this format is held on the GPU
  GUID unpackedFormat;     // what a CPU frame is expanded into on upload without a target format
  int32_t matrixType;      // matrix element type of one plane (depth and channels)
};

constexpr int kDirectXFormatTableRows = 19;
extern const DirectXFormatRow DirectXFormatTable[kDirectXFormatTableRows];

// Matrix element types of the table (depth in the low three bits, channels - 1 above them).
enum : int32_t {
  MatrixType_8UC1 = 0,
  MatrixType_16UC2 = 10,
  MatrixType_32FC2 = 13,
  MatrixType_8UC3 = 16,
  MatrixType_16UC3 = 18,
  MatrixType_8UC4 = 24,
  MatrixType_16UC4 = 26,
  MatrixType_32FC4 = 29,
};

// Lookups: 0 on success; E_POINTER (nothing written) for a null output; E_VALUE_NOT_FOUND
// (output untouched) when no row has the key. Rows are scanned from the last to the first,
// so a Direct3D format or matrix type shared by several rows answers with the last of them.
HRESULT GetDirectXFormatFromMedia(D3DFORMAT* out, const GUID& mediaFormat);
HRESULT GetDirectXNativeMediaFormatFrom(GUID* out, const GUID& mediaFormat);
HRESULT GetDirectXUnpackedMediaFormatFrom(GUID* out, const GUID& mediaFormat);
HRESULT GetMediaFormatDirectX(GUID* out, D3DFORMAT format);
HRESULT GetOcvFormatFromMedia(int32_t* out, const GUID& mediaFormat);
HRESULT GetOcvFormatFromDirectX(int32_t* out, D3DFORMAT format);
HRESULT GetDirectXFormatFromOcv(D3DFORMAT* out, int32_t matrixType);
// native 0: the row's media format; otherwise the row's native format.
HRESULT GetMediaFormatFromOcv(GUID* out, int32_t matrixType, uint8_t native);

// Pre-transformed, coloured, textured vertex (FVF 0x144).
struct PCT4Vertex {
  float x, y, z, rhw;
  D3DCOLOR diffuse;
  float u, v;
};
static_assert(sizeof(PCT4Vertex) == 28);
constexpr DWORD kPCT4VertexFVF = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;
static_assert(kPCT4VertexFVF == 0x144);

// Field selection of an upload: mode 1 or 2 asks for one field, field 1 is the field of the
// first line, field 2 the field of the second line.
struct FieldSelect {
  uint8_t mode;
  uint8_t field;
};

// Set and unset helpers of a render pass: thin calls on a device. Each returns the device's
// status; without a device BeginScene and EndScene answer E_INVALIDARG, the others E_POINTER.
// Callers raise a failure with the helper's name as text.
namespace vmdx {

inline HRESULT BeginScene(IDirect3DDevice9* device) { return device ? device->BeginScene() : E_INVALIDARG; }
inline HRESULT EndScene(IDirect3DDevice9* device) { return device ? device->EndScene() : E_INVALIDARG; }

// Render target 0 becomes level 0 of texture.
inline HRESULT SetRenderTarget(IDirect3DDevice9* device, IDirect3DTexture9* texture) {
  if (!device || !texture) return E_POINTER;
  IDirect3DSurface9* surface = nullptr;
  HRESULT hr = texture->GetSurfaceLevel(0, &surface);
  if (FAILED(hr)) return hr;
  hr = device->SetRenderTarget(0, surface);
  surface->Release();
  return hr;
}
// Restores the device's initial render target; nothing to do when there is none.
inline HRESULT UnsetRenderTarget(IDirect3DDevice9* device, IDirect3DSurface9* initialRenderTarget) {
  if (!device) return E_POINTER;
  return initialRenderTarget ? device->SetRenderTarget(0, initialRenderTarget) : S_OK;
}
inline HRESULT SetPixelShader(IDirect3DDevice9* device, IDirect3DPixelShader9* shader) {
  return device ? device->SetPixelShader(shader) : E_POINTER;
}
inline HRESULT UnsetPixelShader(IDirect3DDevice9* device) { return device ? device->SetPixelShader(nullptr) : E_POINTER; }
inline HRESULT SetTexture(IDirect3DDevice9* device, DWORD stage, IDirect3DBaseTexture9* texture) {
  return device ? device->SetTexture(stage, texture) : E_POINTER;
}
inline HRESULT UnsetTexture(IDirect3DDevice9* device, DWORD stage) {
  return device ? device->SetTexture(stage, nullptr) : E_POINTER;
}
inline HRESULT SetPixelShaderConstantF(IDirect3DDevice9* device, UINT startRegister, const float* data, UINT count) {
  return device ? device->SetPixelShaderConstantF(startRegister, data, count) : E_POINTER;
}
inline HRESULT SetSamplerState_MinFilter(IDirect3DDevice9* device, DWORD sampler, D3DTEXTUREFILTERTYPE filter) {
  return device ? device->SetSamplerState(sampler, D3DSAMP_MINFILTER, filter) : E_POINTER;
}
inline HRESULT SetSamplerState_MagFilter(IDirect3DDevice9* device, DWORD sampler, D3DTEXTUREFILTERTYPE filter) {
  return device ? device->SetSamplerState(sampler, D3DSAMP_MAGFILTER, filter) : E_POINTER;
}

// Holds LockRect of a surface (or of one level of a texture) for a scope; unlocks when it goes.
// scanline(row) applies the pitch.
class LockedRect {
 public:
  LockedRect(IDirect3DSurface9* surface, DWORD flags, const RECT* rect = nullptr) : surface_(surface) {
    status_ = surface ? surface->LockRect(&locked_, rect, flags) : E_POINTER;
    if (FAILED(status_)) surface_ = nullptr;
  }
  LockedRect(IDirect3DTexture9* texture, UINT level, DWORD flags, const RECT* rect = nullptr)
      : texture_(texture), level_(level) {
    status_ = texture ? texture->LockRect(level, &locked_, rect, flags) : E_POINTER;
    if (FAILED(status_)) texture_ = nullptr;
  }
  ~LockedRect() {
    if (surface_) surface_->UnlockRect();
    if (texture_) texture_->UnlockRect(level_);
  }
  LockedRect(const LockedRect&) = delete;
  LockedRect& operator=(const LockedRect&) = delete;

  HRESULT status() const { return status_; }
  uint8_t* bits() const { return static_cast<uint8_t*>(locked_.pBits); }
  int32_t pitch() const { return locked_.Pitch; }
  uint8_t* scanline(uint32_t row) const { return bits() + int64_t{row} * locked_.Pitch; }

 private:
  IDirect3DSurface9* surface_ = nullptr;
  IDirect3DTexture9* texture_ = nullptr;
  UINT level_ = 0;
  D3DLOCKED_RECT locked_{};
  HRESULT status_ = E_FAIL;
};

}  // namespace vmdx
