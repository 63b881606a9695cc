// GPU test fixture of every suite: a real offscreen device in a DX9Context, skipped with the
// reason when the machine gives none; at the end the device's last Release must return 0 and the
// module's open-object count must be back where it started.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <wrl/client.h>

#include "TestSupport.h"
#include "VodideDX9Context.h"

namespace vmdxtest {

// True under Wine (ntdll exports wine_get_version).
bool RunningUnderWine();

// Reads a render-target texture (or surface) of 32-bit pixels back through system memory.
std::vector<uint32_t> ReadBack(IDirect3DDevice9* device, IDirect3DSurface9* surface);
std::vector<uint32_t> ReadBack(IDirect3DDevice9* device, IDirect3DTexture9* texture);

// Per-channel distance of two A8R8G8B8 pixels (the largest of the four).
int ChannelDistance(uint32_t a, uint32_t b);

class DeviceFixture : public ::testing::Test {
 public:
  void SetUp() override;
  void TearDown() override;

  // Empties the context and checks that its device goes with its last reference. Everything
  // the test made on the device must be released first.
  void ReleaseDevice(DX9Context& context);

  // An empty one-level texture.
  Microsoft::WRL::ComPtr<IDirect3DTexture9> CreateTexture(uint32_t width, uint32_t height, D3DFORMAT format,
                                                           DWORD usage, D3DPOOL pool = D3DPOOL_DEFAULT);
  // A dynamic texture filled with pixels (row-major, width x height).
  Microsoft::WRL::ComPtr<IDirect3DTexture9> MakeTexture(uint32_t width, uint32_t height, D3DFORMAT format,
                                                         const std::vector<uint32_t>& pixels);
  Microsoft::WRL::ComPtr<IDirect3DTexture9> MakeRenderTarget(uint32_t width, uint32_t height);
  // Draws one quad covering target pixel for pixel with the shader bound, then reads it back.
  std::vector<uint32_t> DrawFullTarget(IDirect3DTexture9* target, IDirect3DPixelShader9* shader);

  DX9Context context_;
  int openAtStart_ = 0;
};

}  // namespace vmdxtest
