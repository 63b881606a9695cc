// The media-format table's lookups, including which row answers a shared key.
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "VarnicaMediaDirectX9.h"

namespace {

constexpr GUID kSentinel = {0xDEADBEEF, 0x1111, 0x2222, {1, 2, 3, 4, 5, 6, 7, 8}};

const char* Name(const GUID& format) { return VarnicaMediaNameOf(&format, 0, 0); }

// Rows whose GPU form differs from the format itself.
TEST(FormatTable, FormatsHeldInAnotherFormatOnTheGpu) {
  GUID out{};
  D3DFORMAT d3d{};
  EXPECT_HR(S_OK, GetDirectXNativeMediaFormatFrom(&out, MediaFormat_YUV422Packed8));
  EXPECT_STREQ(Name(MediaFormat_YUV422SemiPlanar8), Name(out));
  for (const GUID* f : {&MediaFormat_YUV422Packed8, &MediaFormat_YUV422SemiPlanar8}) {
    EXPECT_HR(S_OK, GetDirectXUnpackedMediaFormatFrom(&out, *f));
    EXPECT_STREQ(Name(MediaFormat_YUVA444_8), Name(out));
    EXPECT_HR(S_OK, GetDirectXFormatFromMedia(&d3d, *f));
    EXPECT_EQ(D3DFMT_A8, d3d);
  }
  EXPECT_HR(S_OK, GetDirectXNativeMediaFormatFrom(&out, MediaFormat_RGB8));
  EXPECT_STREQ(Name(MediaFormat_RGBX8), Name(out));
  EXPECT_HR(S_OK, GetDirectXUnpackedMediaFormatFrom(&out, MediaFormat_YUV422Packed10));
  EXPECT_STREQ(Name(MediaFormat_YUVA444_16), Name(out));
  EXPECT_HR(S_OK, GetDirectXFormatFromMedia(&d3d, MediaFormat_RGFloat));
  EXPECT_EQ(D3DFMT_G32R32F, d3d);
}

TEST(FormatTable, SharedKeysAnswerWithTheLastRowCarryingThem) {
  const struct {
    D3DFORMAT d3d;
    const GUID* format;
  } byDirectX[] = {
      {D3DFMT_X8R8G8B8, &MediaFormat_RGBX8},         {D3DFMT_A8R8G8B8, &MediaFormat_RGBA8Alt},
      {D3DFMT_A8, &MediaFormat_Mono8},               {D3DFMT_A16B16G16R16, &MediaFormat_RGBA16Alt},
      {D3DFMT_G16R16, &MediaFormat_RG16},            {D3DFMT_A32B32G32R32F, &MediaFormat_RGBAFloatAlt},
      {D3DFMT_G32R32F, &MediaFormat_RGFloat},
  };
  for (const auto& c : byDirectX) {
    GUID format{};
    EXPECT_HR(S_OK, GetMediaFormatDirectX(&format, c.d3d));
    EXPECT_STREQ(VarnicaMediaNameOf(c.format, 0, 0), VarnicaMediaNameOf(&format, 0, 0)) << "D3DFORMAT " << c.d3d;
  }
  const struct {
    int32_t matrix;
    const GUID* format;
    const GUID* native;
    D3DFORMAT d3d;
  } byMatrix[] = {
      {16, &MediaFormat_YUV444_8, &MediaFormat_YUVA444_8, D3DFMT_X8R8G8B8},
      {24, &MediaFormat_RGBX8, &MediaFormat_RGBX8, D3DFMT_X8R8G8B8},
      {0, &MediaFormat_Mono8, &MediaFormat_Mono8, D3DFMT_A8},
      {18, &MediaFormat_YUV444_16, &MediaFormat_YUVA444_16, D3DFMT_A16B16G16R16},
      {26, &MediaFormat_RGBA16Alt, &MediaFormat_RGBA16Alt, D3DFMT_A16B16G16R16},
      {10, &MediaFormat_RG16, &MediaFormat_RG16, D3DFMT_G16R16},
      {29, &MediaFormat_RGBAFloatAlt, &MediaFormat_RGBAFloatAlt, D3DFMT_A32B32G32R32F},
      {13, &MediaFormat_RGFloat, &MediaFormat_RGFloat, D3DFMT_G32R32F},
  };
  for (const auto& c : byMatrix) {
    SCOPED_TRACE(c.matrix);
    GUID format{}, native{};
    D3DFORMAT d3d{};
    EXPECT_HR(S_OK, GetMediaFormatFromOcv(&format, c.matrix, 0));
    EXPECT_HR(S_OK, GetMediaFormatFromOcv(&native, c.matrix, 1));
    EXPECT_HR(S_OK, GetDirectXFormatFromOcv(&d3d, c.matrix));
    EXPECT_TRUE(varnica::SameGuid(*c.format, format));
    EXPECT_TRUE(varnica::SameGuid(*c.native, native));
    EXPECT_EQ(c.d3d, d3d);
  }
  int32_t matrix = -1;
  EXPECT_HR(S_OK, GetOcvFormatFromDirectX(&matrix, D3DFMT_A8R8G8B8));
  EXPECT_EQ(24, matrix);
}

TEST(FormatTable, UnknownKeysLeaveTheOutputAlone) {
  GUID nearly = MediaFormat_RGBA8;
  nearly.Data4[7] ^= 0x01;
  GUID out = kSentinel;
  EXPECT_HR(E_VALUE_NOT_FOUND, GetDirectXNativeMediaFormatFrom(&out, nearly));
  EXPECT_HR(E_VALUE_NOT_FOUND, GetDirectXUnpackedMediaFormatFrom(&out, MediaFormat_YUVA422Packed8));
  EXPECT_HR(E_VALUE_NOT_FOUND, GetMediaFormatDirectX(&out, D3DFMT_R5G6B5));
  EXPECT_HR(E_VALUE_NOT_FOUND, GetMediaFormatFromOcv(&out, 7, 0));
  EXPECT_TRUE(varnica::SameGuid(kSentinel, out));
  D3DFORMAT d3d = D3DFMT_UNKNOWN;
  EXPECT_HR(E_VALUE_NOT_FOUND, GetDirectXFormatFromMedia(&d3d, MediaFormat_ARGB8));
  EXPECT_HR(E_VALUE_NOT_FOUND, GetDirectXFormatFromOcv(&d3d, 99));
  EXPECT_EQ(D3DFMT_UNKNOWN, d3d);
  int32_t matrix = -7;
  EXPECT_HR(E_VALUE_NOT_FOUND, GetOcvFormatFromDirectX(&matrix, D3DFMT_R5G6B5));
  EXPECT_EQ(-7, matrix);
}

TEST(FormatTable, NullOutputIsRefusedEvenForKnownKeys) {
  EXPECT_HR(E_POINTER, GetDirectXFormatFromMedia(nullptr, MediaFormat_RGBA8));
  EXPECT_HR(E_POINTER, GetDirectXNativeMediaFormatFrom(nullptr, MediaFormat_RGBA8));
  EXPECT_HR(E_POINTER, GetDirectXUnpackedMediaFormatFrom(nullptr, MediaFormat_RGBA8));
  EXPECT_HR(E_POINTER, GetMediaFormatDirectX(nullptr, D3DFMT_A8R8G8B8));
  EXPECT_HR(E_POINTER, GetOcvFormatFromMedia(nullptr, MediaFormat_RGBA8));
  EXPECT_HR(E_POINTER, GetOcvFormatFromDirectX(nullptr, D3DFMT_A8R8G8B8));
  EXPECT_HR(E_POINTER, GetDirectXFormatFromOcv(nullptr, 24));
  EXPECT_HR(E_POINTER, GetMediaFormatFromOcv(nullptr, 24, 0));
}

}  // namespace
