#include "VodideDirectX9Color.h"

#include <algorithm>

#include "Diagnostics.h"
#include "Error.h"

namespace {

constexpr char kSourceFile[] = "src/VodideDirectX9Color";

// Truncated toward zero; the RGB rows keep the low 8 bits without clamping.
uint32_t Byte(float channel) { return static_cast<uint32_t>(static_cast<int32_t>(channel * 255.0f)) & 0xFF; }

uint32_t ClampedUnitByte(float value) {
  return static_cast<uint32_t>(std::clamp(value, 0.0f, 1.0f) * 255.0f);
}

bool IsOneOf(const GUID& format, std::initializer_list<GUID> formats) {
  for (const GUID& f : formats) {
    if (varnica::SameGuid(format, f)) return true;
  }
  return false;
}

uint32_t YuvColor(CColorspaceService* converter, const float rgba[4], bool sixteenBit) {
  if (converter == nullptr) ThrowError(E_POINTER, VLOC, "colorConverter");
  const float rgb[3] = {rgba[0], rgba[1], rgba[2]};
  float yuv[3] = {};
  try {
    converter->RgbToYuv(rgb, yuv);
  } catch (IException* e) {
    // Reported where it happened; raised on with this helper's text.
    HRESULT code = HandleObserverCatchedException(e);
    ThrowError(code, VLOC, "RgbToYuv");
  }
  const uint32_t y = ClampedUnitByte(yuv[0]);
  const uint32_t u = ClampedUnitByte(yuv[1] + 0.5f);
  const uint32_t v = ClampedUnitByte(yuv[2] + 0.5f);
  // A8R8G8B8 stores blue first, A16B16G16R16 red first: both give V, U, Y, A in memory.
  return sixteenBit ? (0xFFu << 24 | v << 16 | u << 8 | y) : (0xFFu << 24 | y << 16 | u << 8 | v);
}

}  // namespace

HRESULT RgbaToD3DColor(uint32_t* color, const float rgba[4]) {
  if (color == nullptr || rgba == nullptr) return E_POINTER;
  auto channel = [](float c) -> uint32_t {
    const float scaled = c * 255.0f;
    if (!(scaled > 0.0f)) return 0;  // also NaN
    if (scaled >= 255.0f) return 255;
    return static_cast<uint32_t>(scaled);
  };
  *color = channel(rgba[3]) << 24 | channel(rgba[0]) << 16 | channel(rgba[1]) << 8 | channel(rgba[2]);
  return S_OK;
}

HRESULT ColorToD3DColor(uint32_t* color, CColorspaceService* colorConverter, const GUID* mediaFormat,
                        const float rgba[4]) {
  return GuardedCall([&]() -> HRESULT {
    CheckPointer(color, VLOC, "pColor");
    CheckPointer(mediaFormat, VLOC, "pFormat");
    CheckPointer(rgba, VLOC, "pRgba");
    const GUID& f = *mediaFormat;
    uint32_t result = 0;
    if (IsOneOf(f, {MediaFormat_YUV444_8, MediaFormat_YUVA444_8})) {
      result = YuvColor(colorConverter, rgba, false);
    } else if (IsOneOf(f, {MediaFormat_YUV444_16, MediaFormat_YUVA444_16})) {
      result = YuvColor(colorConverter, rgba, true);
    } else if (IsOneOf(f, {MediaFormat_RGBA8, MediaFormat_RGBX8, MediaFormat_RGB8, MediaFormat_RGBAFloatAlt})) {
      result = Byte(rgba[3]) << 24 | Byte(rgba[0]) << 16 | Byte(rgba[1]) << 8 | Byte(rgba[2]);
    } else if (IsOneOf(f, {MediaFormat_RGBA16, MediaFormat_RGBA16Alt, MediaFormat_RGBAFloat})) {
      result = Byte(rgba[3]) << 24 | Byte(rgba[2]) << 16 | Byte(rgba[1]) << 8 | Byte(rgba[0]);
    } else {
      ThrowError(E_UNSUPPORTED, VLOC, "format");
    }
    *color = result;
    return S_OK;
  });
}
