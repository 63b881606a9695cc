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

std::vector<uint32_t> FramePixels(IUnknown* frame) {
  std::vector<uint32_t> pixels;
  for (const std::vector<uint8_t>& row : FrameRows(frame)) {
    pixels.resize(pixels.size() + row.size() / 4);
    std::memcpy(pixels.data() + pixels.size() - row.size() / 4, row.data(), row.size() / 4 * 4);
  }
  return pixels;
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
