// CPU frames uploaded into textures: formats, sizes, bytes against the CPU conversion, fields,
// and the frame's lock released on every way out.
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "ConvertionCopyCpuVidFrameMemory.h"
#include "DeviceFixture.h"
#include "Error.h"
#include "FakeCpuFrame.h"
#include "VodideCreateTextureFromFrame.h"
#include "VodideDX9ResourceCache.h"

using Microsoft::WRL::ComPtr;
using namespace vmdxtest;

namespace {

struct PlaneShape {
  int32_t planes = 0;
  int32_t rowBytes[kMaxVideoPlanes] = {};
  int32_t rows[kMaxVideoPlanes] = {};
};

PlaneShape ShapeOf(const GUID& format, int32_t width, int32_t height) {
  PlaneShape s;
  s.planes = GetFormatVideoPlaneLayout(&format, width, height, kMaxVideoPlanes, nullptr, s.rowBytes, nullptr, nullptr,
                                       s.rows);
  return s;
}

void FillRandom(FakeCpuFrame& frame, uint32_t seed) {
  std::mt19937 random(seed);
  CpuVidFrameMemory& r = frame.Record();
  const PlaneShape shape = ShapeOf(r.format, r.width, r.height);
  const bool floats = IsEqualGUID(r.format, MediaFormat_RGBAFloat) || IsEqualGUID(r.format, MediaFormat_RGBAFloatAlt) ||
                      IsEqualGUID(r.format, MediaFormat_RGFloat);
  for (int32_t p = 0; p < shape.planes; ++p) {
    for (int32_t y = 0; y < shape.rows[p]; ++y) {
      uint8_t* row = r.planes[p].data + y * r.planes[p].pitch;
      if (floats) {
        for (int32_t x = 0; x + 4 <= shape.rowBytes[p]; x += 4) {
          const float v = static_cast<float>(random() % 1001) / 1000.0f;
          std::memcpy(row + x, &v, 4);
        }
      } else {
        for (int32_t x = 0; x < shape.rowBytes[p]; ++x) row[x] = static_cast<uint8_t>(random());
      }
    }
  }
}

// The texture's bytes, plane rows stacked, each plane row cut to its row bytes.
struct TextureBytes {
  D3DSURFACE_DESC desc{};
  std::vector<std::vector<uint8_t>> rows;
};

TextureBytes ReadTexture(IDirect3DTexture9* texture, const PlaneShape& shape) {
  TextureBytes out;
  EXPECT_HR(S_OK, texture->GetLevelDesc(0, &out.desc));
  const vmdx::LockedRect locked(texture, 0, D3DLOCK_READONLY);
  EXPECT_HR(S_OK, locked.status());
  uint32_t y0 = 0;
  for (int32_t p = 0; p < shape.planes; ++p, y0 += shape.rows[p - 1])
    for (int32_t y = 0; y < shape.rows[p]; ++y)
      out.rows.emplace_back(locked.scanline(y0 + y), locked.scanline(y0 + y) + shape.rowBytes[p]);
  return out;
}

// What the CPU conversion makes of source in format target, in the same row order.
HRESULT ConvertOnCpu(const CpuVidFrameMemory& source, const GUID& target, std::vector<std::vector<uint8_t>>* rows) {
  const PlaneShape shape = ShapeOf(target, source.width, source.height);
  std::vector<std::vector<uint8_t>> planes;
  CpuVidFrameMemory record{};
  record.format = target;
  record.width = source.width;
  record.height = source.height;
  for (int32_t p = 0; p < shape.planes; ++p) {
    planes.emplace_back(static_cast<size_t>(shape.rowBytes[p]) * shape.rows[p], uint8_t{0});
    record.planes[p] = {planes.back().data(), shape.rowBytes[p]};
  }
  const HRESULT hr =
      GuardedCall([&] { return CopyCpuVidFrameMemory(&source, &record, ConvertionMode_Direct, nullptr); });
  for (int32_t p = 0; p < shape.planes; ++p)
    for (int32_t y = 0; y < shape.rows[p]; ++y) {
      const uint8_t* row = planes[p].data() + int64_t{y} * shape.rowBytes[p];
      rows->emplace_back(row, row + shape.rowBytes[p]);
    }
  return hr;
}

class Upload : public DeviceFixture {};

TEST_F(Upload, EverySourceFormatMatchesTheCpuConversion) {
  std::vector<GUID> sources;
  for (const DirectXFormatRow& row : DirectXFormatTable) sources.push_back(row.mediaFormat);
  for (const GUID& cpuOnly : {MediaFormat_YUVA422Packed8, MediaFormat_YUVA422Packed10, MediaFormat_RGB16,
                              MediaFormat_ARGB8, MediaFormat_ARGB16})
    sources.push_back(cpuOnly);
  int uploaded = 0;
  for (const GUID& format : sources) {
    const std::string name = VarnicaMediaNameOf(&format, 0, 0);
    auto frame = FakeCpuFrame::Make(format, 64, 18, 0, 12);
    FillRandom(*frame.Get(), static_cast<uint32_t>(format.Data1));
    GUID unpacked{};
    ComPtr<IDirect3DTexture9> texture;
    const HRESULT hr = CreateTextureFromMem(&context_, &texture, &frame->Record(), nullptr);
    if (FAILED(GetDirectXUnpackedMediaFormatFrom(&unpacked, format))) {
      EXPECT_HR(E_VALUE_NOT_FOUND, hr) << name;
      continue;
    }
    std::vector<std::vector<uint8_t>> expected;
    const HRESULT converted = ConvertOnCpu(frame->Record(), unpacked, &expected);
    ASSERT_HR(converted, hr) << name << ": the upload fails exactly when the CPU conversion does";
    if (FAILED(hr)) continue;
    ++uploaded;
    const PlaneShape shape = ShapeOf(unpacked, 64, 18);
    const TextureBytes actual = ReadTexture(texture.Get(), shape);
    D3DFORMAT d3d = D3DFMT_UNKNOWN;
    ASSERT_HR(S_OK, GetDirectXFormatFromMedia(&d3d, unpacked));
    EXPECT_EQ(d3d, actual.desc.Format) << name;
    EXPECT_EQ(64u, actual.desc.Width) << name;
    ASSERT_EQ(expected.size(), actual.rows.size()) << name;
    // The X byte of an X8R8G8B8 texture is not kept (Wine's reads it back as 0xFF).
    const bool ignoreX = actual.desc.Format == D3DFMT_X8R8G8B8;
    for (size_t y = 0; y < expected.size(); ++y) {
      std::vector<uint8_t> want = expected[y], got = actual.rows[y];
      if (ignoreX)
        for (size_t x = 3; x < want.size() && x < got.size(); x += 4) want[x] = got[x] = 0;
      ASSERT_EQ(want, got) << name << " row " << y;
    }
  }
  EXPECT_GE(uploaded, 15);
}

TEST_F(Upload, Packed422WithAndWithoutTargetFormat) {
  auto frame = FakeCpuFrame::Make(MediaFormat_YUV422Packed8, 720, 576);
  FillRandom(*frame.Get(), 7);
  ComPtr<IDirect3DTexture9> unpacked;
  ASSERT_HR(S_OK, CreateTextureFromMem(&context_, &unpacked, &frame->Record(), nullptr));
  D3DSURFACE_DESC desc{};
  ASSERT_HR(S_OK, unpacked->GetLevelDesc(0, &desc));
  EXPECT_EQ(D3DFMT_A8R8G8B8, desc.Format);
  EXPECT_EQ(720u, desc.Width);
  EXPECT_EQ(576u, desc.Height);

  ComPtr<IDirect3DTexture9> native;
  ASSERT_HR(S_OK, CreateTextureFromMem(&context_, &native, &frame->Record(), &MediaFormat_YUV422Packed8));
  ASSERT_HR(S_OK, native->GetLevelDesc(0, &desc));
  EXPECT_EQ(D3DFMT_A8, desc.Format);
  EXPECT_EQ(720u, desc.Width);
  EXPECT_EQ(1152u, desc.Height);
  std::vector<std::vector<uint8_t>> expected;
  ASSERT_HR(S_OK, ConvertOnCpu(frame->Record(), MediaFormat_YUV422SemiPlanar8, &expected));
  const TextureBytes actual = ReadTexture(native.Get(), ShapeOf(MediaFormat_YUV422SemiPlanar8, 720, 576));
  ASSERT_EQ(expected.size(), actual.rows.size());
  EXPECT_TRUE(expected == actual.rows);
}

TEST_F(Upload, RefusesWithoutDeviceOrPointers) {
  auto frame = FakeCpuFrame::Make(MediaFormat_RGBA8, 8, 8);
  ObserverCapture capture;
  DX9Context empty;
  ComPtr<IDirect3DTexture9> texture;
  EXPECT_HR(E_POINTER, CreateTextureFromMem(&empty, &texture, &frame->Record(), nullptr));
  EXPECT_TRUE(capture.Contains("Device3D"));
  EXPECT_HR(E_POINTER, CreateTextureFromMem(&context_, nullptr, &frame->Record(), nullptr));
  EXPECT_TRUE(capture.Contains("ppTex"));
  const GUID unknown = {0xBAD, 0, 0, {0}};
  EXPECT_HR(E_VALUE_NOT_FOUND, CreateTextureFromMem(&context_, &texture, &frame->Record(), &unknown));
  EXPECT_TRUE(capture.Contains("GetDirectXNativeMediaFormatFrom"));
}

// Rows of an RGBA8 frame whose bytes name their row.
ComPtr<FakeCpuFrame> NumberedRows(int16_t interlace, int32_t height) {
  auto frame = FakeCpuFrame::Make(MediaFormat_RGBA8, 16, height, interlace);
  CpuVidFrameMemory& r = frame->Record();
  for (int32_t y = 0; y < height; ++y) std::memset(r.planes[0].data + y * r.planes[0].pitch, y, 16 * 4);
  return frame;
}

TEST_F(Upload, FieldsOfInterlacedFrames) {
  struct Case {
    int16_t interlace;
    FieldSelect field;
    uint32_t height;
    int firstRow, step;
  };
  const Case cases[] = {
      {1, {1, 1}, 20, 0, 2}, {1, {2, 2}, 20, 1, 2}, {2, {1, 2}, 20, 1, 2},  // field numbers, not parity by mode
      {0, {1, 2}, 40, 0, 1},                                                   // progressive: whole frame
      {1, {0, 2}, 40, 0, 1},                                                   // no field asked
      {1, {1, 3}, 40, 0, 1},                                                   // unknown field
  };
  for (const Case& c : cases) {
    auto frame = NumberedRows(c.interlace, 40);
    ComPtr<IDirect3DTexture9> texture;
    ASSERT_HR(S_OK, CreateTextureFromFrame(&context_, &texture, frame->Unknown(), nullptr, &c.field));
    EXPECT_EQ(0, frame->LockCount());
    const TextureBytes bytes = ReadTexture(texture.Get(), ShapeOf(MediaFormat_RGBA8, 16, c.height));
    ASSERT_EQ(c.height, bytes.desc.Height) << "mode " << int(c.field.mode) << " field " << int(c.field.field);
    for (uint32_t y = 0; y < c.height; ++y)
      ASSERT_EQ(c.firstRow + static_cast<int>(y) * c.step, bytes.rows[y][0]) << "row " << y;
  }
}

TEST_F(Upload, TheFramesLockIsReleasedOnEveryWayOut) {
  ObserverCapture capture;
  const GUID unknown = {0xBAD, 0, 0, {0}};
  auto frame = NumberedRows(0, 8);
  ComPtr<IDirect3DTexture9> texture;
  EXPECT_HR(E_VALUE_NOT_FOUND, CreateTextureFromFrame(&context_, &texture, frame->Unknown(), &unknown, nullptr));
  EXPECT_TRUE(capture.Contains("CreateTextureFromMem"));
  EXPECT_EQ(0, frame->LockCount());

  frame->refuseLock = E_ACCESSDENIED;
  EXPECT_HR(E_ACCESSDENIED, CreateTextureFromFrame(&context_, &texture, frame->Unknown(), nullptr, nullptr));
  EXPECT_TRUE(capture.Contains("Enter"));
  EXPECT_EQ(0, frame->LockCount());
  frame->refuseLock = S_OK;

  DX9Context empty;
  EXPECT_HR(E_POINTER, CreateTextureFromFrame(&empty, &texture, frame->Unknown(), nullptr, nullptr));
  EXPECT_EQ(0, frame->LockCount());
  EXPECT_HR(E_POINTER, CreateTextureFromFrame(&context_, &texture, nullptr, nullptr, nullptr));
  EXPECT_TRUE(capture.Contains("pFrame"));
}

// End to end: a CPU frame bound to a stage is uploaded (converted on the way) and the copy shader
// draws exactly its pixels.
TEST_F(Upload, BoundCpuFrameIsDrawnPixelForPixel) {
  auto frame = FakeCpuFrame::Make(MediaFormat_YUV422Packed8, 32, 8);
  FillRandom(*frame.Get(), 11);
  std::vector<std::vector<uint8_t>> expected;  // its A8R8G8B8 texture rows
  ASSERT_HR(S_OK, ConvertOnCpu(frame->Record(), MediaFormat_YUVA444_8, &expected));

  ComPtr<IDirect3DTexture9> texture;
  ASSERT_HR(S_OK, context_.GetTextureFromFrame(&texture, frame->Unknown(), 0xFFFF));  // the option changes nothing
  EXPECT_EQ(0, frame->LockCount());
  texture.Reset();
  ASSERT_HR(S_OK, context_.SetTexture(0, frame->Unknown(), 0));
  for (D3DSAMPLERSTATETYPE state : {D3DSAMP_MINFILTER, D3DSAMP_MAGFILTER})
    context_.device->SetSamplerState(0, state, D3DTEXF_POINT);
  CDX9ResourceCache cache;
  ComPtr<IDirect3DPixelShader9> copy;
  ASSERT_HR(S_OK, cache.ObtainPixelShader(context_, PixelShader_Copy, &copy));
  ComPtr<IDirect3DTexture9> target = MakeRenderTarget(32, 8);
  const std::vector<uint32_t> drawn = DrawFullTarget(target.Get(), copy.Get());
  ASSERT_EQ(32u * 8u, drawn.size());
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 32; ++x) {
      uint32_t want = 0;
      std::memcpy(&want, &expected[y][x * 4], 4);
      ASSERT_EQ(want, drawn[y * 32 + x]) << x << "," << y;
    }
  EXPECT_HR(S_OK, context_.UnsetTexture(0));
  copy.Reset();
  cache.Close();
}

}  // namespace
