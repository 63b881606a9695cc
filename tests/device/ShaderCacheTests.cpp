// The shader catalogue drawn for real (full-target quads read back), and the per-device cache
// with its capability answers.
#include <gtest/gtest.h>

#include "DeviceFixture.h"
#include "TestSupport.h"
#include "VodideDX9ResourceCache.h"

using Microsoft::WRL::ComPtr;

namespace {

using vmdxtest::ChannelDistance;

class ShaderFixture : public vmdxtest::DeviceFixture {
 protected:
  void PointSampling(DWORD sampler) {
    EXPECT_HR(S_OK, context_.SetSamplerState_MinFilter(sampler, D3DTEXF_POINT));
    EXPECT_HR(S_OK, context_.SetSamplerState_MagFilter(sampler, D3DTEXF_POINT));
    context_.device->SetSamplerState(sampler, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
    context_.device->SetSamplerState(sampler, D3DSAMP_ADDRESSV, D3DTADDRESS_CLAMP);
  }
};

// 4 x 4 source pixels, all different.
std::vector<uint32_t> Pattern() {
  std::vector<uint32_t> p(16);
  for (uint32_t i = 0; i < 16; ++i) p[i] = 0xFF000000u | (i * 16) << 16 | (255 - i * 16) << 8 | (i * 7 + 3);
  return p;
}

TEST_F(ShaderFixture, ConstantColorFillsTheTarget) {
  const float retColor[4] = {0.25f, 0.5f, 0.75f, 1.0f};
  ASSERT_HR(S_OK, context_.SetPixelShaderConstantF(0, retColor, 1));
  for (uint32_t p : DrawFullTarget(MakeRenderTarget(8, 8).Get(), Shader(PixelShader_ConstantColor).Get())) {
    ASSERT_LE(ChannelDistance(0xFF4080BFu, p), 1) << std::hex << p;
  }
}

// The copy gives each texel; the projective lookup, with x = (-2u + 2) / 2 = 1 - u and
// y = 2v / 2 = v, a mirror that only comes out right after the division by w.
TEST_F(ShaderFixture, CopyAndProjectiveLookupGiveEachTexel) {
  const float mirror[16] = {-2, 0, 0, 2,  //
                            0,  2, 0, 0,  //
                            0,  0, 1, 0,  //
                            0,  0, 0, 2};
  ASSERT_HR(S_OK, context_.SetPixelShaderMatrix4x4(0, mirror));
  const std::vector<uint32_t> source = Pattern();
  ComPtr<IDirect3DTexture9> texture = MakeTexture(4, 4, D3DFMT_A8R8G8B8, source);
  ASSERT_HR(S_OK, context_.SetTexture(0, texture.Get()));
  PointSampling(0);
  for (const PixelShaderId id : {PixelShader_Copy, PixelShader_ProjectiveLookup}) {
    const std::vector<uint32_t> got = DrawFullTarget(MakeRenderTarget(4, 4).Get(), Shader(id).Get());
    ASSERT_EQ(16u, got.size());
    for (int i = 0; i < 16; ++i)
      EXPECT_EQ(source[id == PixelShader_Copy ? i : i / 4 * 4 + 3 - i % 4], got[i])
          << "shader " << id << " pixel " << i;
  }
  EXPECT_HR(S_OK, context_.UnsetTexture(0));
}

TEST_F(ShaderFixture, ColorLookupIndexesByAlpha) {
  // Map: alpha k selects texel k of a 256-wide colour row.
  const uint32_t alphas[4] = {0, 64, 128, 200};
  std::vector<uint32_t> map(16);
  for (int i = 0; i < 16; ++i) map[i] = alphas[i % 4] << 24 | 0x00123456;
  std::vector<uint32_t> colors(256);
  for (uint32_t k = 0; k < 256; ++k) colors[k] = 0xFF000000u | k << 16 | (255 - k) << 8 | (k / 2);
  ComPtr<IDirect3DTexture9> mapTexture = MakeTexture(4, 4, D3DFMT_A8R8G8B8, map);
  ComPtr<IDirect3DTexture9> colorTexture = MakeTexture(256, 1, D3DFMT_A8R8G8B8, colors);
  ASSERT_HR(S_OK, context_.SetTexture(0, mapTexture.Get()));
  ASSERT_HR(S_OK, context_.SetTexture(1, colorTexture.Get()));
  PointSampling(0);
  PointSampling(1);
  const std::vector<uint32_t> got = DrawFullTarget(MakeRenderTarget(4, 4).Get(), Shader(PixelShader_ColorLookup).Get());
  ASSERT_EQ(16u, got.size());
  for (int i = 0; i < 16; ++i) EXPECT_EQ(colors[alphas[i % 4]], got[i]) << i;
  EXPECT_HR(S_OK, context_.UnsetTexture(0));
  EXPECT_HR(S_OK, context_.UnsetTexture(1));
}

TEST_F(ShaderFixture, ShadersAreMadeOncePerDevice) {
  ComPtr<IDirect3DPixelShader9> first = Shader(PixelShader_Copy);
  ComPtr<IDirect3DPixelShader9> again = Shader(PixelShader_Copy);
  ASSERT_TRUE(first);
  EXPECT_EQ(first.Get(), again.Get());
  first.Reset();
  again.Reset();

  // A new device for the same context: the cache notices and starts afresh, letting go of the
  // old device's shaders (and so of the old device).
  IDirect3DDevice9Ex* old = context_.device.Get();
  old->AddRef();
  vmdxtest::PrintLevelScope trace(LOG_TRACE);
  vmdxtest::ObserverCapture capture;
  context_.Close();
  ASSERT_HR(S_OK, context_.InitializeOffscreenDevice(OffscreenDeviceSettings{}));
  EXPECT_FALSE(capture.Contains("Close CDX9ResourceCache"));
  ComPtr<IDirect3DPixelShader9> fresh = Shader(PixelShader_Copy);
  EXPECT_EQ(1, capture.Count("Close CDX9ResourceCache\n"));
  EXPECT_EQ(0u, old->Release());
  ComPtr<IDirect3DDevice9> owner;
  ASSERT_TRUE(fresh);
  fresh->GetDevice(&owner);
  EXPECT_EQ(static_cast<IDirect3DDevice9*>(context_.device.Get()), owner.Get());
}

TEST_F(ShaderFixture, MissingByteCodeFailsEveryTime) {
  vmdxtest::ObserverCapture capture;
  ComPtr<IDirect3DPixelShader9> shader;
  // The first id this build carries no byte code for (ids fill up as shaders land).
  uint32_t missing = 0;
  while (missing < kPixelShaderCount && PixelShaderTable[missing] != nullptr) ++missing;
  if (missing < kPixelShaderCount) {
    const auto id = static_cast<PixelShaderId>(missing);
    EXPECT_TRUE(FAILED(cache_.ObtainPixelShader(context_, id, &shader)));
    EXPECT_TRUE(FAILED(cache_.ObtainPixelShader(context_, id, &shader)));
    EXPECT_EQ(nullptr, shader.Get());
    EXPECT_EQ(2, capture.Count("CreatePixelShader"));
  }
  EXPECT_HR_LOGGED(capture, E_POINTER, cache_.ObtainPixelShader(context_, PixelShader_Copy, nullptr), "ppPS");
  DX9Context empty;
  EXPECT_HR_LOGGED(capture, E_POINTER, cache_.ObtainPixelShader(empty, PixelShader_Copy, &shader), "Device3D");
}

TEST(CategoryA, NamesEveryMissingCapabilityInOrder) {
  D3DCAPS9 caps{};
  caps.Caps3 = D3DCAPS3_COPY_TO_VIDMEM | D3DCAPS3_COPY_TO_SYSTEMMEM;
  caps.TextureFilterCaps =
      D3DPTFILTERCAPS_MINFPOINT | D3DPTFILTERCAPS_MINFLINEAR | D3DPTFILTERCAPS_MAGFPOINT | D3DPTFILTERCAPS_MAGFLINEAR;
  caps.TextureAddressCaps = D3DPTADDRESSCAPS_WRAP | D3DPTADDRESSCAPS_MIRROR | D3DPTADDRESSCAPS_CLAMP;
  caps.TextureCaps = D3DPTEXTURECAPS_ALPHA;
  EXPECT_EQ("\n  Wrong: BORDER", CategoryAShortfall(caps));
  caps.TextureAddressCaps |= D3DPTADDRESSCAPS_BORDER;
  EXPECT_EQ("", CategoryAShortfall(caps));
  caps.TextureCaps |= D3DPTEXTURECAPS_POW2 | D3DPTEXTURECAPS_SQUAREONLY;
  caps.Caps3 = D3DCAPS3_COPY_TO_SYSTEMMEM;
  EXPECT_EQ("\n  Wrong: COPY_TO_VIDMEM\n  Wrong: SQUAREONLY\n  Wrong: POW2", CategoryAShortfall(caps));
}

TEST_F(ShaderFixture, FormatQuestionsAnswerRatherThanFail) {
  EXPECT_HR(0, cache_.IsTextureRenderableCatA(context_)) << "the reference device has what the image processors need";
  EXPECT_HR(0, cache_.IsRenderTargetTextureFormatSupported(context_, D3DFMT_A8R8G8B8));
  EXPECT_HR(0, cache_.IsDynamicTextureFormatSupported(context_, D3DFMT_A8));
  EXPECT_HR(1, cache_.IsRenderTargetTextureFormatSupported(context_, D3DFMT_UYVY));  // not available: an answer

  // A context around an existing device learns the factory from the device.
  DX9Context wrapped(context_.device.Get());
  wrapped.deviceId = context_.deviceId;
  EXPECT_HR(0, cache_.IsSurfaceFormatSupported(wrapped, D3DFMT_A8R8G8B8));
  EXPECT_TRUE(wrapped.direct3D);
}

}  // namespace
