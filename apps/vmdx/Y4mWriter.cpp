#include "Y4mWriter.h"

#include <cinttypes>

namespace vmdxtool {
namespace {

enum class Layout { Vuy8, Vuya8, Vuy16, Vuya16, Mono8, None };

Layout LayoutOf(const GUID& format) {
  if (IsEqualGUID(format, MediaFormat_YUV444_8)) return Layout::Vuy8;
  if (IsEqualGUID(format, MediaFormat_YUVA444_8)) return Layout::Vuya8;
  if (IsEqualGUID(format, MediaFormat_YUV444_16)) return Layout::Vuy16;
  if (IsEqualGUID(format, MediaFormat_YUVA444_16)) return Layout::Vuya16;
  if (IsEqualGUID(format, MediaFormat_Mono8) || IsEqualGUID(format, MediaFormat_Mono8Alt)) return Layout::Mono8;
  return Layout::None;
}

}  // namespace

bool Y4mWriter::Writes(const GUID& format) { return LayoutOf(format) != Layout::None; }

HRESULT Y4mWriter::Write(const CpuVidFrameMemory& frame, std::string* error) {
  const Layout layout = LayoutOf(frame.format);
  if (layout == Layout::None) {
    *error = std::string("frames of ") + VarnicaMediaNameOf(&frame.format, 0, 0) + " have no Y4M form";
    return E_UNSUPPORTED;
  }
  if (!headerWritten_) {
    const bool deep = layout == Layout::Vuy16 || layout == Layout::Vuya16;
    const char interlace = facts_.interlace == VideoInterlace_TopFieldFirst      ? 't'
                           : facts_.interlace == VideoInterlace_BottomFieldFirst ? 'b'
                                                                                 : 'p';
    std::fprintf(out_, "YUV4MPEG2 W%d H%d F%" PRId64 ":%" PRId64 " I%c A%" PRId64 ":%" PRId64 " C%s%s\n", frame.width,
                 frame.height, facts_.rate.numerator, facts_.rate.denominator, interlace, facts_.aspect.numerator,
                 facts_.aspect.denominator,
                 layout == Layout::Mono8 ? "mono"
                 : deep                  ? "444p16"
                                         : "444",
                 facts_.fullRange ? " XCOLORRANGE=FULL" : " XCOLORRANGE=LIMITED");
    headerWritten_ = true;
    format_ = frame.format;
    width_ = frame.width;
    height_ = frame.height;
  } else if (!IsEqualGUID(format_, frame.format) || width_ != frame.width || height_ != frame.height) {
    *error = "a frame differs in size or format from the stream's first";
    return E_INVALIDARG;
  }

  // Packed V, U, Y (and A) samples become the Y, U and V planes; 16-bit samples stay little-endian.
  const size_t pixels = static_cast<size_t>(frame.width) * static_cast<size_t>(frame.height);
  const int sampleBytes = layout == Layout::Vuy16 || layout == Layout::Vuya16 ? 2 : 1;
  const int planes = layout == Layout::Mono8 ? 1 : 3;
  const int step = layout == Layout::Mono8 ? 1 : (layout == Layout::Vuy8 || layout == Layout::Vuy16 ? 3 : 4);
  planes_.resize(pixels * planes * sampleBytes);
  static const int kSourceChannel[3] = {2, 1, 0};  // Y, U, V from V, U, Y
  for (int p = 0; p < planes; ++p) {
    char* out = planes_.data() + p * pixels * sampleBytes;
    const int channel = planes == 1 ? 0 : kSourceChannel[p];
    for (int32_t y = 0; y < frame.height; ++y) {
      const uint8_t* row = frame.planes[0].data + y * frame.planes[0].pitch;
      for (int32_t x = 0; x < frame.width; ++x) {
        const uint8_t* sample = row + (x * step + channel) * sampleBytes;
        for (int b = 0; b < sampleBytes; ++b) *out++ = static_cast<char>(sample[b]);
      }
    }
  }
  if (std::fputs("FRAME\n", out_) < 0 || std::fwrite(planes_.data(), 1, planes_.size(), out_) != planes_.size() ||
      std::fflush(out_) != 0) {
    *error = "standard output refused the stream";
    return HRESULT_FROM_WIN32(ERROR_WRITE_FAULT);
  }
  return S_OK;
}

}  // namespace vmdxtool
