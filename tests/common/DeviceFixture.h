// GPU test fixture of every suite: a real offscreen device in a DX9Context, skipped with the
// reason when the machine gives none; at the end the device's last Release must return 0 and the
// module's open-object count must be back where it started. Beside it the read-backs, texture
// fills and CPU conversions the GPU suites compare against.
#pragma once
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <wrl/client.h>

#include "MediaTestSupport.h"
#include "PixelReference.h"
#include "TestSupport.h"
#include "VodideDX9Context.h"
#include "VodideDX9ResourceCache.h"

namespace vmdxtest {

// True under Wine (ntdll exports wine_get_version).
bool RunningUnderWine();

uint32_t BytesPerPixel(D3DFORMAT format);

// A surface (or level 0 of a texture) as tight rows of bytes, read through a system-memory copy
// when it is a render target and through a read lock otherwise.
struct SurfaceBytes {
  D3DSURFACE_DESC desc{};
  uint32_t bytesPerPixel = 0;
  std::vector<uint8_t> bytes;
  const uint8_t* Row(uint32_t y) const { return bytes.data() + size_t{y} * desc.Width * bytesPerPixel; }
  const uint8_t* Pixel(uint32_t x, uint32_t y) const { return Row(y) + size_t{x} * bytesPerPixel; }
  mediatest::Rows Rows() const {
    mediatest::Rows rows;
    for (uint32_t y = 0; y < desc.Height && !bytes.empty(); ++y)
      rows.emplace_back(Row(y), Row(y) + desc.Width * bytesPerPixel);
    return rows;
  }
  // The bytes as elements of T (pixels, floats, coordinate pairs), rows one after the other.
  template <class T>
  std::vector<T> As() const {
    std::vector<T> out(bytes.size() / sizeof(T));
    if (!out.empty()) std::memcpy(out.data(), bytes.data(), out.size() * sizeof(T));
    return out;
  }
  Picture AsPicture() const { return {int(desc.Width), int(desc.Height), As<uint32_t>()}; }
};
SurfaceBytes ReadSurface(IDirect3DDevice9* device, IDirect3DSurface9* surface);
SurfaceBytes ReadSurface(IDirect3DDevice9* device, IDirect3DTexture9* texture);

// Reads a render-target texture (or surface) of 32-bit pixels back through system memory.
inline std::vector<uint32_t> ReadBack(IDirect3DDevice9* device, IDirect3DSurface9* surface) {
  return ReadSurface(device, surface).As<uint32_t>();
}
inline std::vector<uint32_t> ReadBack(IDirect3DDevice9* device, IDirect3DTexture9* texture) {
  return ReadSurface(device, texture).As<uint32_t>();
}

// Random bytes, the same for the same seed.
std::vector<uint8_t> RandomBytes(size_t count, uint32_t seed);

// What the module's CPU conversion makes of source in format, as rows (mediatest::RecordRows
// order); result (may be null) gets the conversion's result.
mediatest::Rows CpuConverted(const CpuVidFrameMemory& source, const GUID& format, HRESULT* result = nullptr);

// Render target 0, the textures of stages 0 and 1, the pixel shader, the address modes of
// samplers 0 and 1 and the first colour argument of stage 0: what a pass must leave as it found.
struct DeviceBindings {
  Microsoft::WRL::ComPtr<IDirect3DSurface9> target;
  Microsoft::WRL::ComPtr<IDirect3DBaseTexture9> stages[2];
  Microsoft::WRL::ComPtr<IDirect3DPixelShader9> shader;
  DWORD address[2][2] = {};
  DWORD colorArg = 0;
  static DeviceBindings Of(IDirect3DDevice9* device);
  bool operator==(const DeviceBindings& other) const;
};

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
  // A dynamic texture filled from tight rows of width * BytesPerPixel(format) bytes.
  Microsoft::WRL::ComPtr<IDirect3DTexture9> MakeTexture(uint32_t width, uint32_t height, D3DFORMAT format,
                                                        const void* rows);
  Microsoft::WRL::ComPtr<IDirect3DTexture9> MakeTexture(uint32_t width, uint32_t height, D3DFORMAT format,
                                                        const std::vector<uint32_t>& pixels) {
    return MakeTexture(width, height, format, static_cast<const void*>(pixels.data()));
  }
  Microsoft::WRL::ComPtr<IDirect3DTexture9> MakeTexture(uint32_t width, uint32_t height, D3DFORMAT format,
                                                        const std::vector<uint8_t>& bytes) {
    return MakeTexture(width, height, format, static_cast<const void*>(bytes.data()));
  }
  Microsoft::WRL::ComPtr<IDirect3DTexture9> MakeRenderTarget(uint32_t width, uint32_t height,
                                                             D3DFORMAT format = D3DFMT_A8R8G8B8) {
    return CreateTexture(width, height, format, D3DUSAGE_RENDERTARGET);
  }
  SurfaceBytes Read(IDirect3DTexture9* texture) { return ReadSurface(context_.device.Get(), texture); }
  // Level 0 of texture; ColorFill of it.
  static Microsoft::WRL::ComPtr<IDirect3DSurface9> Level(IDirect3DTexture9* texture) {
    Microsoft::WRL::ComPtr<IDirect3DSurface9> level;
    EXPECT_HR(S_OK, texture->GetSurfaceLevel(0, &level));
    return level;
  }
  void Fill(IDirect3DTexture9* texture, D3DCOLOR color) {
    EXPECT_HR(S_OK, context_.device->ColorFill(Level(texture).Get(), nullptr, color));
  }
  // Draws one quad covering target pixel for pixel, with shader bound for it (or, when null,
  // whatever shader is bound).
  void DrawQuad(IDirect3DTexture9* target, IDirect3DPixelShader9* shader = nullptr);
  // DrawQuad, then the target read back.
  std::vector<uint32_t> DrawFullTarget(IDirect3DTexture9* target, IDirect3DPixelShader9* shader) {
    DrawQuad(target, shader);
    return ReadBack(context_.device.Get(), target);
  }
  Microsoft::WRL::ComPtr<IDirect3DPixelShader9> Shader(PixelShaderId id) {
    Microsoft::WRL::ComPtr<IDirect3DPixelShader9> shader;
    EXPECT_HR(S_OK, cache_.ObtainPixelShader(context_, id, &shader));
    return shader;
  }

  DX9Context context_;
  CDX9ResourceCache cache_;  // closed before the device goes: its shaders hold it
  int openAtStart_ = 0;
};

}  // namespace vmdxtest
