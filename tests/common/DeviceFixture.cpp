#include "DeviceFixture.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

using Microsoft::WRL::ComPtr;

namespace vmdxtest {

bool RunningUnderWine() {
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

std::vector<uint32_t> ReadBack(IDirect3DDevice9* device, IDirect3DSurface9* surface) {
  D3DSURFACE_DESC desc{};
  EXPECT_HRESULT_SUCCEEDED(surface->GetDesc(&desc));
  ComPtr<IDirect3DSurface9> copy;
  EXPECT_HRESULT_SUCCEEDED(device->CreateOffscreenPlainSurface(desc.Width, desc.Height, desc.Format,
                                                               D3DPOOL_SYSTEMMEM, &copy, nullptr));
  if (!copy) return {};
  EXPECT_HRESULT_SUCCEEDED(device->GetRenderTargetData(surface, copy.Get()));
  std::vector<uint32_t> pixels(desc.Width * desc.Height);
  const vmdx::LockedRect locked(copy.Get(), D3DLOCK_READONLY);
  if (FAILED(locked.status())) return {};
  for (UINT y = 0; y < desc.Height; ++y) std::memcpy(&pixels[y * desc.Width], locked.scanline(y), desc.Width * 4);
  return pixels;
}

std::vector<uint32_t> ReadBack(IDirect3DDevice9* device, IDirect3DTexture9* texture) {
  ComPtr<IDirect3DSurface9> level;
  EXPECT_HRESULT_SUCCEEDED(texture->GetSurfaceLevel(0, &level));
  return level ? ReadBack(device, level.Get()) : std::vector<uint32_t>{};
}

int ChannelDistance(uint32_t a, uint32_t b) {
  int worst = 0;
  for (int shift = 0; shift < 32; shift += 8) {
    worst = std::max(worst, std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF)));
  }
  return worst;
}

void DeviceFixture::SetUp() {
  openAtStart_ = OpenObjects();
  if (!context_.direct3DEx) GTEST_SKIP() << "no Direct3D 9Ex factory (d3d9.dll or Direct3DCreate9Ex missing)";
  const HRESULT hr = context_.InitializeOffscreenDevice(OffscreenDeviceSettings{});
  if (FAILED(hr) || !context_.device) {
    GTEST_SKIP() << "no offscreen Direct3D 9Ex device on this machine (0x" << std::hex << hr << ")";
  }
}

void DeviceFixture::TearDown() {
  EXPECT_EQ(openAtStart_, OpenObjects()) << "module objects left open";
  if (context_.device) ReleaseDevice(context_);
}

void DeviceFixture::ReleaseDevice(DX9Context& context) {
  context.initialRenderTarget.Reset();
  context.vertexBuffer.Reset();
  IDirect3DDevice9Ex* device = context.device.Detach();
  if (device != nullptr) {
    EXPECT_EQ(0u, device->Release()) << "something still holds the device";
  }
}

ComPtr<IDirect3DTexture9> DeviceFixture::CreateTexture(uint32_t width, uint32_t height, D3DFORMAT format, DWORD usage,
                                                       D3DPOOL pool) {
  ComPtr<IDirect3DTexture9> texture;
  EXPECT_HR(S_OK, context_.device->CreateTexture(width, height, 1, usage, format, pool, &texture, nullptr))
      << "CreateTexture " << format;
  return texture;
}

ComPtr<IDirect3DTexture9> DeviceFixture::MakeTexture(uint32_t width, uint32_t height, D3DFORMAT format,
                                                     const std::vector<uint32_t>& pixels) {
  ComPtr<IDirect3DTexture9> texture = CreateTexture(width, height, format, D3DUSAGE_DYNAMIC);
  if (!texture) return texture;
  const vmdx::LockedRect locked(texture.Get(), 0, D3DLOCK_DISCARD);
  EXPECT_HR(S_OK, locked.status());
  for (uint32_t y = 0; locked.bits() && y < height; ++y) std::memcpy(locked.scanline(y), &pixels[y * width], width * 4);
  return texture;
}

ComPtr<IDirect3DTexture9> DeviceFixture::MakeRenderTarget(uint32_t width, uint32_t height) {
  return CreateTexture(width, height, D3DFMT_A8R8G8B8, D3DUSAGE_RENDERTARGET);
}

std::vector<uint32_t> DeviceFixture::DrawFullTarget(IDirect3DTexture9* target, IDirect3DPixelShader9* shader) {
  D3DSURFACE_DESC desc{};
  EXPECT_HRESULT_SUCCEEDED(target->GetLevelDesc(0, &desc));
  ComPtr<IDirect3DVertexBuffer9> vb;
  EXPECT_HRESULT_SUCCEEDED(context_.ObtainPCT4VertexBuffer(&vb));
  EXPECT_HRESULT_SUCCEEDED(context_.SetRenderTarget(target));
  EXPECT_HRESULT_SUCCEEDED(context_.SetPixelShader(shader));
  EXPECT_HRESULT_SUCCEEDED(context_.BeginScene());
  EXPECT_HRESULT_SUCCEEDED(context_.FillRectangle(vb.Get(), -0.5f, -0.5f, desc.Width - 0.5f, desc.Height - 0.5f));
  EXPECT_HRESULT_SUCCEEDED(context_.EndScene());
  EXPECT_HRESULT_SUCCEEDED(context_.UnsetRenderTarget());
  EXPECT_HRESULT_SUCCEEDED(context_.UnsetPixelShader());
  return ReadBack(context_.device.Get(), target);
}

}  // namespace vmdxtest
