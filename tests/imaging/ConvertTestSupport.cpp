#include "ConvertTestSupport.h"

#include <cstring>
#include <random>

using Microsoft::WRL::ComPtr;

namespace imagingtest {

uint32_t BytesPerPixel(D3DFORMAT format) {
  switch (format) {
    case D3DFMT_A8:
      return 1;
    case D3DFMT_A16B16G16R16:
      return 8;
    default:
      return 4;
  }
}

TextureBytes ReadTexture(IDirect3DDevice9* device, IDirect3DTexture9* texture) {
  TextureBytes out;
  EXPECT_HRESULT_SUCCEEDED(texture->GetLevelDesc(0, &out.desc));
  out.bytesPerPixel = BytesPerPixel(out.desc.Format);
  ComPtr<IDirect3DSurface9> level, copy;
  EXPECT_HRESULT_SUCCEEDED(texture->GetSurfaceLevel(0, &level));
  IDirect3DSurface9* readable = level.Get();
  if (out.desc.Usage & D3DUSAGE_RENDERTARGET) {
    EXPECT_HRESULT_SUCCEEDED(device->CreateOffscreenPlainSurface(out.desc.Width, out.desc.Height, out.desc.Format,
                                                                 D3DPOOL_SYSTEMMEM, &copy, nullptr));
    if (!copy) return out;
    EXPECT_HRESULT_SUCCEEDED(device->GetRenderTargetData(level.Get(), copy.Get()));
    readable = copy.Get();
  }
  vmdx::LockedRect locked(readable, D3DLOCK_READONLY);
  EXPECT_HRESULT_SUCCEEDED(locked.status());
  if (FAILED(locked.status())) return out;
  const size_t rowBytes = size_t{out.desc.Width} * out.bytesPerPixel;
  out.bytes.resize(rowBytes * out.desc.Height);
  for (UINT y = 0; y < out.desc.Height; ++y) std::memcpy(out.bytes.data() + y * rowBytes, locked.scanline(y), rowBytes);
  return out;
}

std::vector<uint8_t> RandomBytes(size_t count, uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<uint8_t> bytes(count);
  for (uint8_t& b : bytes) b = static_cast<uint8_t>(random());
  return bytes;
}

DeviceBindings DeviceBindings::Of(IDirect3DDevice9* device) {
  DeviceBindings b;
  EXPECT_HRESULT_SUCCEEDED(device->GetRenderTarget(0, &b.target));
  for (DWORD stage = 0; stage < 2; ++stage) {
    EXPECT_HRESULT_SUCCEEDED(device->GetTexture(stage, &b.stages[stage]));
    EXPECT_HRESULT_SUCCEEDED(device->GetSamplerState(stage, D3DSAMP_ADDRESSU, &b.address[stage][0]));
    EXPECT_HRESULT_SUCCEEDED(device->GetSamplerState(stage, D3DSAMP_ADDRESSV, &b.address[stage][1]));
  }
  EXPECT_HRESULT_SUCCEEDED(device->GetPixelShader(&b.shader));
  EXPECT_HRESULT_SUCCEEDED(device->GetTextureStageState(0, D3DTSS_COLORARG1, &b.colorArg));
  return b;
}

bool DeviceBindings::operator==(const DeviceBindings& o) const {
  return target == o.target && stages[0] == o.stages[0] && stages[1] == o.stages[1] && shader == o.shader &&
         std::memcmp(address, o.address, sizeof address) == 0 && colorArg == o.colorArg;
}

void ImagingFixture::SetUp() {
  openAtStart_ = vmdxtest::OpenObjects();
  DeviceFixture::SetUp();
}

void ImagingFixture::TearDown() {
  cache_.Close();
  DeviceFixture::TearDown();
  EXPECT_EQ(openAtStart_, vmdxtest::OpenObjects()) << "objects left open";
}

ComPtr<IDirect3DTexture9> ImagingFixture::MakeFilled(uint32_t width, uint32_t height, D3DFORMAT format,
                                                     const std::vector<uint8_t>& bytes) {
  ComPtr<IDirect3DTexture9> texture;
  EXPECT_HRESULT_SUCCEEDED(
      context_.device->CreateTexture(width, height, 1, D3DUSAGE_DYNAMIC, format, D3DPOOL_DEFAULT, &texture, nullptr));
  if (!texture) return texture;
  const size_t rowBytes = size_t{width} * BytesPerPixel(format);
  vmdx::LockedRect locked(texture.Get(), 0, D3DLOCK_DISCARD);
  EXPECT_HRESULT_SUCCEEDED(locked.status());
  for (uint32_t y = 0; y < height && SUCCEEDED(locked.status()); ++y)
    std::memcpy(locked.scanline(y), bytes.data() + y * rowBytes, rowBytes);
  return texture;
}

ComPtr<IDirect3DTexture9> ImagingFixture::MakeTarget(uint32_t width, uint32_t height, D3DFORMAT format) {
  ComPtr<IDirect3DTexture9> texture;
  EXPECT_HRESULT_SUCCEEDED(context_.device->CreateTexture(width, height, 1, D3DUSAGE_RENDERTARGET, format,
                                                          D3DPOOL_DEFAULT, &texture, nullptr));
  return texture;
}

}  // namespace imagingtest
