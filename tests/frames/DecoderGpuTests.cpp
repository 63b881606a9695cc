// The decoder's frames through the module's decoder fetch on a real device: for every format the
// decoder delivers, the GPU frame read back equals the CPU conversion of the same decoded frame
// into the upload's format; single fields; formats without a GPU form are refused whole.
#include <vector>

#include "DeviceFixture.h"
#include "MediaTestSupport.h"
#include "VarnicaFrameAccess.h"
#include "VodideGetFrame.h"

using Microsoft::WRL::ComPtr;
using namespace vmdxtest;
using mediatest::LockedRecord;

namespace {

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
  const struct {
    const GUID* format;
    const GUID* unpacked;
  } cases[] = {
      {&MediaFormat_YUV422Packed8, &MediaFormat_YUVA444_8},
      {&MediaFormat_YUV422Packed10, &MediaFormat_YUVA444_16},
      {&MediaFormat_YUV444_8, &MediaFormat_YUVA444_8},
      {&MediaFormat_YUVA444_8, &MediaFormat_YUVA444_8},
      {&MediaFormat_YUV444_16, &MediaFormat_YUVA444_16},
      {&MediaFormat_YUVA444_16, &MediaFormat_YUVA444_16},
      {&MediaFormat_Mono8, &MediaFormat_Mono8},
      {&MediaFormat_RGB8, &MediaFormat_RGBX8},
      {&MediaFormat_RGBA8, &MediaFormat_RGBA8},
      {&MediaFormat_RGBX8, &MediaFormat_RGBX8},
      {&MediaFormat_RGBA16, &MediaFormat_RGBA16},
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
