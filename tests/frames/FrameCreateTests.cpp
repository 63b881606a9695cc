// Frames made over a host's textures and surfaces: formats, sizes, the create rules.
#include "VarnicaFrameAccess.h"
#include "DeviceFixture.h"
#include "IMediaDirectX9VideoFrame.h"

using Microsoft::WRL::ComPtr;
using namespace vmdxtest;

namespace {

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
  GUID Format() {
    GUID format{};
    EXPECT_HR(S_OK, vmdx::GetValue(values, FrameFormat, GuidValueType, &format));
    return format;
  }
  VarnicaFrameSize Size() {
    VarnicaFrameSize size{};
    EXPECT_HR(S_OK, vmdx::GetValue(values, FrameSizeProperty, FrameSizeValueType, &size));
    return size;
  }
  ComPtr<IMediaDirectX9VideoFrame> frame;
  ComPtr<IValueSet> values;
};

TEST_F(FrameCreate, WithoutFormatTheSurfaceFormatDecides) {
  auto texture = CreateTexture(320, 180, D3DFMT_A8R8G8B8, D3DUSAGE_RENDERTARGET);
  const VarnicaTimecode timecode{12, 25, 1, 0, 0};
  ASSERT_HR(S_OK, frame->CreateTex1(nullptr, texture.Get(), 0, nullptr, nullptr, &timecode, nullptr, nullptr, vmdx::kLockRead));
  EXPECT_TRUE(IsEqualGUID(MediaFormat_RGBA8Alt, Format()));
  EXPECT_EQ(320, Size().width);
  EXPECT_EQ(180, Size().height);
  VarnicaTimecode read{};
  ASSERT_HR(S_OK, vmdx::GetValue(values, TimecodeProperty, TimecodeValueType, &read));
  EXPECT_EQ(12, read.frame);
  GUID packing{};
  ASSERT_HR(S_OK, vmdx::GetValue(values, FramePackingProperty, GuidValueType, &packing));
  EXPECT_TRUE(IsEqualGUID(FramePacking_Default, packing));

  ComPtr<IDirect3DTexture9> held;
  ASSERT_HR(S_OK, frame->GetTexture(&held));
  EXPECT_EQ(texture.Get(), held.Get());
  ComPtr<IDirect3DSurface9> surface, level;
  ASSERT_HR(S_OK, frame->GetSurface(&surface));
  ASSERT_HR(S_OK, texture->GetSurfaceLevel(0, &level));
  EXPECT_EQ(level.Get(), surface.Get());

  ObserverCapture capture;
  EXPECT_HR(E_FAIL, frame->CreateTex1(nullptr, texture.Get(), 0, nullptr, nullptr, nullptr, nullptr, nullptr, vmdx::kLockRead));
  EXPECT_TRUE(capture.Contains("Frame already created"));
  const GUID packingAfter = FramePacking_Default;
  EXPECT_HR(E_ACCESSDENIED, frame->SetFramePacking(&packingAfter));
  EXPECT_TRUE(capture.Contains("SetFramePacking: not allowed if the object is already created"));
}

TEST_F(FrameCreate, StackedPlanesGiveTheRealHeight) {
  auto texture = CreateTexture(64, 2 * 36, D3DFMT_A8, D3DUSAGE_DYNAMIC);
  ASSERT_HR(S_OK, frame->CreateTex1(&MediaFormat_YUV422SemiPlanar8, texture.Get(), 0, nullptr, nullptr, nullptr,
                                    nullptr, nullptr, vmdx::kLockRead));
  EXPECT_TRUE(IsEqualGUID(MediaFormat_YUV422SemiPlanar8, Format()));
  EXPECT_EQ(64, Size().width);
  EXPECT_EQ(36, Size().height);
}

TEST_F(FrameCreate, FormatsMustBeTheirOwnNativeFormatOnTheirSurfaceFormat) {
  auto a8 = CreateTexture(64, 64, D3DFMT_A8, D3DUSAGE_DYNAMIC);
  ObserverCapture capture;
  EXPECT_HR(E_INVALIDARG, frame->CreateTex1(&MediaFormat_YUV422Packed8, a8.Get(), 0, nullptr, nullptr, nullptr,
                                            nullptr, nullptr, vmdx::kLockRead));
  EXPECT_TRUE(capture.Contains("Input-Format YUV422Packed8 != Native-DxFormat YUV422SemiPlanar8")) << capture.Text();
  EXPECT_HR(E_INVALIDARG, frame->CreateTex1(&MediaFormat_RGBA8, a8.Get(), 0, nullptr, nullptr, nullptr, nullptr,
                                            nullptr, vmdx::kLockRead));
  EXPECT_TRUE(capture.Contains("Input-Format RGBA8: Surface-Format 28 != DxFormat 21")) << capture.Text();
  const GUID unknown = {0xBAD, 0, 0, {0}};
  EXPECT_HR(E_VALUE_NOT_FOUND, frame->CreateTex1(&unknown, a8.Get(), 0, nullptr, nullptr, nullptr, nullptr, nullptr,
                                                 vmdx::kLockRead));
  EXPECT_TRUE(capture.Contains("GetDirectXFormatFromMedia( ")) << capture.Text();

  // Refused creates leave the frame fresh: a correct one still succeeds.
  ComPtr<IDirect3DTexture9> none;
  EXPECT_HR(S_FALSE, frame->GetTexture(&none));
  EXPECT_HR(S_OK, frame->CreateTex1(&MediaFormat_Mono8, a8.Get(), 0, nullptr, nullptr, nullptr, nullptr, nullptr,
                                    vmdx::kLockRead));
}

