// Textures, surfaces and render targets as frames, and decoder frames fetched onto the GPU.
#include "DeviceFixture.h"
#include "FakeCpuFrame.h"
#include "VarnicaFrameAccess.h"
#include "VodideCaptureRenderTargetDX9.h"
#include "VodideCreateMediaFrameDX9.h"
#include "VodideGetFrame.h"

using Microsoft::WRL::ComPtr;
using namespace vmdxtest;

namespace {

using Capture = DeviceFixture;

GUID FormatOf(IUnknown* frame) { return ValueOf<GUID>(frame, FrameFormat, GuidValueType); }
// The first pixel of a frame, read through its lock.
uint32_t FirstPixel(IUnknown* frame) { return mediatest::FramePicture(frame).pixels.at(0); }

TEST_F(Capture, RenderTargetFormatsFollowTheSurface) {
  auto target = MakeRenderTarget(32, 16);
  ComPtr<IDirect3DSurface9> surface;
  ASSERT_HR(S_OK, target->GetSurfaceLevel(0, &surface));
  struct Case {
    const GUID* format;
    HRESULT expected;
    const GUID* frameFormat;
  };
  const Case cases[] = {{nullptr, S_OK, &MediaFormat_RGBA8Alt},
                        {&MediaFormat_RGBA8, S_OK, &MediaFormat_RGBA8},
                        {&MediaFormat_YUVA444_8, S_OK, &MediaFormat_YUVA444_8},
                        {&MediaFormat_RGBA16, E_INVALIDARG, nullptr}};
  ObserverCapture capture;
  for (const Case& c : cases) {
    ComPtr<IMediaDirectX9VideoFrame> frame;
    ASSERT_HR(c.expected, CaptureRenderTargetAsDirectXFrame(context_.device.Get(), surface.Get(),
                                                            IID_IMediaDirectX9VideoFrame, &frame, c.format));
    if (c.frameFormat) {
      EXPECT_TRUE(IsEqualGUID(*c.frameFormat, FormatOf(frame.Get())));
    }
  }
  EXPECT_TRUE(capture.Contains("format"));
}

TEST_F(Capture, GpuCaptureShowsLaterDrawing) {
  auto target = MakeRenderTarget(8, 8);
  ComPtr<IDirect3DSurface9> surface;
  ASSERT_HR(S_OK, target->GetSurfaceLevel(0, &surface));
  ASSERT_HR(S_OK, context_.device->ColorFill(surface.Get(), nullptr, 0xFF112233));
  ASSERT_HR(S_OK, context_.device->SetRenderTarget(0, surface.Get()));
  ComPtr<IMediaDirectX9VideoFrame> frame;
  ASSERT_HR(S_OK, CaptureRenderTargetAsDirectXFrame(context_.device.Get(), nullptr, IID_IMediaDirectX9VideoFrame,
                                                    &frame, nullptr));  // render target 0
  ASSERT_HR(S_OK, context_.device->ColorFill(surface.Get(), nullptr, 0xFF445566));
  EXPECT_EQ(0xFF445566u, FirstPixel(frame.Get()));
  ASSERT_HR(S_OK, context_.device->SetRenderTarget(0, context_.initialRenderTarget.Get()));
}

TEST_F(Capture, FramesFromTexturesAndSurfacesAreNativeAndReadable) {
  auto texture = MakeRenderTarget(16, 8);
  ObserverCapture capture;
  ComPtr<IMediaDirectX9VideoFrame> frame;
  EXPECT_HR(E_VALUE_NOT_FOUND,
            CreateMediaDirectX9VideoFrame(IID_IMediaDirectX9VideoFrame, &frame, nullptr, texture.Get()));
  EXPECT_TRUE(capture.Contains("GetDirectXNativeMediaFormatFrom"));
  EXPECT_HR(E_POINTER, CreateMediaDirectX9VideoFrame(IID_IMediaDirectX9VideoFrame, &frame, &MediaFormat_RGBA8,
                                                     static_cast<IDirect3DTexture9*>(nullptr)));
  EXPECT_TRUE(capture.Contains("pTex"));
  ASSERT_HR(S_OK,
            CreateMediaDirectX9VideoFrame(IID_IMediaDirectX9VideoFrame, &frame, &MediaFormat_YUV444_8, texture.Get()));
  EXPECT_TRUE(IsEqualGUID(MediaFormat_YUVA444_8, FormatOf(frame.Get())));  // held in its native format
  FirstPixel(frame.Get());                                                 // mask 0x11: mappable for reading

  ComPtr<IDirect3DSurface9> surface;
  ASSERT_HR(S_OK, texture->GetSurfaceLevel(0, &surface));
  const VarnicaTimecode timecode{99, 25, 1, 0, 0};
  ComPtr<IVideoFrame> general;
  ASSERT_HR(S_OK, CreateMediaDirectX9VideoFrame(IID_IVideoFrame, &general, &MediaFormat_RGBA8, surface.Get(), nullptr,
                                                nullptr, &timecode, nullptr, nullptr, vmdx::kLockRead));
  EXPECT_EQ(99, ValueOf<VarnicaTimecode>(general.Get(), TimecodeProperty, TimecodeValueType).frame);
  void* refused = nullptr;
  EXPECT_HR_LOGGED(capture, E_NOINTERFACE,
                   CreateMediaDirectX9VideoFrame(IID_IValue, &refused, &MediaFormat_RGBA8, texture.Get()), "query");
}

TEST_F(Capture, DecoderFramesArriveWithTheirPropertiesAndTheAskedTimecode) {
  FakeDecoder decoder;
  decoder.frame = FakeCpuFrame::Make(MediaFormat_RGBA8, 64, 1080, VideoInterlace_TopFieldFirst);
  const VarnicaPixelAspectRatio ratio{4, 3};
  ASSERT_HR(S_OK, vmdx::SetValue(decoder.frame->Values(), PixelAspectRatioProperty, PixelAspectRatioValueType, ratio));
  const VarnicaTimecode decoded{1, 25, 1, 0, 0};
  ASSERT_HR(S_OK, vmdx::SetValue(decoder.frame->Values(), TimecodeProperty, TimecodeValueType, decoded));

  const VarnicaTimecode asked{250, 25, 1, 0, 0};
  const FieldSelect second{2, 2};
  ComPtr<IMediaDirectX9VideoFrame> frame;
  ASSERT_HR(S_OK, GetDirectXFrame(&context_, IID_IMediaDirectX9VideoFrame, &frame, &decoder, &asked, nullptr,
                                  &MediaFormat_RGBA8, &second));
  EXPECT_EQ(0, decoder.frame->LockCount());
  EXPECT_TRUE(IsEqualGUID(MediaFormat_RGBA8, FormatOf(decoder.lastRequest.Get())));
  EXPECT_HR(S_FALSE, decoder.lastRequest->HasValue(FrameSizeProperty));

  EXPECT_EQ(540, ValueOf<VarnicaFrameSize>(frame.Get(), FrameSizeProperty, FrameSizeValueType).height);
  EXPECT_EQ(250, ValueOf<VarnicaTimecode>(frame.Get(), TimecodeProperty, TimecodeValueType).frame);
  EXPECT_EQ(
      4, ValueOf<VarnicaPixelAspectRatio>(frame.Get(), PixelAspectRatioProperty, PixelAspectRatioValueType).numerator);

  // The first form takes the caller's request as it is, and the decoder's timecode.
  ComPtr<IMediaDirectX9VideoFrame> whole;
  ASSERT_HR(S_OK,
            GetDirectXFrame(&context_, &decoder, decoder.lastRequest.Get(), IID_IMediaDirectX9VideoFrame, &whole));
  EXPECT_EQ(1080, ValueOf<VarnicaFrameSize>(whole.Get(), FrameSizeProperty, FrameSizeValueType).height);
  EXPECT_EQ(1, ValueOf<VarnicaTimecode>(whole.Get(), TimecodeProperty, TimecodeValueType).frame);
}

TEST_F(Capture, FailingDecoderMakesNoFrame) {
  FakeDecoder decoder;
  decoder.failure = E_UNSUPPORTED;
  const VarnicaTimecode asked{};
  ObserverCapture capture;
  ComPtr<IMediaDirectX9VideoFrame> frame;
  EXPECT_HR(E_UNSUPPORTED, GetDirectXFrame(&context_, IID_IMediaDirectX9VideoFrame, &frame, &decoder, &asked, nullptr,
                                           &MediaFormat_RGBA8, nullptr));
  EXPECT_EQ(nullptr, frame.Get());
  EXPECT_TRUE(capture.Contains("GetFrame"));
  EXPECT_HR(E_POINTER, GetDirectXFrame(&context_, IID_IMediaDirectX9VideoFrame, &frame, nullptr, &asked, nullptr,
                                       &MediaFormat_RGBA8, nullptr));
  EXPECT_TRUE(capture.Contains("pDecoder"));
}

TEST_F(Capture, CpuCaptureHoldsACopy) {
  auto target = MakeRenderTarget(24, 12);
  ComPtr<IDirect3DSurface9> surface;
  ASSERT_HR(S_OK, target->GetSurfaceLevel(0, &surface));
  ASSERT_HR(S_OK, context_.device->ColorFill(surface.Get(), nullptr, 0xFF102030));
  ComPtr<IVideoFrame> frame;
  ASSERT_HR(S_OK, CaptureRenderTargetAsVideoCpuFrame(context_.device.Get(), surface.Get(), IID_IVideoFrame, &frame,
                                                     &MediaFormat_RGBA8));
  ASSERT_HR(S_OK, context_.device->ColorFill(surface.Get(), nullptr, 0xFF405060));  // not seen by the copy
  EXPECT_TRUE(IsEqualGUID(MediaFormat_RGBA8, FormatOf(frame.Get())));
  {
    const mediatest::LockedRecord locked(frame.Get());
    ASSERT_HR(S_OK, locked.readResult);
    EXPECT_EQ(24, locked.record.width);
    EXPECT_EQ(12, locked.record.height);
    EXPECT_EQ(0xFF102030u, *reinterpret_cast<const uint32_t*>(locked.Pixel(0, 23, 4, 11)));
  }

  ObserverCapture capture;
  ComPtr<IVideoFrame> refused;
  EXPECT_HR(E_INVALIDARG, CaptureRenderTargetAsVideoCpuFrame(context_.device.Get(), surface.Get(), IID_IVideoFrame,
                                                             &refused, &MediaFormat_RGBA16));
  EXPECT_TRUE(capture.Contains("format"));
  EXPECT_HR_LOGGED(capture, E_POINTER,
                   CaptureRenderTargetAsVideoCpuFrame(nullptr, surface.Get(), IID_IVideoFrame, &refused, nullptr),
                   "pDevice");
}

}  // namespace
