// Offscreen device creation, the device context and its helpers, present copy, texture and
// font holders, on a real device.
#include <gtest/gtest.h>

#include "DeviceFixture.h"
#include "TestSupport.h"
#include "VodideCreateMediaFrameDX9.h"
#include "VodideDeviceInfo.h"
#include "VodideDirectX9Font.h"
#include "VodideDirectX9Image.h"
#include "VodideDirectX9Present.h"

using Microsoft::WRL::ComPtr;

namespace {

using vmdxtest::DeviceFixture;

D3DSURFACE_DESC BackBufferDesc(IDirect3DDevice9Ex* device) {
  ComPtr<IDirect3DSurface9> back;
  EXPECT_HRESULT_SUCCEEDED(device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back));
  D3DSURFACE_DESC desc{};
  if (back) back->GetDesc(&desc);
  return desc;
}

TEST_F(DeviceFixture, OffscreenDeviceIsLoggedAtTraceLevel) {
  D3DCAPS9 caps{};
  ASSERT_HRESULT_SUCCEEDED(context_.device->GetDeviceCaps(&caps));
  DX9Context second;
  {
    vmdxtest::PrintLevelScope trace(LOG_TRACE);
    vmdxtest::ObserverCapture capture;
    ASSERT_HR(S_OK, second.InitializeOffscreenDevice(OffscreenDeviceSettings{}));
    const std::string text = capture.Text();
    std::printf("%s\n", text.c_str());  // the device block, for the run's log
    EXPECT_NE(std::string::npos, text.find("DirectX9 Offscreen Device\n  Driver:        "));
    char sizes[64];
    std::snprintf(sizes, sizeof sizes, "  Max Texture:   %lux%lu\n", caps.MaxTextureWidth, caps.MaxTextureHeight);
    EXPECT_NE(std::string::npos, text.find(sizes));
    EXPECT_NE(std::string::npos, text.find("  Vertex Shader: 300\n  Pixel Shader:  300\n"));
  }
  EXPECT_FALSE(varnica::SameGuid(context_.deviceId, second.deviceId));
  ReleaseDevice(second);
}

TEST_F(DeviceFixture, DeviceInfoPrintsTheDeviceBlock) {
  FILE* out = std::tmpfile();
  ASSERT_NE(nullptr, out);
  EXPECT_HR(S_OK, PrintOffscreenDeviceInfo(out));
  std::rewind(out);
  char buffer[1024] = {};
  const size_t n = std::fread(buffer, 1, sizeof buffer - 1, out);
  std::fclose(out);
  const std::string text(buffer, n);
  EXPECT_EQ(0u, text.find("DirectX9 Offscreen Device\n  Driver:        ")) << text;
  EXPECT_NE(std::string::npos, text.find("  Pixel Shader:  300\n")) << text;
}

TEST_F(DeviceFixture, DeviceCreationFollowsTheSettings) {
  IDirect3D9Ex* factory = context_.direct3DEx.Get();
  // Either size 0 or less gives 128 by 128.
  OffscreenDeviceSettings settings;
  settings.width = 0;
  settings.height = 600;
  ComPtr<IDirect3DDevice9Ex> device;
  ASSERT_HR(S_OK, CreateOffscreenDirectX9ExDevice(factory, &device, &settings));
  ASSERT_TRUE(device);
  EXPECT_EQ(128u, BackBufferDesc(device.Get()).Width);
  EXPECT_EQ(128u, BackBufferDesc(device.Get()).Height);
  EXPECT_EQ(0u, device.Reset());

  // No adapter has this identity: the second pass makes a plain X8R8G8B8 device anywhere.
  const GUID nowhere = {0x01234567, 0x89AB, 0xCDEF, {1, 2, 3, 4, 5, 6, 7, 8}};
  settings = OffscreenDeviceSettings{};
  settings.adapterIdentity = &nowhere;
  settings.width = 64;
  settings.height = 32;
  settings.backBufferFormat = D3DFMT_A8R8G8B8;
  settings.multiSampleType = D3DMULTISAMPLE_4_SAMPLES;
  ASSERT_HR(S_OK, CreateOffscreenDirectX9ExDevice(factory, &device, &settings));
  ASSERT_TRUE(device);
  const D3DSURFACE_DESC desc = BackBufferDesc(device.Get());
  EXPECT_EQ(D3DFMT_X8R8G8B8, desc.Format);
  EXPECT_EQ(D3DMULTISAMPLE_NONE, desc.MultiSampleType);
  EXPECT_EQ(64u, desc.Width);
  EXPECT_EQ(0u, device.Reset());

  // A format the adapter cannot show ends the call with the mode query's failure.
  vmdxtest::ObserverCapture capture;
  settings = OffscreenDeviceSettings{};
  settings.backBufferFormat = D3DFMT_A8;
  IDirect3DDevice9Ex* untouched = nullptr;
  EXPECT_TRUE(FAILED(CreateOffscreenDirectX9ExDevice(factory, &untouched, &settings)));
  EXPECT_EQ(nullptr, untouched);
  EXPECT_TRUE(capture.Contains("EnumAdapterModes"));

  EXPECT_HR(E_POINTER, CreateOffscreenDirectX9ExDevice(factory, nullptr, &settings));
  EXPECT_HR_LOGGED(capture, E_POINTER, CreateOffscreenDirectX9ExDevice(nullptr, &untouched, &settings), "ppDevice");
  EXPECT_TRUE(capture.Contains("p3D"));
}