TEST_F(FrameCreate, ArgumentAndStateChecksComeInOrder) {
  ObserverCapture capture;
  EXPECT_HR(E_POINTER, frame->CreateTex1(nullptr, nullptr, 0, nullptr, nullptr, nullptr, nullptr, nullptr, 0));
  EXPECT_TRUE(capture.Contains("pTex"));
  EXPECT_HR(E_POINTER, frame->CreateSurf2(nullptr, nullptr, 0));
  EXPECT_TRUE(capture.Contains("settings"));
  ComPtr<IDisposable> disposable;
  ASSERT_HR(S_OK, frame.As(&disposable));
  ASSERT_HR(S_OK, disposable->Dispose());
  auto texture = CreateTexture(16, 16, D3DFMT_A8R8G8B8, D3DUSAGE_RENDERTARGET);
  EXPECT_HR(E_DISPOSED, frame->CreateTex1(nullptr, texture.Get(), 0, nullptr, nullptr, nullptr, nullptr, nullptr, 0));
  EXPECT_TRUE(capture.Contains("CreateTex1: MediaDirectX9VideoFrame is disposed"));
  ComPtr<IDirect3DSurface9> surface;
  ASSERT_HR(S_OK, texture->GetSurfaceLevel(0, &surface));
  EXPECT_HR(E_DISPOSED, frame->CreateSurf1(nullptr, surface.Get(), nullptr, nullptr, nullptr, nullptr, nullptr, 0));
  EXPECT_EQ(2, capture.Count("CreateTex1: MediaDirectX9VideoFrame is disposed"));
}

TEST_F(FrameCreate, SettingsCarryFormatAndProperties) {
  ComPtr<IValueSet> settings;
  ASSERT_HR(S_OK, CreateClassObject(CLSID_ValueSet, IID_IValueSet, &settings));
  auto texture = CreateTexture(32, 16, D3DFMT_A16B16G16R16, D3DUSAGE_DYNAMIC);
  ObserverCapture capture;
  EXPECT_HR(E_VALUE_NOT_FOUND, frame->CreateTex2(texture.Get(), 0, settings.Get(), vmdx::kLockRead));
  EXPECT_TRUE(capture.Contains("GetDirectXNativeMediaFormatFrom")) << capture.Text();

  // YUV444_16 is held as YUVA444_16 on the GPU.
  ASSERT_HR(S_OK, vmdx::SetValue(settings, FrameFormat, GuidValueType, MediaFormat_YUV444_16));
  const VarnicaPixelAspectRatio ratio{16, 11};
  ASSERT_HR(S_OK, vmdx::SetValue(settings, PixelAspectRatioProperty, PixelAspectRatioValueType, ratio));
  const int16_t interlace = VideoInterlace_TopFieldFirst;
  ASSERT_HR(S_OK, vmdx::SetValue(settings, VideoInterlaceProperty, VideoInterlaceProperty, interlace));
  ASSERT_HR(S_OK, frame->CreateTex2(texture.Get(), 0, settings.Get(), vmdx::kLockRead));
  EXPECT_TRUE(IsEqualGUID(MediaFormat_YUVA444_16, Format()));
  VarnicaPixelAspectRatio readRatio{};
  ASSERT_HR(S_OK, vmdx::GetValue(values, PixelAspectRatioProperty, PixelAspectRatioValueType, &readRatio));
  EXPECT_EQ(16, readRatio.numerator);
  EXPECT_EQ(11, readRatio.denominator);
  int16_t readInterlace = 0;
  ASSERT_HR(S_OK, vmdx::GetValue(values, VideoInterlaceProperty, VideoInterlaceProperty, &readInterlace));
  EXPECT_EQ(VideoInterlace_TopFieldFirst, readInterlace);
}

TEST_F(FrameCreate, SurfaceFramesHaveNoTexture) {
  ComPtr<IDirect3DSurface9> surface;
  ASSERT_HR(S_OK, context_.device->CreateOffscreenPlainSurface(40, 30, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &surface, nullptr));
  ASSERT_HR(S_OK, frame->CreateSurf1(nullptr, surface.Get(), nullptr, nullptr, nullptr, nullptr, nullptr, vmdx::kLockRead));
  ComPtr<IDirect3DTexture9> texture;
  EXPECT_HR(S_FALSE, frame->GetTexture(&texture));
  EXPECT_EQ(nullptr, texture.Get());
  EXPECT_EQ(40, Size().width);
}

TEST_F(FrameCreate, DisposeReleasesTheTexture) {
  auto texture = CreateTexture(16, 16, D3DFMT_A8R8G8B8, D3DUSAGE_RENDERTARGET);
  texture->AddRef();
  const ULONG before = texture->Release();
  ASSERT_HR(S_OK, frame->CreateTex1(nullptr, texture.Get(), 0, nullptr, nullptr, nullptr, nullptr, nullptr, vmdx::kLockRead));
  texture->AddRef();
  EXPECT_GT(texture->Release(), before);
  ComPtr<IDisposable> disposable;
  ASSERT_HR(S_OK, frame.As(&disposable));
  ASSERT_HR(S_OK, disposable->Dispose());
  texture->AddRef();
  EXPECT_EQ(before, texture->Release()) << "the frame's references are gone";
}

}  // namespace
