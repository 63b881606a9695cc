// DX9Context: one Direct3D 9Ex device with what every GPU operation needs beside it (the
// factories, the device's initial render target, an identity for caches, a small dynamic
// vertex buffer for quads), and the helpers render passes are built from.
#pragma once
#include <wrl/client.h>

#include "IMediaDirectX9VideoFrame.h"
#include "VarnicaMediaDirectX9.h"
#include "VodideDirectX9.h"

class DX9Context {
 public:
  // Takes references on the process-wide factories; no device yet.
  DX9Context();
  // Wraps an existing device; no factories and no initial render target.
  explicit DX9Context(IDirect3DDevice9Ex* device);
  DX9Context(const DX9Context& other);
  DX9Context& operator=(const DX9Context& other);
  ~DX9Context();

  // Releases the device, the initial render target and the vertex buffer; the factories stay,
  // so a new InitializeOffscreenDevice may follow.
  void Close();

  HRESULT InitializeOffscreenDevice(const OffscreenDeviceSettings& settings);

  // Binds the texture of a GPU frame.
  HRESULT SetTexture(DWORD stage, IMediaDirectX9VideoFrame* frame);
  // The texture of any frame: a GPU frame gives its own, a CPU frame is uploaded into a new one.
  HRESULT GetTextureFromFrame(IDirect3DTexture9** texture, IUnknown* frame, uint32_t option);
  HRESULT SetTexture(DWORD stage, IUnknown* frame, uint32_t option);

  // Row-major matrices, uploaded transposed (register k holds column k).
  HRESULT SetPixelShaderMatrix3x3(UINT startRegister, const float m[9]);
  HRESULT SetPixelShaderMatrix4x4(UINT startRegister, const float m[16]);
  // count (state, value) pairs, applied in order.
  HRESULT SetRenderStates(const uint32_t* pairs, uint32_t count);

  // The context's own 4-vertex buffer, made on first use.
  HRESULT ObtainPCT4VertexBuffer(IDirect3DVertexBuffer9** vb);
  HRESULT CreatePCT4VertexBuffer(IDirect3DVertexBuffer9** vb, int32_t count);
  HRESULT DrawPCT4Primitive(IDirect3DVertexBuffer9* vb, const PCT4Vertex* vertices, uint32_t count,
                            D3DPRIMITIVETYPE primitiveType, uint32_t primitiveCount);
  // A textured quad (u, v from 0 to 1) over the rectangle. Cover a w x h target pixel for pixel
  // with (-0.5, -0.5, w - 0.5, h - 0.5).
  HRESULT FillRectangle(IDirect3DVertexBuffer9* vb, float left, float top, float right, float bottom);

  // Set and unset helpers (see VarnicaMediaDirectX9.h).
  HRESULT BeginScene() { return vmdx::BeginScene(device.Get()); }
  HRESULT EndScene() { return vmdx::EndScene(device.Get()); }
  HRESULT SetRenderTarget(IDirect3DTexture9* texture) { return vmdx::SetRenderTarget(device.Get(), texture); }
  HRESULT UnsetRenderTarget() { return vmdx::UnsetRenderTarget(device.Get(), initialRenderTarget.Get()); }
  HRESULT SetPixelShader(IDirect3DPixelShader9* shader) { return vmdx::SetPixelShader(device.Get(), shader); }
  HRESULT UnsetPixelShader() { return vmdx::UnsetPixelShader(device.Get()); }
  HRESULT SetTexture(DWORD stage, IDirect3DBaseTexture9* texture) {
    return vmdx::SetTexture(device.Get(), stage, texture);
  }
  HRESULT UnsetTexture(DWORD stage) { return vmdx::UnsetTexture(device.Get(), stage); }
  HRESULT SetPixelShaderConstantF(UINT startRegister, const float* data, UINT count) {
    return vmdx::SetPixelShaderConstantF(device.Get(), startRegister, data, count);
  }
  HRESULT SetSamplerState_MinFilter(DWORD sampler, D3DTEXTUREFILTERTYPE filter) {
    return vmdx::SetSamplerState_MinFilter(device.Get(), sampler, filter);
  }
  HRESULT SetSamplerState_MagFilter(DWORD sampler, D3DTEXTUREFILTERTYPE filter) {
    return vmdx::SetSamplerState_MagFilter(device.Get(), sampler, filter);
  }

  Microsoft::WRL::ComPtr<IDirect3D9> direct3D;
  Microsoft::WRL::ComPtr<IDirect3D9Ex> direct3DEx;
  Microsoft::WRL::ComPtr<IDirect3DDevice9Ex> device;
  Microsoft::WRL::ComPtr<IDirect3DSurface9> initialRenderTarget;
  GUID deviceId{};  // new for every device, so caches never mix resources of two devices
  Microsoft::WRL::ComPtr<IDirect3DVertexBuffer9> vertexBuffer;
  D3DPOOL pool = D3DPOOL_DEFAULT;
  DWORD usage = D3DUSAGE_DYNAMIC;
};