TEST_F(DeviceFixture, SecondInitializeKeepsTheFirstDevice) {
  IDirect3DDevice9Ex* first = context_.device.Get();
  const GUID firstId = context_.deviceId;
  vmdxtest::ObserverCapture capture;
  EXPECT_HR_LOGGED(capture, E_ACCESSDENIED, context_.InitializeOffscreenDevice(OffscreenDeviceSettings{}),
                   "Already created");
  EXPECT_EQ(first, context_.device.Get());
  EXPECT_TRUE(varnica::SameGuid(firstId, context_.deviceId));
}

TEST_F(DeviceFixture, CopiesShareTheDeviceAndGiveItBack) {
  ComPtr<IDirect3DVertexBuffer9> vb;
  ASSERT_HR(S_OK, context_.ObtainPCT4VertexBuffer(&vb));
  {
    DX9Context copy(context_);
    DX9Context assigned;
    assigned = copy;
    EXPECT_EQ(context_.device.Get(), assigned.device.Get());
    EXPECT_EQ(context_.vertexBuffer.Get(), assigned.vertexBuffer.Get());
    EXPECT_TRUE(varnica::SameGuid(context_.deviceId, assigned.deviceId));
    copy.Close();
    EXPECT_FALSE(copy.device);
    EXPECT_FALSE(copy.initialRenderTarget);
    EXPECT_TRUE(copy.direct3DEx);  // the factories stay for a new device
  }
  EXPECT_TRUE(context_.device);
  // The teardown's last Release proves that the copies gave back every reference.
}

// A 3 x 3 matrix takes three registers with w = 0 (the transposed 4 x 4 shows in the projective
// lookup's picture).
TEST_F(DeviceFixture, ShaderMatrixTakesThreeRegistersWithZeroW) {
  const float identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
  ASSERT_HR(S_OK, context_.SetPixelShaderMatrix3x3(2, identity));
  float got[12] = {};
  ASSERT_HRESULT_SUCCEEDED(context_.device->GetPixelShaderConstantF(2, got, 3));
  const float rows[12] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0};
  for (int i = 0; i < 12; ++i) EXPECT_EQ(rows[i], got[i]) << i;
}

TEST_F(DeviceFixture, RenderStatesApplyInOrder) {
  const uint32_t pairs[] = {D3DRS_CULLMODE, D3DCULL_NONE, D3DRS_ZENABLE, D3DZB_FALSE, D3DRS_CULLMODE, D3DCULL_CW};
  EXPECT_HR(S_OK, context_.SetRenderStates(pairs, 3));
  DWORD value = 0;
  context_.device->GetRenderState(D3DRS_CULLMODE, &value);
  EXPECT_EQ(static_cast<DWORD>(D3DCULL_CW), value);
  EXPECT_HR(S_OK, context_.SetRenderStates(pairs, 0));
  vmdxtest::ObserverCapture capture;
  EXPECT_HR_LOGGED(capture, E_POINTER, context_.SetRenderStates(nullptr, 1), "pv");
}

