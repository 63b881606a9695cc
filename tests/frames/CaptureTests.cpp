// Textures, surfaces and render targets as frames, and decoder frames fetched onto the GPU.
#include "DeviceFixture.h"
#include "FakeCpuFrame.h"
#include "MediaTestSupport.h"
#include "VarnicaFrameAccess.h"
#include "VodideCaptureRenderTargetDX9.h"
#include "VodideCreateMediaFrameDX9.h"
#include "VodideGetFrame.h"

using Microsoft::WRL::ComPtr;
using namespace vmdxtest;
using mediatest::LockedRecord;

namespace {

using Capture = DeviceFixture;

GUID FormatOf(IUnknown* frame) { return ValueOf<GUID>(frame, FrameFormat, GuidValueType); }
// The first pixel of a frame, read through its lock.
uint32_t FirstPixel(IUnknown* frame) { return mediatest::FramePicture(frame).pixels.at(0); }

TEST_F(Capture, RenderTargetFormatsFollowTheSurface) {
  auto target = MakeRenderTarget(32, 16);
  const ComPtr<IDirect3DSurface9> surface = Level(target.Get());
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
  Fill(target.Get(), 0xFF112233);
  ASSERT_HR(S_OK, context_.device->SetRenderTarget(0, Level(target.Get()).Get()));
  ComPtr<IMediaDirectX9VideoFrame> frame;
  ASSERT_HR(S_OK, CaptureRenderTargetAsDirectXFrame(context_.device.Get(), nullptr, IID_IMediaDirectX9VideoFrame,
                                                    &frame, nullptr));  // render target 0
  Fill(target.Get(), 0xFF445566);
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

  const VarnicaTimecode timecode{99, 25, 1, 0, 0};
  ComPtr<IVideoFrame> general;
  ASSERT_HR(S_OK,
            CreateMediaDirectX9VideoFrame(IID_IVideoFrame, &general, &MediaFormat_RGBA8, Level(texture.Get()).Get(),
                                          nullptr, nullptr, &timecode, nullptr, nullptr, vmdx::kLockRead));
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
  const ComPtr<IDirect3DSurface9> surface = Level(target.Get());
  Fill(target.Get(), 0xFF102030);
  ComPtr<IVideoFrame> frame;
  ASSERT_HR(S_OK, CaptureRenderTargetAsVideoCpuFrame(context_.device.Get(), surface.Get(), IID_IVideoFrame, &frame,
                                                     &MediaFormat_RGBA8));
  Fill(target.Get(), 0xFF405060);  // not seen by the copy
  EXPECT_TRUE(IsEqualGUID(MediaFormat_RGBA8, FormatOf(frame.Get())));
  const Picture copy = mediatest::FramePicture(frame.Get());
  EXPECT_EQ(24, copy.width);
  ASSERT_EQ(12, copy.height);
  EXPECT_EQ(0xFF102030u, copy.At(23, 11));

  ObserverCapture capture;
  ComPtr<IVideoFrame> refused;
  EXPECT_HR(E_INVALIDARG, CaptureRenderTargetAsVideoCpuFrame(context_.device.Get(), surface.Get(), IID_IVideoFrame,
                                                             &refused, &MediaFormat_RGBA16));
  EXPECT_TRUE(capture.Contains("format"));
  EXPECT_HR_LOGGED(capture, E_POINTER,
                   CaptureRenderTargetAsVideoCpuFrame(nullptr, surface.Get(), IID_IVideoFrame, &refused, nullptr),
                   "pDevice");
}

// The decoder's frames through the module's decoder fetch: for every format the decoder delivers,
// the GPU frame read back equals the CPU conversion of the same decoded frame into the upload's
// format; single fields; formats without a GPU form are refused whole.
class DecoderThroughGpu : public DeviceFixture {
 protected:
  // The GPU frame of frame n (one field when field is 1 or 2), or null when refused with hr.
  ComPtr<IMediaDirectX9VideoFrame> FetchGpu(IVideoDecoder* decoder, const GUID& format, int64_t n, int field,
                                            HRESULT expected = S_OK) {
    const VarnicaTimecode timecode{n, 25, 1, 0, 0};
    const FieldSelect select{1, static_cast<uint8_t>(field)};
    ComPtr<IMediaDirectX9VideoFrame> frame;
    EXPECT_HR(expected, GetDirectXFrame(&context_, IID_IMediaDirectX9VideoFrame, &frame, decoder, &timecode, nullptr,
                                        &format, field ? &select : nullptr));
    return frame;
  }

