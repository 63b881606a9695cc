#include "Y4mWriter.h"

#include <algorithm>
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
  const bool deep = layout == Layout::Vuy16 || layout == Layout::Vuya16;
  const bool chroma420 = facts_.chroma420 && layout != Layout::Mono8;
  if (!headerWritten_) {
    const char interlace = facts_.interlace == VideoInterlace_TopFieldFirst      ? 't'
                           : facts_.interlace == VideoInterlace_BottomFieldFirst ? 'b'
                                                                                 : 'p';
    const char* space = layout == Layout::Mono8 ? "mono"
                        : chroma420             ? (deep ? "420p16" : "420jpeg")
                                                : (deep ? "444p16" : "444");
    std::fprintf(out_, "YUV4MPEG2 W%d H%d F%" PRId64 ":%" PRId64 " I%c A%" PRId64 ":%" PRId64 " C%s%s\n", frame.width,
                 frame.height, facts_.rate.numerator, facts_.rate.denominator, interlace, facts_.aspect.numerator,
                 facts_.aspect.denominator, space, facts_.fullRange ? " XCOLORRANGE=FULL" : " XCOLORRANGE=LIMITED");
    headerWritten_ = true;
    format_ = frame.format;
    width_ = frame.width;
    height_ = frame.height;
  } else if (!IsEqualGUID(format_, frame.format) || width_ != frame.width || height_ != frame.height) {
    *error = "a frame differs in size or format from the stream's first";
    return E_INVALIDARG;
  }

  // Packed V, U, Y (and A) samples become the Y, U and V planes; 16-bit samples stay little-endian.
  const int32_t w = frame.width, h = frame.height;
  const int sampleBytes = deep ? 2 : 1;
  const int step = layout == Layout::Mono8 ? 1 : (layout == Layout::Vuy8 || layout == Layout::Vuy16 ? 3 : 4);
  auto sample = [&](int32_t x, int32_t y, int channel) -> uint32_t {
    const uint8_t* at = frame.planes[0].data + y * frame.planes[0].pitch + (x * step + channel) * sampleBytes;
    return deep ? at[0] | uint32_t{at[1]} << 8 : at[0];
  };
  const size_t chromaSamples = chroma420 ? size_t((w + 1) / 2) * ((h + 1) / 2) : size_t(w) * h;
  planes_.resize((size_t(w) * h + (layout == Layout::Mono8 ? 0 : 2 * chromaSamples)) * sampleBytes);
  char* out = planes_.data();
  auto put = [&](uint32_t value) {
    *out++ = static_cast<char>(value);
    if (deep) *out++ = static_cast<char>(value >> 8);
  };
  const int lumaChannel = layout == Layout::Mono8 ? 0 : 2;
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) put(sample(x, y, lumaChannel));
  for (int channel : {1, 0}) {  // U, then V
    if (layout == Layout::Mono8) break;
    if (!chroma420) {
      for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) put(sample(x, y, channel));
      continue;
    }
    // The rounded mean of 2 x 2 pixels; at an odd width's or height's edge the last column or row
    // counts twice, which gives the mean of the pixels there are.
    for (int32_t y = 0; y < h; y += 2) {
      const int32_t below = std::min(y + 1, h - 1);
      for (int32_t x = 0; x < w; x += 2) {
        const int32_t right = std::min(x + 1, w - 1);
        put((sample(x, y, channel) + sample(right, y, channel) + sample(x, below, channel) +
             sample(right, below, channel) + 2) >>
            2);
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
