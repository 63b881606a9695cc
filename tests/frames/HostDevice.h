// A Direct3D 9Ex device made the way a host makes its own, for wrapping its textures as frames.
#pragma once
#include <d3d9.h>
#include <wrl/client.h>

#include "TestSupport.h"

// Makes a device per test (skipping with the reason when none can be made) and checks at the
// end that the device's last release returns 0 and no module object is left open.
class HostDeviceTest : public ::testing::Test {
 public:
  void SetUp() override;
  void TearDown() override;

  Microsoft::WRL::ComPtr<IDirect3DTexture9> MakeTexture(UINT width, UINT height, D3DFORMAT format, DWORD usage,
                                                        D3DPOOL pool = D3DPOOL_DEFAULT);

  Microsoft::WRL::ComPtr<IDirect3D9Ex> d3d_;
  Microsoft::WRL::ComPtr<IDirect3DDevice9Ex> device_;
  int openAtStart_ = 0;
};
