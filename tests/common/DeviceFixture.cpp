#include "DeviceFixture.h"

#include <cstring>
#include <random>

#include "ConvertionCopyCpuVidFrameMemory.h"
#include "Error.h"
#include "FakeCpuFrame.h"

using Microsoft::WRL::ComPtr;

namespace vmdxtest {

bool RunningUnderWine() {
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

uint32_t BytesPerPixel(D3DFORMAT format) {
  switch (format) {
    case D3DFMT_A8:
      return 1;
    case D3DFMT_A16B16G16R16:
    case D3DFMT_G32R32F:
      return 8;
    case D3DFMT_A32B32G32R32F:
      return 16;
    default:
      return 4;
  }
}

SurfaceBytes ReadSurface(IDirect3DDevice9* device, IDirect3DSurface9* surface) {
  SurfaceBytes out;
  EXPECT_HRESULT_SUCCEEDED(surface->GetDesc(&out.desc));
  out.bytesPerPixel = BytesPerPixel(out.desc.Format);
  ComPtr<IDirect3DSurface9> copy;
  IDirect3DSurface9* readable = surface;
  if (out.desc.Pool == D3DPOOL_DEFAULT && !(out.desc.Usage & D3DUSAGE_DYNAMIC)) {  // not lockable
    EXPECT_HRESULT_SUCCEEDED(device->CreateOffscreenPlainSurface(out.desc.Width, out.desc.Height, out.desc.Format,
                                                                 D3DPOOL_SYSTEMMEM, &copy, nullptr));
    if (!copy) return out;
    EXPECT_HRESULT_SUCCEEDED(device->GetRenderTargetData(surface, copy.Get()));
    readable = copy.Get();
  }
  const vmdx::LockedRect locked(readable, D3DLOCK_READONLY);
  EXPECT_HRESULT_SUCCEEDED(locked.status());
  if (FAILED(locked.status())) return out;
  const size_t rowBytes = size_t{out.desc.Width} * out.bytesPerPixel;
  out.bytes.resize(rowBytes * out.desc.Height);
  for (UINT y = 0; y < out.desc.Height; ++y) std::memcpy(out.bytes.data() + y * rowBytes, locked.scanline(y), rowBytes);
  return out;
}

SurfaceBytes ReadSurface(IDirect3DDevice9* device, IDirect3DTexture9* texture) {
  ComPtr<IDirect3DSurface9> level;
  EXPECT_HRESULT_SUCCEEDED(texture->GetSurfaceLevel(0, &level));
  return level ? ReadSurface(device, level.Get()) : SurfaceBytes{};
}

std::vector<uint8_t> RandomBytes(size_t count, uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<uint8_t> bytes(count);
  for (uint8_t& b : bytes) b = static_cast<uint8_t>(random());
  return bytes;
}

mediatest::Rows CpuConverted(const CpuVidFrameMemory& source, const GUID& format, HRESULT* result) {
  const ComPtr<FakeCpuFrame> target = FakeCpuFrame::Make(format, source.width, source.height);
  const HRESULT hr =
      GuardedCall([&] { return CopyCpuVidFrameMemory(&source, &target->Record(), ConvertionMode_Direct, nullptr); });
  if (result) *result = hr;
  return mediatest::RecordRows(target->Record());
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
  cache_.Close();
  if (context_.device) ReleaseDevice(context_);
}

void DeviceFixture::ReleaseDevice(DX9Context& context) {
  context.initialRenderTarget.Reset();
  context.vertexBuffer.Reset();
  ExpectLastRelease(context.device);
}

ComPtr<IDirect3DTexture9> DeviceFixture::CreateTexture(uint32_t width, uint32_t height, D3DFORMAT format, DWORD usage,
                                                       D3DPOOL pool) {
  ComPtr<IDirect3DTexture9> texture;
  EXPECT_HR(S_OK, context_.device->CreateTexture(width, height, 1, usage, format, pool, &texture, nullptr))
      << "CreateTexture " << format;
  return texture;
}

ComPtr<IDirect3DTexture9> DeviceFixture::MakeTexture(uint32_t width, uint32_t height, D3DFORMAT format,
                                                     const void* rows) {
  ComPtr<IDirect3DTexture9> texture = CreateTexture(width, height, format, D3DUSAGE_DYNAMIC);
  if (!texture) return texture;
  const size_t rowBytes = size_t{width} * BytesPerPixel(format);
  const vmdx::LockedRect locked(texture.Get(), 0, D3DLOCK_DISCARD);
  EXPECT_HR(S_OK, locked.status());
  for (uint32_t y = 0; locked.bits() && y < height; ++y)
    std::memcpy(locked.scanline(y), static_cast<const uint8_t*>(rows) + y * rowBytes, rowBytes);
  return texture;
}

void DeviceFixture::DrawQuad(IDirect3DTexture9* target, IDirect3DPixelShader9* shader) {
  D3DSURFACE_DESC desc{};
  EXPECT_HRESULT_SUCCEEDED(target->GetLevelDesc(0, &desc));
  ComPtr<IDirect3DVertexBuffer9> vb;
  EXPECT_HRESULT_SUCCEEDED(context_.ObtainPCT4VertexBuffer(&vb));
  EXPECT_HRESULT_SUCCEEDED(context_.SetRenderTarget(target));
  if (shader) {
    EXPECT_HRESULT_SUCCEEDED(context_.SetPixelShader(shader));
  }
  EXPECT_HRESULT_SUCCEEDED(context_.BeginScene());
  EXPECT_HRESULT_SUCCEEDED(context_.FillRectangle(vb.Get(), -0.5f, -0.5f, desc.Width - 0.5f, desc.Height - 0.5f));
  EXPECT_HRESULT_SUCCEEDED(context_.EndScene());
  EXPECT_HRESULT_SUCCEEDED(context_.UnsetRenderTarget());
  if (shader) {
    EXPECT_HRESULT_SUCCEEDED(context_.UnsetPixelShader());
  }
}

}  // namespace vmdxtest
