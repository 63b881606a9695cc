// DX9Image: one texture together with the identity of the device it was made on.
#pragma once
#include <wrl/client.h>

#include "VodideDX9Context.h"

class DX9Image {
 public:
  // Holds texture (a new reference) in place of the one held before.
  HRESULT OpenFromTex(const DX9Context& context, IDirect3DTexture9* texture);
  // Empty again: the texture released, no device.
  void Close() {
    texture_.Reset();
    device_ = nullptr;
  }

  IDirect3DTexture9* Texture() const { return texture_.Get(); }
  IDirect3DDevice9Ex* Device() const { return device_; }
  const GUID& DeviceId() const { return deviceId_; }

 private:
  Microsoft::WRL::ComPtr<IDirect3DTexture9> texture_;
  IDirect3DDevice9Ex* device_ = nullptr;  // not owned
  GUID deviceId_{};
};
