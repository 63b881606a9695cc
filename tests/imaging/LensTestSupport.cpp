#include "LensTestSupport.h"

#include <cstring>

using Microsoft::WRL::ComPtr;

namespace vmdxtest {

void LensFixture::SetUp() {
  DeviceFixture::SetUp();
  openAtStart_ = OpenObjects();
}

void LensFixture::TearDown() {
  EXPECT_EQ(openAtStart_, OpenObjects()) << "frames left open";
  cache_.Close();  // its shaders hold the device
  DeviceFixture::TearDown();
}

ComPtr<IDirect3DTexture9> LensFixture::MakeMap(uint32_t width, uint32_t height,
                                               const std::vector<MapCoordinate>& coordinates) {
  ComPtr<IDirect3DTexture9> map;
  EXPECT_HR(S_OK, context_.device->CreateTexture(width, height, 1, D3DUSAGE_DYNAMIC, D3DFMT_G32R32F, D3DPOOL_DEFAULT,
                                                 &map, nullptr));
  if (!map) return map;
  vmdx::LockedRect locked(map.Get(), 0, D3DLOCK_DISCARD);
  EXPECT_HR(S_OK, locked.status());
  for (uint32_t y = 0; locked.bits() && y < height; ++y)
    std::memcpy(locked.scanline(y), &coordinates[y * width], width * sizeof(MapCoordinate));
  return map;
}

std::vector<MapCoordinate> LensFixture::ReadMap(IDirect3DTexture9* map) {
  D3DSURFACE_DESC desc{};
  EXPECT_HR(S_OK, map->GetLevelDesc(0, &desc));
  EXPECT_EQ(D3DFMT_G32R32F, desc.Format);
  ComPtr<IDirect3DSurface9> level, copy;
  EXPECT_HR(S_OK, map->GetSurfaceLevel(0, &level));
  EXPECT_HR(S_OK, context_.device->CreateOffscreenPlainSurface(desc.Width, desc.Height, desc.Format, D3DPOOL_SYSTEMMEM,
                                                               &copy, nullptr));
  if (!level || !copy) return {};
  EXPECT_HR(S_OK, context_.device->GetRenderTargetData(level.Get(), copy.Get()));
  std::vector<MapCoordinate> coordinates(desc.Width * desc.Height);
  vmdx::LockedRect locked(copy.Get(), D3DLOCK_READONLY);
  EXPECT_HR(S_OK, locked.status());
  for (uint32_t y = 0; locked.bits() && y < desc.Height; ++y)
    std::memcpy(&coordinates[y * desc.Width], locked.scanline(y), desc.Width * sizeof(MapCoordinate));
  return coordinates;
}

}  // namespace vmdxtest
