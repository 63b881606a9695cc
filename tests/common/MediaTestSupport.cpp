#include "VarnicaFrameAccess.h"
#include "MediaTestSupport.h"

using Microsoft::WRL::ComPtr;

namespace mediatest {

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