TEST_F(DeviceFixture, VertexBuffersAndHelpersWithoutDevice) {
  ComPtr<IDirect3DVertexBuffer9> a, b;
  ASSERT_HR(S_OK, context_.ObtainPCT4VertexBuffer(&a));
  ASSERT_HR(S_OK, context_.ObtainPCT4VertexBuffer(&b));
  EXPECT_EQ(a.Get(), b.Get());
  D3DVERTEXBUFFER_DESC desc{};
  a->GetDesc(&desc);
  EXPECT_EQ(112u, desc.Size);
  EXPECT_EQ(0x144u, desc.FVF);
  ComPtr<IDirect3DVertexBuffer9> big;
  EXPECT_HR(E_INVALIDARG, context_.CreatePCT4VertexBuffer(&big, 0));
  EXPECT_HR(S_OK, context_.CreatePCT4VertexBuffer(&big, 6));
  big->GetDesc(&desc);
  EXPECT_EQ(6u * 28u, desc.Size);

  PCT4Vertex five[5] = {};
  EXPECT_HR(E_INVALIDARG, context_.DrawPCT4Primitive(a.Get(), five, 5, D3DPT_TRIANGLESTRIP, 3));

  DX9Context empty;
  EXPECT_HR(E_INVALIDARG, empty.BeginScene());
  EXPECT_HR(E_POINTER, empty.UnsetRenderTarget());
  const PCT4Vertex quad[4] = {};
  EXPECT_HR(E_POINTER, empty.DrawPCT4Primitive(a.Get(), quad, 4, D3DPT_TRIANGLESTRIP, 2));

  // Wrapping an existing device: no initial render target to go back to.
  DX9Context wrapped(context_.device.Get());
  EXPECT_HR(S_OK, wrapped.UnsetRenderTarget());
}

TEST_F(DeviceFixture, FrameTexturesAreBound) {
  ComPtr<IDirect3DTexture9> texture = MakeTexture(2, 2, D3DFMT_A8R8G8B8, std::vector<uint32_t>{1, 2, 3, 4});
  ComPtr<IMediaDirectX9VideoFrame> none, some;  // a frame not created yet has no texture
  ASSERT_HR(S_OK, CreateClassObject(CLSID_MediaDirectX9VideoFrame, IID_IMediaDirectX9VideoFrame, &none));
  ASSERT_HR(S_OK,
            CreateMediaDirectX9VideoFrame(IID_IMediaDirectX9VideoFrame, &some, &MediaFormat_RGBA8, texture.Get()));
  vmdxtest::ObserverCapture capture;
  EXPECT_HR_LOGGED(capture, E_INVALIDARG, context_.SetTexture(1, none.Get()), "Frame without Texture");
  ComPtr<IDirect3DBaseTexture9> bound;
  context_.device->GetTexture(1, &bound);
  EXPECT_EQ(nullptr, bound.Get());
  EXPECT_HR_LOGGED(capture, E_POINTER, context_.SetTexture(1, static_cast<IMediaDirectX9VideoFrame*>(nullptr)),
                   "pFrame");

  EXPECT_HR(S_OK, context_.SetTexture(1, some.Get()));
  context_.device->GetTexture(1, &bound);
  EXPECT_EQ(texture.Get(), bound.Get());
  bound.Reset();
  ComPtr<IDirect3DTexture9> got;
  EXPECT_HR(S_OK, context_.GetTextureFromFrame(&got, some.Get(), 0));
  EXPECT_EQ(texture.Get(), got.Get());
  EXPECT_HR(S_OK, context_.UnsetTexture(1));
}

TEST_F(DeviceFixture, PresentCopiesTheRenderTargetToTheBackBuffer) {
  // Render target 0 is the back buffer itself: nothing to copy.
  EXPECT_HR(S_OK, CopyRenderTargetToPresentSurface(context_));
  ComPtr<IDirect3DTexture9> target = MakeRenderTarget(128, 128);
  ASSERT_HR(S_OK, context_.SetRenderTarget(target.Get()));
  ASSERT_HRESULT_SUCCEEDED(context_.device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF20C040, 1.0f, 0));
  EXPECT_HR(S_OK, CopyRenderTargetToPresentSurface(context_));
  ASSERT_HR(S_OK, context_.UnsetRenderTarget());
  ComPtr<IDirect3DSurface9> back;
  ASSERT_HRESULT_SUCCEEDED(context_.device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, &back));
  const std::vector<uint32_t> pixels = vmdxtest::ReadBack(context_.device.Get(), back.Get());
  ASSERT_FALSE(pixels.empty());
  EXPECT_EQ(0x20C040u, pixels[64 * 128 + 64] & 0xFFFFFF);
}

