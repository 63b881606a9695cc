// Shared by the fisheye-map and remap tests: a device fixture with a shader cache and the
// open-object count, float maps in and out of textures.
#pragma once
#include <vector>

#include "DeviceFixture.h"
#include "TestSupport.h"
#include "VodideDX9ResourceCache.h"

namespace vmdxtest {

// One (x, y) coordinate per map pixel, rows top to bottom.
struct MapCoordinate {
  float x, y;
};

class LensFixture : public DeviceFixture {
 protected:
  void SetUp() override;
  void TearDown() override;

  // A dynamic D3DFMT_G32R32F texture holding coordinates (width x height).
  Microsoft::WRL::ComPtr<IDirect3DTexture9> MakeMap(uint32_t width, uint32_t height,
                                                    const std::vector<MapCoordinate>& coordinates);
  // The red and green channels of a D3DFMT_G32R32F render-target texture.
  std::vector<MapCoordinate> ReadMap(IDirect3DTexture9* map);

  CDX9ResourceCache cache_;
  int openAtStart_ = 0;
};

}  // namespace vmdxtest
