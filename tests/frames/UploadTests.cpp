// CPU frames uploaded into textures: formats, sizes, bytes against the CPU conversion, fields,
// and the frame's lock released on every way out.
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "DeviceFixture.h"
#include "FakeCpuFrame.h"
#include "VodideCreateTextureFromFrame.h"

using Microsoft::WRL::ComPtr;
using namespace vmdxtest;

namespace {

// Random samples in every plane row (floats kept within 0..1).
void FillRandom(FakeCpuFrame& frame, uint32_t seed) {
  std::mt19937 random(seed);
  CpuVidFrameMemory& r = frame.Record();
  const bool floats = IsEqualGUID(r.format, MediaFormat_RGBAFloat) || IsEqualGUID(r.format, MediaFormat_RGBAFloatAlt) ||
                      IsEqualGUID(r.format, MediaFormat_RGFloat);
  int32_t rowBytes[kMaxVideoPlanes] = {}, rows[kMaxVideoPlanes] = {};
  const int32_t planes = GetFormatVideoPlaneLayout(&r.format, r.width, r.height, kMaxVideoPlanes, nullptr, rowBytes,
                                                   nullptr, nullptr, rows);
  for (int32_t p = 0; p < planes; ++p)
    for (int32_t y = 0; y < rows[p]; ++y)
      for (int32_t x = 0; x < rowBytes[p]; x += floats ? 4 : 1) {
        uint8_t* at = r.planes[p].data + y * r.planes[p].pitch + x;
        const float v = static_cast<float>(random() % 1001) / 1000.0f;
        if (floats)
          std::memcpy(at, &v, 4);
        else
          *at = static_cast<uint8_t>(random());
      }
}

using Upload = DeviceFixture;

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
    HRESULT converted = S_OK;
    mediatest::Rows expected = CpuConverted(frame->Record(), unpacked, &converted);
    ASSERT_HR(converted, hr) << name << ": the upload fails exactly when the CPU conversion does";
    if (FAILED(hr)) continue;
    ++uploaded;
    const SurfaceBytes actual = Read(texture.Get());
    D3DFORMAT d3d = D3DFMT_UNKNOWN;
    ASSERT_HR(S_OK, GetDirectXFormatFromMedia(&d3d, unpacked));
    EXPECT_EQ(d3d, actual.desc.Format) << name;
    EXPECT_EQ(64u, actual.desc.Width) << name;
    mediatest::Rows got = actual.Rows();
    ASSERT_EQ(expected.size(), got.size()) << name;
    // The X byte of an X8R8G8B8 texture is not kept (Wine's reads it back as 0xFF).
    if (actual.desc.Format == D3DFMT_X8R8G8B8)
      for (size_t y = 0; y < got.size(); ++y)
        for (size_t x = 3; x < got[y].size() && x < expected[y].size(); x += 4) expected[y][x] = got[y][x] = 0;
    for (size_t y = 0; y < expected.size(); ++y) ASSERT_EQ(expected[y], got[y]) << name << " row " << y;
  }
  EXPECT_GE(uploaded, 15);
}

// Asked for its own format, packed 4:2:2 arrives in its native form: semi-planar, the chroma
// plane stacked below the luma in one A8 texture. (Without a target it is unpacked: above.)
TEST_F(Upload, Packed422IntoItsOwnFormatIsSemiPlanar) {
  auto frame = FakeCpuFrame::Make(MediaFormat_YUV422Packed8, 720, 576);
  FillRandom(*frame.Get(), 7);
  ComPtr<IDirect3DTexture9> texture;
  ASSERT_HR(S_OK, CreateTextureFromMem(&context_, &texture, &frame->Record(), &MediaFormat_YUV422Packed8));
  const SurfaceBytes actual = Read(texture.Get());
  EXPECT_EQ(D3DFMT_A8, actual.desc.Format);
  EXPECT_EQ(720u, actual.desc.Width);
  EXPECT_EQ(1152u, actual.desc.Height);
  EXPECT_TRUE(CpuConverted(frame->Record(), MediaFormat_YUV422SemiPlanar8) == actual.Rows());
}

