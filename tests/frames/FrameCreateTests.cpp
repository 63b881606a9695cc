// Frames made over a host's textures and surfaces: formats, sizes, the create rules.
#include "DeviceFixture.h"
#include "IMediaDirectX9VideoFrame.h"
#include "VarnicaFrameAccess.h"

using Microsoft::WRL::ComPtr;
using namespace vmdxtest;

namespace {

// Creates frame over level 0 of texture, the way most tests here do: format (null: from the
// surface), no properties, the given lock access.
HRESULT CreateOver(IMediaDirectX9VideoFrame* frame, IDirect3DTexture9* texture, const GUID* format,
                   uint32_t access = vmdx::kLockRead) {
  return frame->CreateTex1(format, texture, 0, nullptr, nullptr, nullptr, nullptr, nullptr, access);
}

struct FrameCreate : vmdxtest::DeviceFixture {
  void SetUp() override {
    vmdxtest::DeviceFixture::SetUp();
    if (IsSkipped()) return;
    ASSERT_HR(S_OK, CreateClassObject(CLSID_MediaDirectX9VideoFrame, IID_IMediaDirectX9VideoFrame, &frame));
    ASSERT_HR(S_OK, frame->GetValueSet(&values));
  }
  void TearDown() override {
    values.Reset();
    frame.Reset();
    vmdxtest::DeviceFixture::TearDown();
  }
  GUID Format() { return ValueOf<GUID>(values.Get(), FrameFormat, GuidValueType); }
  VarnicaFrameSize Size() { return ValueOf<VarnicaFrameSize>(values.Get(), FrameSizeProperty, FrameSizeValueType); }
  ComPtr<IMediaDirectX9VideoFrame> frame;
  ComPtr<IValueSet> values;
};

TEST_F(FrameCreate, WithoutFormatTheSurfaceFormatDecides) {
  auto texture = CreateTexture(320, 180, D3DFMT_A8R8G8B8, D3DUSAGE_RENDERTARGET);
  const VarnicaTimecode timecode{12, 25, 1, 0, 0};
  ASSERT_HR(S_OK, frame->CreateTex1(nullptr, texture.Get(), 0, nullptr, nullptr, &timecode, nullptr, nullptr,
                                    vmdx::kLockRead));
  EXPECT_TRUE(IsEqualGUID(MediaFormat_RGBA8Alt, Format()));
  EXPECT_EQ(320, Size().width);
  EXPECT_EQ(180, Size().height);
  EXPECT_EQ(12, ValueOf<VarnicaTimecode>(values.Get(), TimecodeProperty, TimecodeValueType).frame);
  EXPECT_TRUE(IsEqualGUID(FramePacking_Default, ValueOf<GUID>(values.Get(), FramePackingProperty, GuidValueType)));

  ComPtr<IDirect3DTexture9> held;
  ASSERT_HR(S_OK, frame->GetTexture(&held));
  EXPECT_EQ(texture.Get(), held.Get());
  ComPtr<IDirect3DSurface9> surface, level;
  ASSERT_HR(S_OK, frame->GetSurface(&surface));
  ASSERT_HR(S_OK, texture->GetSurfaceLevel(0, &level));
  EXPECT_EQ(level.Get(), surface.Get());

  ObserverCapture capture;
  EXPECT_HR_LOGGED(capture, E_FAIL, CreateOver(frame.Get(), texture.Get(), nullptr), "Frame already created");
  const GUID packingAfter = FramePacking_Default;
  EXPECT_HR_LOGGED(capture, E_ACCESSDENIED, frame->SetFramePacking(&packingAfter),
                   "SetFramePacking: not allowed if the object is already created");
}

TEST_F(FrameCreate, StackedPlanesGiveTheRealHeight) {
  auto texture = CreateTexture(64, 2 * 36, D3DFMT_A8, D3DUSAGE_DYNAMIC);
  ASSERT_HR(S_OK, CreateOver(frame.Get(), texture.Get(), &MediaFormat_YUV422SemiPlanar8));
  EXPECT_TRUE(IsEqualGUID(MediaFormat_YUV422SemiPlanar8, Format()));
  EXPECT_EQ(64, Size().width);
  EXPECT_EQ(36, Size().height);
}

TEST_F(FrameCreate, FormatsMustBeTheirOwnNativeFormatOnTheirSurfaceFormat) {
  auto a8 = CreateTexture(64, 64, D3DFMT_A8, D3DUSAGE_DYNAMIC);
  ObserverCapture capture;
  EXPECT_HR(E_INVALIDARG, CreateOver(frame.Get(), a8.Get(), &MediaFormat_YUV422Packed8));
  EXPECT_TRUE(capture.Contains("Input-Format YUV422Packed8 != Native-DxFormat YUV422SemiPlanar8")) << capture.Text();
  EXPECT_HR(E_INVALIDARG, CreateOver(frame.Get(), a8.Get(), &MediaFormat_RGBA8));
  EXPECT_TRUE(capture.Contains("Input-Format RGBA8: Surface-Format 28 != DxFormat 21")) << capture.Text();
  const GUID unknown = {0xBAD, 0, 0, {0}};
  EXPECT_HR(E_VALUE_NOT_FOUND, CreateOver(frame.Get(), a8.Get(), &unknown));
  EXPECT_TRUE(capture.Contains("GetDirectXFormatFromMedia( ")) << capture.Text();

  // Refused creates leave the frame fresh: a correct one still succeeds.
  ComPtr<IDirect3DTexture9> none;
  EXPECT_HR(S_FALSE, frame->GetTexture(&none));
  EXPECT_HR(S_OK, CreateOver(frame.Get(), a8.Get(), &MediaFormat_Mono8));
}

TEST_F(FrameCreate, ArgumentAndStateChecksComeInOrder) {
  ObserverCapture capture;
  EXPECT_HR_LOGGED(capture, E_POINTER, CreateOver(frame.Get(), nullptr, nullptr, 0), "pTex");
  EXPECT_HR_LOGGED(capture, E_POINTER, frame->CreateSurf2(nullptr, nullptr, 0), "settings");
  ASSERT_HR(S_OK, Dispose(frame.Get()));
  auto texture = CreateTexture(16, 16, D3DFMT_A8R8G8B8, D3DUSAGE_RENDERTARGET);
  EXPECT_HR_LOGGED(capture, E_DISPOSED, CreateOver(frame.Get(), texture.Get(), nullptr, 0),
                   "CreateTex1: MediaDirectX9VideoFrame is disposed");
  ComPtr<IDirect3DSurface9> surface;
  ASSERT_HR(S_OK, texture->GetSurfaceLevel(0, &surface));
  EXPECT_HR(E_DISPOSED, frame->CreateSurf1(nullptr, surface.Get(), nullptr, nullptr, nullptr, nullptr, nullptr, 0));
  EXPECT_EQ(2, capture.Count("CreateTex1: MediaDirectX9VideoFrame is disposed"));
}

TEST_F(FrameCreate, SettingsCarryFormatAndProperties) {
  auto settings = NewObject<IValueSet>(CLSID_ValueSet, IID_IValueSet);
  auto texture = CreateTexture(32, 16, D3DFMT_A16B16G16R16, D3DUSAGE_DYNAMIC);
  ObserverCapture capture;
  EXPECT_HR_LOGGED(capture, E_VALUE_NOT_FOUND, frame->CreateTex2(texture.Get(), 0, settings.Get(), vmdx::kLockRead),
                   "GetDirectXNativeMediaFormatFrom");

  // YUV444_16 is held as YUVA444_16 on the GPU.
  ASSERT_HR(S_OK, vmdx::SetValue(settings, FrameFormat, GuidValueType, MediaFormat_YUV444_16));
  const VarnicaPixelAspectRatio ratio{16, 11};
  ASSERT_HR(S_OK, vmdx::SetValue(settings, PixelAspectRatioProperty, PixelAspectRatioValueType, ratio));
  const int16_t interlace = VideoInterlace_TopFieldFirst;
  ASSERT_HR(S_OK, vmdx::SetValue(settings, VideoInterlaceProperty, VideoInterlaceProperty, interlace));
  ASSERT_HR(S_OK, frame->CreateTex2(texture.Get(), 0, settings.Get(), vmdx::kLockRead));
  EXPECT_TRUE(IsEqualGUID(MediaFormat_YUVA444_16, Format()));
  const auto readRatio =
      ValueOf<VarnicaPixelAspectRatio>(values.Get(), PixelAspectRatioProperty, PixelAspectRatioValueType);
  EXPECT_EQ(16, readRatio.numerator);
  EXPECT_EQ(11, readRatio.denominator);
  EXPECT_EQ(VideoInterlace_TopFieldFirst,
            ValueOf<int16_t>(values.Get(), VideoInterlaceProperty, VideoInterlaceProperty));
}

TEST_F(FrameCreate, SurfaceFramesHaveNoTexture) {
  ComPtr<IDirect3DSurface9> surface;
  ASSERT_HR(S_OK, context_.device->CreateOffscreenPlainSurface(40, 30, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &surface,
                                                               nullptr));
  ASSERT_HR(S_OK,
            frame->CreateSurf1(nullptr, surface.Get(), nullptr, nullptr, nullptr, nullptr, nullptr, vmdx::kLockRead));
  ComPtr<IDirect3DTexture9> texture;
  EXPECT_HR(S_FALSE, frame->GetTexture(&texture));
  EXPECT_EQ(nullptr, texture.Get());
  EXPECT_EQ(40, Size().width);
}

TEST_F(FrameCreate, DisposeReleasesTheTexture) {
  auto texture = CreateTexture(16, 16, D3DFMT_A8R8G8B8, D3DUSAGE_RENDERTARGET);
  texture->AddRef();
  const ULONG before = texture->Release();
  ASSERT_HR(S_OK, CreateOver(frame.Get(), texture.Get(), nullptr));
  texture->AddRef();
  EXPECT_GT(texture->Release(), before);
  ASSERT_HR(S_OK, Dispose(frame.Get()));
  texture->AddRef();
  EXPECT_EQ(before, texture->Release()) << "the frame's references are gone";
}

}  // namespace
