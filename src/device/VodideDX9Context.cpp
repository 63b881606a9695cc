#include "VodideDX9Context.h"

#include <cstring>

#include "Diagnostics.h"
#include "Error.h"
#include "VodideCreateTextureFromFrame.h"
#include "VodideDeviceInfo.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr char kSourceFile[] = "src/VodideDX9Context";

constexpr UINT kPCT4VertexSize = sizeof(PCT4Vertex);
constexpr UINT kQuadVertices = 4;

IDirect3DDevice9Ex* RequireDevice(const DX9Context& context) {
  if (!context.device) ThrowError(E_POINTER, VLOC, "Device3D");
  return context.device.Get();
}

// Keeps a vertex buffer locked for the scope.
class VertexBufferLock {
 public:
  VertexBufferLock(IDirect3DVertexBuffer9* vb, DWORD flags) : vb_(vb) {
    CheckHr(vb_->Lock(0, 0, &data_, flags), VLOC, "Enter");
  }
  ~VertexBufferLock() { vb_->Unlock(); }
  VertexBufferLock(const VertexBufferLock&) = delete;
  VertexBufferLock& operator=(const VertexBufferLock&) = delete;
  void* Data() const { return data_; }

 private:
  IDirect3DVertexBuffer9* vb_;
  void* data_ = nullptr;
};

}  // namespace

DX9Context::DX9Context() : direct3D(DirectX9().Direct3D()), direct3DEx(DirectX9().Direct3DEx()) {}

DX9Context::DX9Context(IDirect3DDevice9Ex* existing) : device(existing) {}

DX9Context::DX9Context(const DX9Context& other) = default;
DX9Context& DX9Context::operator=(const DX9Context& other) = default;

DX9Context::~DX9Context() {
  Close();
  direct3DEx.Reset();
  direct3D.Reset();
}

void DX9Context::Close() {
  device.Reset();
  initialRenderTarget.Reset();
  vertexBuffer.Reset();
}

HRESULT DX9Context::InitializeOffscreenDevice(const OffscreenDeviceSettings& settings) {
  return GuardedCall([&]() -> HRESULT {
    if (device) ThrowError(E_ACCESSDENIED, VLOC, "Already created");
    ComPtr<IDirect3DDevice9Ex> created;
    CheckHr(CreateOffscreenDirectX9ExDevice(direct3DEx.Get(), &created, &settings), VLOC,
            "CreateOffscreenDirectX9ExDevice");
    if (!created) ThrowError(E_POINTER, VLOC, "CreateOffscreenDirectX9ExDevice");
    // From here on the device stays, even when a later step fails.
    device = created;
    CheckHr(device->GetRenderTarget(0, &initialRenderTarget), VLOC, "GetRenderTarget");
    CheckHr(CoCreateGuid(&deviceId), VLOC, "CreateGuid");
    if (LogEnabled(LOG_TRACE)) {
      D3DCAPS9 caps{};
      CheckHr(device->GetDeviceCaps(&caps), VLOC, "GetDeviceCaps");
      D3DADAPTER_IDENTIFIER9 identifier{};
      if (!direct3DEx) ThrowError(E_POINTER, VLOC, "GetAdapterIdentifier");
      CheckHr(direct3DEx->GetAdapterIdentifier(caps.AdapterOrdinal, 0, &identifier), VLOC, "GetAdapterIdentifier");
      LogPrint(LOG_TRACE, VLOC, "%s", OffscreenDeviceBlock(identifier, caps).c_str());
    }
    return S_OK;
  });
}

HRESULT DX9Context::SetTexture(DWORD stage, IMediaDirectX9VideoFrame* frame) {
  return GuardedCall([&]() -> HRESULT {
    CheckPointer(frame, VLOC, "pFrame");
    ComPtr<IDirect3DTexture9> texture;
    CheckHr(frame->GetTexture(&texture), VLOC, "GetTexture");
    if (!texture) ThrowError(E_INVALIDARG, VLOC, "Frame without Texture");
    CheckHr(RequireDevice(*this)->SetTexture(stage, texture.Get()), VLOC, "SetTexture");
    return S_OK;
  });
}

HRESULT DX9Context::GetTextureFromFrame(IDirect3DTexture9** texture, IUnknown* frame, uint32_t option) {
  (void)option;  // the upload of a CPU frame always takes the whole frame
  return GuardedCall([&]() -> HRESULT {
    CheckPointer(texture, VLOC, "ppTex");
    CheckPointer(frame, VLOC, "pFrame");
    ComPtr<IMediaDirectX9VideoFrame> gpuFrame;
    if (SUCCEEDED(frame->QueryInterface(IID_IMediaDirectX9VideoFrame, reinterpret_cast<void**>(gpuFrame.GetAddressOf())))) {
      ComPtr<IDirect3DTexture9> own;
      CheckHr(gpuFrame->GetTexture(&own), VLOC, "GetTexture");
      if (!own) ThrowError(E_INVALIDARG, VLOC, "Frame without Texture");
      *texture = own.Detach();
      return S_OK;
    }
    // Anything else is a CPU frame: uploaded whole into a texture of its unpacked format.
    return CheckHr(CreateTextureFromFrame(this, texture, frame, nullptr, nullptr), VLOC, "CreateTextureFromFrame");
  });
}