TEST_F(Upload, RefusesWithoutDeviceOrPointers) {
  auto frame = FakeCpuFrame::Make(MediaFormat_RGBA8, 8, 8);
  ObserverCapture capture;
  DX9Context empty;
  ComPtr<IDirect3DTexture9> texture;
  EXPECT_HR_LOGGED(capture, E_POINTER, CreateTextureFromMem(&empty, &texture, &frame->Record(), nullptr), "Device3D");
  EXPECT_HR_LOGGED(capture, E_POINTER, CreateTextureFromMem(&context_, nullptr, &frame->Record(), nullptr), "ppTex");
  const GUID unknown = {0xBAD, 0, 0, {0}};
  EXPECT_HR_LOGGED(capture, E_VALUE_NOT_FOUND, CreateTextureFromMem(&context_, &texture, &frame->Record(), &unknown),
                   "GetDirectXNativeMediaFormatFrom");
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
      {0, {1, 2}, 40, 0, 1},                                                // progressive: whole frame
      {1, {0, 2}, 40, 0, 1},                                                // no field asked
      {1, {1, 3}, 40, 0, 1},                                                // unknown field
  };
  for (const Case& c : cases) {
    auto frame = NumberedRows(c.interlace, 40);
    ComPtr<IDirect3DTexture9> texture;
    ASSERT_HR(S_OK, CreateTextureFromFrame(&context_, &texture, frame->Unknown(), nullptr, &c.field));
    EXPECT_EQ(0, frame->LockCount());
    const SurfaceBytes bytes = Read(texture.Get());
    ASSERT_EQ(c.height, bytes.desc.Height) << "mode " << int(c.field.mode) << " field " << int(c.field.field);
    for (uint32_t y = 0; y < c.height; ++y)
      ASSERT_EQ(c.firstRow + static_cast<int>(y) * c.step, bytes.Row(y)[0]) << "row " << y;
  }
}

TEST_F(Upload, TheFramesLockIsReleasedOnEveryWayOut) {
  ObserverCapture capture;
  const GUID unknown = {0xBAD, 0, 0, {0}};
  auto frame = NumberedRows(0, 8);
  ComPtr<IDirect3DTexture9> texture;
  EXPECT_HR_LOGGED(capture, E_VALUE_NOT_FOUND,
                   CreateTextureFromFrame(&context_, &texture, frame->Unknown(), &unknown, nullptr),
                   "CreateTextureFromMem");
  EXPECT_EQ(0, frame->LockCount());

  frame->refuseLock = E_ACCESSDENIED;
  EXPECT_HR_LOGGED(capture, E_ACCESSDENIED,
                   CreateTextureFromFrame(&context_, &texture, frame->Unknown(), nullptr, nullptr), "Enter");
  EXPECT_EQ(0, frame->LockCount());
  frame->refuseLock = S_OK;

  DX9Context empty;
  EXPECT_HR(E_POINTER, CreateTextureFromFrame(&empty, &texture, frame->Unknown(), nullptr, nullptr));
  EXPECT_EQ(0, frame->LockCount());
  EXPECT_HR_LOGGED(capture, E_POINTER, CreateTextureFromFrame(&context_, &texture, nullptr, nullptr, nullptr),
                   "pFrame");
}

// End to end: a CPU frame bound to a stage is uploaded (converted on the way) and the copy shader
// draws exactly its pixels.
TEST_F(Upload, BoundCpuFrameIsDrawnPixelForPixel) {
  auto frame = FakeCpuFrame::Make(MediaFormat_YUV422Packed8, 32, 8);
  FillRandom(*frame.Get(), 11);
  ComPtr<IDirect3DTexture9> texture;
  ASSERT_HR(S_OK, context_.GetTextureFromFrame(&texture, frame->Unknown(), 0xFFFF));  // the option changes nothing
  EXPECT_EQ(0, frame->LockCount());
  texture.Reset();
  ASSERT_HR(S_OK, context_.SetTexture(0, frame->Unknown(), 0));
  for (D3DSAMPLERSTATETYPE state : {D3DSAMP_MINFILTER, D3DSAMP_MAGFILTER})
    context_.device->SetSamplerState(0, state, D3DTEXF_POINT);
  const std::vector<uint32_t> drawn = DrawFullTarget(MakeRenderTarget(32, 8).Get(), Shader(PixelShader_Copy).Get());
  const mediatest::Rows expected = CpuConverted(frame->Record(), MediaFormat_YUVA444_8);  // its A8R8G8B8 rows
  ASSERT_EQ(32u * 8u, drawn.size());
  for (int y = 0; y < 8; ++y) ASSERT_EQ(0, std::memcmp(expected[y].data(), &drawn[y * 32], 32 * 4)) << "row " << y;
  EXPECT_HR(S_OK, context_.UnsetTexture(0));
}

}  // namespace