TEST_F(DeviceFixture, ImageHoldsOneTexture) {
  ComPtr<IDirect3DTexture9> a = MakeRenderTarget(4, 4), b = MakeRenderTarget(4, 4);
  DX9Image image;
  vmdxtest::ObserverCapture capture;
  EXPECT_HR(E_POINTER, image.OpenFromTex(context_, nullptr));
  EXPECT_HR_LOGGED(capture, E_POINTER, image.OpenFromTex(DX9Context(), a.Get()), "pTex");
  EXPECT_TRUE(capture.Contains("Device3D"));
  EXPECT_EQ(nullptr, image.Texture());
  EXPECT_HR(S_OK, image.OpenFromTex(context_, a.Get()));
  EXPECT_HR(S_OK, image.OpenFromTex(context_, a.Get()));
  EXPECT_EQ(2u, a.Get()->AddRef() - 1);  // ours and the image's
  a.Get()->Release();
  EXPECT_TRUE(varnica::SameGuid(context_.deviceId, image.DeviceId()));
  EXPECT_HR(S_OK, image.OpenFromTex(context_, b.Get()));
  EXPECT_EQ(1u, a.Get()->AddRef() - 1);  // the image let go of the first
  a.Get()->Release();
  image = DX9Image();
}

TEST_F(DeviceFixture, FontIsMadeOnceMeasuresAndChecksItsArguments) {
  DX9Font font;
  vmdxtest::ObserverCapture capture;
  int32_t size[2] = {};
  EXPECT_HR(E_POINTER, font.DrawTextW(0, 0, L"x", -1, 0xFFFFFFFF));
  EXPECT_HR_LOGGED(capture, E_POINTER, font.MeasureTextA(size, "x", -1), "Font");
  EXPECT_HR(E_POINTER, font.CreateFont(DX9Context(), 16, 0, FW_NORMAL, 1, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                       DEFAULT_QUALITY, DEFAULT_PITCH, L"Arial"));
  ASSERT_HR(S_OK, font.CreateFont(context_, 16, 0, FW_NORMAL, 1, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                  DEFAULT_QUALITY, DEFAULT_PITCH, L"Arial"));
  ID3DXFont* first = font.Font();
  ASSERT_NE(nullptr, first);
  EXPECT_HR(S_OK, font.CreateFont(context_, 40, 0, FW_BOLD, 1, TRUE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                  DEFAULT_QUALITY, DEFAULT_PITCH, L"Courier New"));
  EXPECT_EQ(first, font.Font());
  EXPECT_EQ(context_.device.Get(), font.Device());
  // The first font measures one line: wider for more text, as high.
  int32_t one[2] = {}, two[2] = {};
  ASSERT_HR(S_OK, font.MeasureTextW(one, L"Mm", -1));
  ASSERT_HR(S_OK, font.MeasureTextA(two, "MmMm", -1));
  EXPECT_GT(one[0], 0);
  EXPECT_GT(one[1], 0);
  EXPECT_GT(two[0], one[0]);
  EXPECT_EQ(one[1], two[1]);
  EXPECT_HR(E_POINTER, font.DrawTextA(0, 0, nullptr, -1, 0xFFFFFFFF));
  EXPECT_HR_LOGGED(capture, E_POINTER, font.MeasureTextW(nullptr, L"x", -1), "pText");
  EXPECT_TRUE(capture.Contains("pSz"));
}

TEST_F(DeviceFixture, FontDrawsText) {
  if (vmdxtest::RunningUnderWine()) {
    GTEST_SKIP() << "Wine 8's ID3DXFont makes its glyph textures in the managed pool, which Direct3D 9Ex "
                    "devices refuse, and crashes drawing text";
  }
  DX9Font font;
  ASSERT_HR(S_OK, font.CreateFont(context_, 20, 0, FW_NORMAL, 1, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                  DEFAULT_QUALITY, DEFAULT_PITCH, L"Arial"));
  ComPtr<IDirect3DTexture9> target = MakeRenderTarget(64, 32);
  ASSERT_HR(S_OK, context_.SetRenderTarget(target.Get()));
  context_.device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
  ASSERT_HR(S_OK, context_.BeginScene());
  EXPECT_HR(S_OK, font.DrawTextW(2, 2, L"Mm", -1, 0xFFFFFFFF));
  EXPECT_HR(S_OK, font.DrawTextA(2, 16, "Mm", -1, 0xFFFFFFFF));
  ASSERT_HR(S_OK, context_.EndScene());
  ASSERT_HR(S_OK, context_.UnsetRenderTarget());
  int lit = 0;
  for (uint32_t p : vmdxtest::ReadBack(context_.device.Get(), target.Get())) lit += (p & 0xFF) > 128;
  EXPECT_GT(lit, 10);
}

}  // namespace