HRESULT DX9Context::SetTexture(DWORD stage, IUnknown* frame, uint32_t option) {
  return GuardedCall([&]() -> HRESULT {
    ComPtr<IDirect3DTexture9> texture;
    CheckHr(GetTextureFromFrame(&texture, frame, option), VLOC, "GetTextureFromFrame");
    CheckHr(RequireDevice(*this)->SetTexture(stage, texture.Get()), VLOC, "SetTexture");
    return S_OK;
  });
}

HRESULT DX9Context::SetPixelShaderMatrix3x3(UINT startRegister, const float m[9]) {
  if (!device) return E_POINTER;
  if (m == nullptr) return E_POINTER;
  float data[12];
  for (int k = 0; k < 3; ++k) {
    data[4 * k + 0] = m[k];
    data[4 * k + 1] = m[3 + k];
    data[4 * k + 2] = m[6 + k];
    data[4 * k + 3] = 0.0f;
  }
  return device->SetPixelShaderConstantF(startRegister, data, 3);
}

HRESULT DX9Context::SetPixelShaderMatrix4x4(UINT startRegister, const float m[16]) {
  if (!device) return E_POINTER;
  if (m == nullptr) return E_POINTER;
  float data[16];
  for (int k = 0; k < 4; ++k) {
    for (int r = 0; r < 4; ++r) data[4 * k + r] = m[4 * r + k];
  }
  return device->SetPixelShaderConstantF(startRegister, data, 4);
}

HRESULT DX9Context::SetRenderStates(const uint32_t* pairs, uint32_t count) {
  return GuardedCall([&]() -> HRESULT {
    CheckPointer(pairs, VLOC, "pv");
    IDirect3DDevice9Ex* d = RequireDevice(*this);
    for (uint32_t i = 0; i < count; ++i) {
      CheckHr(d->SetRenderState(static_cast<D3DRENDERSTATETYPE>(pairs[2 * i]), pairs[2 * i + 1]), VLOC,
              "SetRenderState");
    }
    return S_OK;
  });
}

HRESULT DX9Context::ObtainPCT4VertexBuffer(IDirect3DVertexBuffer9** vb) {
  return GuardedCall([&]() -> HRESULT {
    CheckPointer(vb, VLOC, "ppVB");
    if (!vertexBuffer) {
      if (!device) ThrowError(E_POINTER, VLOC, "CreateVertexBuffer");
      CheckHr(device->CreateVertexBuffer(kQuadVertices * kPCT4VertexSize, usage, kPCT4VertexFVF, pool,
                                         &vertexBuffer, nullptr),
              VLOC, "CreateVertexBuffer");
    }
    *vb = ComPtr<IDirect3DVertexBuffer9>(vertexBuffer).Detach();
    return S_OK;
  });
}

HRESULT DX9Context::CreatePCT4VertexBuffer(IDirect3DVertexBuffer9** vb, int32_t count) {
  return GuardedCall([&]() -> HRESULT {
    CheckPointer(vb, VLOC, "ppVB");
    IDirect3DDevice9Ex* d = RequireDevice(*this);
    if (count < 1) ThrowError(E_INVALIDARG, VLOC, "count");
    CheckHr(d->CreateVertexBuffer(static_cast<UINT>(count) * kPCT4VertexSize, usage, kPCT4VertexFVF, pool, vb,
                                  nullptr),
            VLOC, "CreateVertexBuffer");
    return S_OK;
  });
}

HRESULT DX9Context::DrawPCT4Primitive(IDirect3DVertexBuffer9* vb, const PCT4Vertex* vertices, uint32_t count,
                                      D3DPRIMITIVETYPE primitiveType, uint32_t primitiveCount) {
  return GuardedCall([&]() -> HRESULT {
    CheckPointer(vb, VLOC, "pVB");
    CheckPointer(vertices, VLOC, "pVertex");
    IDirect3DDevice9Ex* d = RequireDevice(*this);
    // More vertices than the buffer holds would write past its end.
    D3DVERTEXBUFFER_DESC desc{};
    CheckHr(vb->GetDesc(&desc), VLOC, "GetDesc");
    if (static_cast<uint64_t>(count) * kPCT4VertexSize > desc.Size) ThrowError(E_INVALIDARG, VLOC, "count");
    {
      VertexBufferLock lock(vb, D3DLOCK_DISCARD);
      std::memcpy(lock.Data(), vertices, count * kPCT4VertexSize);
    }
    CheckHr(d->SetStreamSource(0, vb, 0, kPCT4VertexSize), VLOC, "SetStreamSource");
    CheckHr(d->SetFVF(kPCT4VertexFVF), VLOC, "SetFVF");
    CheckHr(d->DrawPrimitive(primitiveType, 0, primitiveCount), VLOC, "DrawPrimitive");
    return S_OK;
  });
}

HRESULT DX9Context::FillRectangle(IDirect3DVertexBuffer9* vb, float left, float top, float right, float bottom) {
  const PCT4Vertex quad[kQuadVertices] = {
      {left, top, 0.0f, 1.0f, 0xFFFFFFFF, 0.0f, 0.0f},
      {right, top, 0.0f, 1.0f, 0xFFFFFFFF, 1.0f, 0.0f},
      {left, bottom, 0.0f, 1.0f, 0xFFFFFFFF, 0.0f, 1.0f},
      {right, bottom, 0.0f, 1.0f, 0xFFFFFFFF, 1.0f, 1.0f},
  };
  return DrawPCT4Primitive(vb, quad, kQuadVertices, D3DPT_TRIANGLESTRIP, 2);
}