  // Rows of the decoder's own frame n converted on the CPU into format, every step-th row from
  // first: what the upload must have put into the texture.
  static mediatest::Rows Expected(IVideoDecoder* decoder, const GUID& source, const GUID& format, int64_t n, int first,
                                  int step) {
    auto cpu = mediatest::Fetch(decoder, source, n);
    LockedRecord in(cpu.Get());
    EXPECT_HR(S_OK, in.readResult);
    const mediatest::Rows all = CpuConverted(in.record, format);
    mediatest::Rows rows;
    for (size_t y = first; y < all.size(); y += step) rows.push_back(all[y]);
    return rows;
  }
};

TEST_F(DecoderThroughGpu, EveryDeliveredFormatArrivesAsItsCpuConversion) {
  auto decoder = mediatest::OpenDecoder("builtin:progressive");
  // The decoder's own format, 4:2:2 packed, is uploaded into its unpacked format (YUVA 4:4:4),
  // which differs from its native one (semi-planar): the new frame is given the texture's format.
  // Every format held in another one on the GPU, and two held as they are (the upload's bytes of
  // each format are the upload tests' part).
  const struct {
    const GUID* format;
    const GUID* unpacked;
  } cases[] = {
      {&MediaFormat_YUV422Packed8, &MediaFormat_YUVA444_8},
      {&MediaFormat_YUV422Packed10, &MediaFormat_YUVA444_16},
      {&MediaFormat_YUV444_8, &MediaFormat_YUVA444_8},
      {&MediaFormat_YUV444_16, &MediaFormat_YUVA444_16},
      {&MediaFormat_RGB8, &MediaFormat_RGBX8},
      {&MediaFormat_RGBA8, &MediaFormat_RGBA8},
      {&MediaFormat_RGBAFloat, &MediaFormat_RGBAFloat},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(VarnicaMediaNameOf(c.format, 0, 0));
    auto gpu = FetchGpu(decoder.Get(), *c.format, 4, 0);
    ASSERT_NE(nullptr, gpu.Get());
    GUID held{};
    const mediatest::Rows rows = mediatest::FrameRows(gpu.Get(), &held);
    EXPECT_TRUE(IsEqualGUID(*c.unpacked, held)) << VarnicaMediaNameOf(&held, 0, 0);
    EXPECT_TRUE(rows == Expected(decoder.Get(), *c.format, *c.unpacked, 4, 0, 1));
  }

  // Formats only the CPU knows have no texture format, and the semi-planar 4:2:2 one has no CPU
  // conversion into its unpacked format: refused, nothing handed out.
  for (const GUID* refused :
       {&MediaFormat_YUVA422Packed8, &MediaFormat_RGB16, &MediaFormat_ARGB8, &MediaFormat_YUV422SemiPlanar8})
    EXPECT_EQ(nullptr, FetchGpu(decoder.Get(), *refused, 0, 0, E_VALUE_NOT_FOUND).Get());
}

TEST_F(DecoderThroughGpu, FieldsOfTheInterlacedClipAreItsEvenAndOddRows) {
  auto decoder = mediatest::OpenDecoder("builtin:interlaced");
  for (int field = 1; field <= 2; ++field) {
    SCOPED_TRACE(field);
    auto gpu = FetchGpu(decoder.Get(), MediaFormat_YUV444_8, 9, field);
    ASSERT_NE(nullptr, gpu.Get());
    const auto rows = mediatest::FrameRows(gpu.Get());
    EXPECT_EQ(288u, rows.size());
    EXPECT_TRUE(rows == Expected(decoder.Get(), MediaFormat_YUV444_8, MediaFormat_YUVA444_8, 9, field - 1, 2));
    EXPECT_EQ(9, ValueOf<VarnicaTimecode>(gpu.Get(), TimecodeProperty, TimecodeValueType).frame);
  }
  // The two fields differ where the box moved between them.
  auto first = mediatest::FrameRows(FetchGpu(decoder.Get(), MediaFormat_YUV444_8, 9, 1).Get());
  auto second = mediatest::FrameRows(FetchGpu(decoder.Get(), MediaFormat_YUV444_8, 9, 2).Get());
  EXPECT_NE(first[120], second[120]);  // rows 240 and 241, inside the box
  EXPECT_EQ(first[10], second[10]);    // rows 20 and 21, bars only
}

}  // namespace
