// Shared by the conversion, field and matrix tests: a device fixture that also checks the
// module's open objects, textures filled from and read back into bytes of any format, and a
// snapshot of what a pass may leave bound on the device.
#pragma once
#include <cstdint>
#include <vector>

#include "DeviceFixture.h"
#include "TestSupport.h"
#include "VodideDX9ResourceCache.h"

namespace imagingtest {

// Level 0 of a texture as tight rows of bytes.
struct TextureBytes {
  D3DSURFACE_DESC desc{};
  uint32_t bytesPerPixel = 0;
  std::vector<uint8_t> bytes;
  const uint8_t* Row(uint32_t y) const { return bytes.data() + size_t{y} * desc.Width * bytesPerPixel; }
  const uint8_t* Pixel(uint32_t x, uint32_t y) const { return Row(y) + size_t{x} * bytesPerPixel; }
};

uint32_t BytesPerPixel(D3DFORMAT format);
// Through a system-memory copy for render targets, through a read lock otherwise.
TextureBytes ReadTexture(IDirect3DDevice9* device, IDirect3DTexture9* texture);

// Random bytes, the same for the same seed.
std::vector<uint8_t> RandomBytes(size_t count, uint32_t seed);

// Render target 0, the textures of stages 0 and 1, the pixel shader, the address modes of
// samplers 0 and 1 and the first colour argument of stage 0.
struct DeviceBindings {
  Microsoft::WRL::ComPtr<IDirect3DSurface9> target;
  Microsoft::WRL::ComPtr<IDirect3DBaseTexture9> stages[2];
  Microsoft::WRL::ComPtr<IDirect3DPixelShader9> shader;
  DWORD address[2][2] = {};
  DWORD colorArg = 0;
  static DeviceBindings Of(IDirect3DDevice9* device);
  bool operator==(const DeviceBindings& other) const;
};

class ImagingFixture : public vmdxtest::DeviceFixture {
 protected:
  void SetUp() override;
  void TearDown() override;

  // A dynamic texture holding bytes (tight rows of width * bytes per pixel).
  Microsoft::WRL::ComPtr<IDirect3DTexture9> MakeFilled(uint32_t width, uint32_t height, D3DFORMAT format,
                                                       const std::vector<uint8_t>& bytes);
  Microsoft::WRL::ComPtr<IDirect3DTexture9> MakeTarget(uint32_t width, uint32_t height, D3DFORMAT format);
  TextureBytes Read(IDirect3DTexture9* texture) { return ReadTexture(context_.device.Get(), texture); }

  CDX9ResourceCache cache_;
  int openAtStart_ = 0;
};

}  // namespace imagingtest
