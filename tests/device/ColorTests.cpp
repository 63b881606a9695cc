// Colour packing for clears and fills, YUV rows through the media module's colour-space service.
#include <algorithm>
#include <cmath>

#include <gtest/gtest.h>

#include "DeviceFixture.h"
#include "TestSupport.h"
#include "VodideDirectX9Color.h"

namespace {

using vmdxtest::ChannelDistance;

struct Bt601 {
  uint32_t y, u, v;
};

// Full-range BT.601 with U and V centred on 0, then shifted by one half and scaled to a byte.
Bt601 ReferenceYuv(const float rgba[4], double kr = 0.299, double kb = 0.114) {
  const double r = rgba[0], g = rgba[1], b = rgba[2];
  const double y = kr * r + (1 - kr - kb) * g + kb * b;
  const double u = (b - y) / (2 * (1 - kb)), v = (r - y) / (2 * (1 - kr));
  auto byte = [](double x) { return static_cast<uint32_t>(std::clamp(x, 0.0, 1.0) * 255.0); };
  return {byte(y), byte(u + 0.5), byte(v + 0.5)};
}

TEST(Color, RgbaToD3DColorClampsEachChannel) {
  const float rgba[4] = {1.5f, -0.2f, 0.5f, 1.0f};
  uint32_t color = 0;
  EXPECT_HR(S_OK, RgbaToD3DColor(&color, rgba));
  EXPECT_EQ(0xFFFF007Fu, color);
  EXPECT_HR(E_POINTER, RgbaToD3DColor(nullptr, rgba));
}

TEST(Color, RgbRowsPackInTheirFormatsChannelOrder) {
  CColorspaceService converter;
  const float red[4] = {1, 0, 0, 1};
  const float mixed[4] = {0.2f, 0.4f, 0.6f, 0.8f};
  const float over[4] = {1.5f, 0, 0, 1};  // the RGB rows keep the low 8 bits, no clamping
  for (const GUID* f : {&MediaFormat_RGBA8, &MediaFormat_RGBX8, &MediaFormat_RGB8, &MediaFormat_RGBAFloatAlt}) {
    SCOPED_TRACE(VarnicaMediaNameOf(f, 0, 0));
    uint32_t color = 0;
    EXPECT_HR(S_OK, ColorToD3DColor(&color, &converter, f, red));
    EXPECT_EQ(0xFFFF0000u, color);
    EXPECT_HR(S_OK, ColorToD3DColor(&color, &converter, f, mixed));
    EXPECT_EQ(0xCC336699u, color);
    EXPECT_HR(S_OK, ColorToD3DColor(&color, &converter, f, over));
    EXPECT_EQ(0xFF7E0000u, color);
  }
  for (const GUID* f : {&MediaFormat_RGBA16, &MediaFormat_RGBA16Alt, &MediaFormat_RGBAFloat}) {
    SCOPED_TRACE(VarnicaMediaNameOf(f, 0, 0));
    uint32_t color = 0;
    EXPECT_HR(S_OK, ColorToD3DColor(&color, &converter, f, red));
    EXPECT_EQ(0xFF0000FFu, color);
    EXPECT_HR(S_OK, ColorToD3DColor(&color, &converter, f, mixed));
    EXPECT_EQ(0xCC996633u, color);
  }
}

TEST(Color, YuvRowsMatchBt601AndAreOpaque) {
  CColorspaceService converter;
  const float colors[][4] = {{1, 0, 0, 0.5f},       {0, 1, 0, 1}, {0, 0, 1, 0},
                             {0.2f, 0.4f, 0.6f, 1}, {0, 0, 0, 1}, {1, 1, 1, 1}};
  for (const auto& rgba : colors) {
    const Bt601 ref = ReferenceYuv(rgba);
    uint32_t color = 0;
    EXPECT_HR(S_OK, ColorToD3DColor(&color, &converter, &MediaFormat_YUV444_8, rgba));
    EXPECT_LE(ChannelDistance(0xFF000000u | ref.y << 16 | ref.u << 8 | ref.v, color), 1) << std::hex << color;
    EXPECT_EQ(0xFFu, color >> 24);
    uint32_t same = 0;
    EXPECT_HR(S_OK, ColorToD3DColor(&same, &converter, &MediaFormat_YUVA444_8, rgba));
    EXPECT_EQ(color, same);
    EXPECT_HR(S_OK, ColorToD3DColor(&color, &converter, &MediaFormat_YUV444_16, rgba));
    EXPECT_LE(ChannelDistance(0xFF000000u | ref.v << 16 | ref.u << 8 | ref.y, color), 1) << std::hex << color;
    EXPECT_HR(S_OK, ColorToD3DColor(&same, &converter, &MediaFormat_YUVA444_16, rgba));
    EXPECT_EQ(color, same);
  }
  // Pure red, worked by hand: Y 76, U 84, V 255.
  uint32_t color = 0;
  EXPECT_HR(S_OK, ColorToD3DColor(&color, &converter, &MediaFormat_YUV444_8, colors[0]));
  EXPECT_EQ(0xFF4C54FFu, color);
}

TEST(Color, SelectedColorspaceIsUsed) {
  CColorspaceService converter;
  converter.SetColorspace(Colorspace_BT709);
  const float red[4] = {1, 0, 0, 1};
  const Bt601 ref = ReferenceYuv(red, 0.2126, 0.0722);
  uint32_t color = 0;
  EXPECT_HR(S_OK, ColorToD3DColor(&color, &converter, &MediaFormat_YUV444_8, red));
  EXPECT_LE(ChannelDistance(0xFF000000u | ref.y << 16 | ref.u << 8 | ref.v, color), 1) << std::hex << color;
  CColorspaceService other;  // another holder keeps its own setting
  EXPECT_HR(S_OK, ColorToD3DColor(&color, &other, &MediaFormat_YUV444_8, red));
  EXPECT_EQ(0xFF4C54FFu, color);
}

TEST(Color, MissingServiceIsReported) {
  // Take the service away for this test only.
  ISingletonRegistry* singletons = _GetSingletonObject();
  Microsoft::WRL::ComPtr<IUnknown> service;
  ASSERT_HR(S_OK, singletons->GetObject(CLSID_MediaColorspaceService, IID_IUnknown,
                                        reinterpret_cast<void**>(service.GetAddressOf())));
  ASSERT_HR(S_OK, singletons->UnregisterObject(CLSID_MediaColorspaceService));
  {
    vmdxtest::PrintLevelScope errors(LOG_ERROR);
    vmdxtest::ObserverCapture capture;
    CColorspaceService converter;
    const float red[4] = {1, 0, 0, 1};
    uint32_t color = 0x12345678;
    EXPECT_TRUE(FAILED(ColorToD3DColor(&color, &converter, &MediaFormat_YUV444_8, red)));
    EXPECT_EQ(0x12345678u, color);
    EXPECT_TRUE(capture.Contains("Could not create MediaColorspaceService\n"));
    EXPECT_TRUE(capture.Contains("CreateService"));
    EXPECT_TRUE(capture.Contains("RgbToYuv"));
  }
  ASSERT_HR(S_OK, singletons->RegisterObject(CLSID_MediaColorspaceService, service.Get()));
}

TEST(Color, FormatsWithoutPackingAreRefused) {
  CColorspaceService converter;
  const float red[4] = {1, 0, 0, 1};
  vmdxtest::ObserverCapture capture;
  uint32_t color = 0x12345678;
  EXPECT_HR(E_UNSUPPORTED, ColorToD3DColor(&color, &converter, &MediaFormat_Mono8, red));
  EXPECT_HR(E_UNSUPPORTED, ColorToD3DColor(&color, &converter, &MediaFormat_RGBA8Alt, red));
  EXPECT_EQ(0x12345678u, color);
  EXPECT_EQ(2, capture.Count("format"));
  EXPECT_HR_LOGGED(capture, E_POINTER, ColorToD3DColor(nullptr, &converter, &MediaFormat_RGBA8, red), "pColor");
}

}  // namespace
