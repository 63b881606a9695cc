#include "MediaTestSupport.h"

#include <cstring>

using Microsoft::WRL::ComPtr;

namespace mediatest {

Rows RecordRows(const CpuVidFrameMemory& r) {
  int32_t rowBytes[kMaxVideoPlanes] = {}, rows[kMaxVideoPlanes] = {};
  const int32_t planes = GetFormatVideoPlaneLayout(&r.format, r.width, r.height, kMaxVideoPlanes, nullptr, rowBytes,
                                                   nullptr, nullptr, rows);
  Rows out;
  for (int32_t p = 0; p < planes; ++p)
    for (int32_t y = 0; y < rows[p] && r.planes[p].data; ++y) {
      const uint8_t* row = r.planes[p].data + y * r.planes[p].pitch;
      out.emplace_back(row, row + rowBytes[p]);
    }
  return out;
}

Rows FrameRows(IUnknown* frame, GUID* format) {
  LockedRecord locked(frame);
  EXPECT_HR(S_OK, locked.readResult);
  if (format) *format = locked.record.format;
  return SUCCEEDED(locked.readResult) ? RecordRows(locked.record) : Rows{};
}

vmdxtest::Picture FramePicture(IUnknown* frame) {
  LockedRecord locked(frame);
  EXPECT_HR(S_OK, locked.readResult);
  if (FAILED(locked.readResult)) return {};
  vmdxtest::Picture picture{locked.record.width, locked.record.height, {}};
  picture.pixels.resize(size_t(picture.width) * picture.height);
  for (int y = 0; y < picture.height; ++y)
    std::memcpy(&picture.pixels[size_t(y) * picture.width], locked.Pixel(0, 0, 4, y), picture.width * 4u);
  return picture;
}

ComPtr<IVideoDecoder> OpenDecoder(const char* source) {
  ComPtr<IVideoDecoder> decoder;
  EXPECT_HR(S_OK, CreateClassObject(CLSID_VarnicaVideoDecoder, IID_IVideoDecoder, &decoder));
  if (decoder) {
    EXPECT_HR(S_OK, decoder->Open(source));
  }
  return decoder;
}

ComPtr<IValueSet> Request(const GUID& format, int64_t frame, int32_t width, int32_t height) {
  ComPtr<IValueSet> request;
  EXPECT_HR(S_OK, CreateClassObject(CLSID_ValueSet, IID_IValueSet, &request));
  vmdx::SetValue(request, FrameFormat, GuidValueType, format);
  const VarnicaTimecode timecode{frame, 25, 1, 0, 0};
  vmdx::SetValue(request, TimecodeProperty, TimecodeValueType, timecode);
  if (width > 0) {
    const VarnicaFrameSize size{width, height};
    vmdx::SetValue(request, FrameSizeProperty, FrameSizeValueType, size);
  }
  return request;
}

ComPtr<IVideoFrame> Fetch(IVideoDecoder* decoder, const GUID& format, int64_t frame, int32_t width, int32_t height) {
  ComPtr<IVideoFrame> out;
  EXPECT_HR(S_OK, decoder->GetFrame(Request(format, frame, width, height).Get(), IID_IVideoFrame, &out));
  return out;
}

vmdxtest::Picture ClipPicture(const char* name, int64_t frame, int32_t width, int32_t height) {
  const ComPtr<IVideoFrame> fetched = Fetch(OpenDecoder(name).Get(), MediaFormat_RGBA8, frame, width, height);
  return fetched ? FramePicture(fetched.Get()) : vmdxtest::Picture{};
}

}  // namespace mediatest

namespace {

// The stand-ins register their classes when the media module loads; a test program that calls
// none of its functions would not load it, so one call makes the program import it.
struct MediaModuleEnvironment : ::testing::Environment {
  void SetUp() override { ASSERT_STREQ("RGB8", VarnicaMediaNameOf(&MediaFormat_RGB8, 0, 0)); }
};

[[maybe_unused]] ::testing::Environment* const kMediaEnvironment =
    ::testing::AddGlobalTestEnvironment(new MediaModuleEnvironment);

}  // namespace
