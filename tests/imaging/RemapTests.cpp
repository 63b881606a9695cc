// The remap renderer against a CPU reference of its three filters, its address modes and its
// state and reference rules.
#include <algorithm>
#include <cmath>
#include <memory>
#include <optional>

#include "DeviceFixture.h"
#include "PixelReference.h"
#include "VodideCreateMediaFrameDX9.h"
#include "VodideDX9FisheyeRectify.h"
#include "VodideDX9Remap.h"

using Microsoft::WRL::ComPtr;
using namespace vmdxtest;

namespace {

constexpr uint32_t kSourceWidth = 16, kSourceHeight = 12;

// One (x, y) coordinate per map pixel, rows top to bottom (a D3DFMT_G32R32F texel).
struct MapCoordinate {
  float x, y;
};

// The source: every channel of every texel a different level.
std::vector<uint32_t> SourcePixels() {
  std::vector<uint32_t> pixels(kSourceWidth * kSourceHeight);
  uint32_t state = 12345;
  for (uint32_t& p : pixels) {
    state = state * 1664525u + 1013904223u;
    p = state;
  }
  return pixels;
}

int Channel(uint32_t pixel, int c) { return static_cast<int>((pixel >> (8 * c)) & 0xFF); }

// The source as the sampler reads it: the picture through an address mode and border colour.
struct SourceImage {
  Picture picture;
  D3DTEXTUREADDRESS address = D3DTADDRESS_CLAMP;
  uint32_t border = 0;
  uint32_t At(int x, int y) const { return Texel(picture, x, y, address, border); }
  uint32_t Point(double u, double v) const { return SamplePoint(picture, u, v, address, border); }
  // What remap shader 5 gives for map coordinate m: sampled half a texel further on.
  uint32_t Nearest(MapCoordinate m) const { return Point(m.x + 0.5 / kSourceWidth, m.y + 0.5 / kSourceHeight); }
  // Shader 4 likewise, through the linear filter.
  uint32_t Bilinear(MapCoordinate m) const {
    return Pack(SampleLinear(picture, m.x + 0.5 / kSourceWidth, m.y + 0.5 / kSourceHeight, address, border));
  }
};

double CatmullRom(double d) {
  const double a = std::abs(d);
  if (a <= 1) return 1.5 * a * a * a - 2.5 * a * a + 1;
  if (a < 2) return -0.5 * a * a * a + 2.5 * a * a - 4 * a + 2;
  return 0;
}

// A weighted sum of texels, normalised by the weights' total as the cubic shaders do.
struct WeightedSum {
  double sum[4] = {}, total = 0;
  void Add(uint32_t texel, double weight) {
    for (int c = 0; c < 4; ++c) sum[c] += Channel(texel, c) * weight;
    total += weight;
  }
  uint32_t Result() const {
    uint32_t out = 0;
    for (int c = 0; c < 4; ++c)
      out |= static_cast<uint32_t>(std::lround(std::clamp(sum[c] / std::abs(total), 0.0, 255.0))) << (8 * c);
    return out;
  }
};

// Shader 6 at map pixel (i, j): 5 x 5 map neighbours (the map mirrored at its edges), each one
// source texel weighted by its distance from the exact mapped position. None when a texel pick
// lies too close to a texel edge to be sure which one single precision takes.
std::optional<uint32_t> CubicGather(const SourceImage& source, const std::vector<MapCoordinate>& map, int mapW,
                                    int mapH, int i, int j) {
  const MapCoordinate centre = map[j * mapW + i];
  const double cx = centre.x * kSourceWidth, cy = centre.y * kSourceHeight;
  WeightedSum sum;
  for (int dy = -2; dy <= 2; ++dy) {
    for (int dx = -2; dx <= 2; ++dx) {
      const MapCoordinate m =
          map[Fold(j + dy, mapH, D3DTADDRESS_MIRROR) * mapW + Fold(i + dx, mapW, D3DTADDRESS_MIRROR)];
      const double px = m.x * kSourceWidth, py = m.y * kSourceHeight;
      for (double p : {px, py})
        if (std::abs(p - std::round(p)) < 1e-3) return std::nullopt;
      sum.Add(source.Point(m.x, m.y), CatmullRom(std::floor(px) + 0.5 - cx) * CatmullRom(std::floor(py) + 0.5 - cy));
    }
  }
  return sum.Result();
}

// Whether shader 5's nearest pick for m is clear of a texel edge.
bool ClearOfTies(MapCoordinate m) {
  for (double p : {m.x * double{kSourceWidth} + 0.5, m.y * double{kSourceHeight} + 0.5})
    if (std::abs(p - std::round(p)) < 1e-3) return false;
  return true;
}

class Remap : public DeviceFixture {
 protected:
  void SetUp() override {
    DeviceFixture::SetUp();
    if (IsSkipped()) return;
    source_.picture = {int(kSourceWidth), int(kSourceHeight), SourcePixels()};
    sourceTexture_ = MakeTexture(kSourceWidth, kSourceHeight, D3DFMT_A8R8G8B8, source_.picture.pixels);
    remap_ = std::make_unique<CDX9Remap>(&context_, &cache_);
    ASSERT_HR(S_OK, remap_->CheckDevice());
    ASSERT_HR(S_OK, remap_->SetSourceTexture(sourceTexture_.Get()));
    ASSERT_HR(S_OK, remap_->SetAddressMode(RemapAddress_Clamp));
  }
  void TearDown() override {
    remap_.reset();  // it holds the device through its buffer and textures
    sourceTexture_.Reset();
    DeviceFixture::TearDown();
  }
  ComPtr<IDirect3DTexture9> MakeMap(uint32_t width, uint32_t height, const std::vector<MapCoordinate>& map) {
    return MakeTexture(width, height, D3DFMT_G32R32F, map.data());
  }
  Picture Render(uint32_t width, uint32_t height) {
    ComPtr<IDirect3DTexture9> target;
    EXPECT_HR(S_OK, remap_->CreateRemapTexture(&target, width, height, D3DFMT_A8R8G8B8));
    return target ? Read(target.Get()).AsPicture() : Picture{};
  }
  // A smooth map: the source turned by 7 degrees and scaled by 0.8 about a point inside it.
  static std::vector<MapCoordinate> TurnedMap(uint32_t width, uint32_t height) {
    std::vector<MapCoordinate> map(width * height);
    const double c = std::cos(0.122) * 0.8, s = std::sin(0.122) * 0.8;
    for (uint32_t j = 0; j < height; ++j)
      for (uint32_t i = 0; i < width; ++i) {
        const double x = i - width / 2.0, y = j - height / 2.0;
        map[j * width + i] = {static_cast<float>((c * x - s * y + 8.137) / kSourceWidth),
                              static_cast<float>((s * x + c * y + 6.071) / kSourceHeight)};
      }
    return map;
  }

  SourceImage source_;
  ComPtr<IDirect3DTexture9> sourceTexture_;
  std::unique_ptr<CDX9Remap> remap_;
};

TEST_F(Remap, FiltersFollowTheReference) {
  constexpr uint32_t kWidth = 20, kHeight = 15;
  const std::vector<MapCoordinate> coordinates = TurnedMap(kWidth, kHeight);
  ComPtr<IDirect3DTexture9> map = MakeMap(kWidth, kHeight, coordinates);
  ASSERT_HR(S_OK, remap_->SetMapTexture(map.Get()));
  struct Case {
    int32_t mode;
    int tolerance;
  };
  for (const Case c :
       {Case{RemapInterpolation_Nearest, 0}, Case{RemapInterpolation_Bilinear, 2}, Case{RemapInterpolation_Cubic, 2}}) {
    SCOPED_TRACE(testing::Message() << "mode " << c.mode);
    remap_->SetInterpolation(c.mode);
    auto reference = [&](int i, int j) -> std::optional<uint32_t> {
      const MapCoordinate m = coordinates[j * kWidth + i];
      if (c.mode == RemapInterpolation_Nearest) return ClearOfTies(m) ? source_.Nearest(m) : std::optional<uint32_t>();
      if (c.mode == RemapInterpolation_Bilinear) return source_.Bilinear(m);
      return CubicGather(source_, coordinates, kWidth, kHeight, i, j);
    };
    const PixelCheck check = ComparePixels(Render(kWidth, kHeight), reference, c.tolerance);
    EXPECT_EQ(0, check.wrong);
    EXPECT_GT(check.compared, static_cast<int>(kWidth * kHeight * 9 / 10));
  }
}

TEST_F(Remap, AddressModesAndTheBorderColour) {
  // Coordinates well beyond the source on every side; the last row holds the rectifier's mark
  // of pixels no source pixel shows.
  constexpr uint32_t kWidth = 24, kHeight = 9;
  std::vector<MapCoordinate> coordinates(kWidth * kHeight);
  for (uint32_t j = 0; j < kHeight; ++j)
    for (uint32_t i = 0; i < kWidth; ++i)
      coordinates[j * kWidth + i] = j + 1 == kHeight
                                        ? MapCoordinate{kFisheyeInvalidCoordinate, kFisheyeInvalidCoordinate}
                                        : MapCoordinate{static_cast<float>((-9.2 + 1.75 * i) / kSourceWidth),
                                                        static_cast<float>((-7.3 + 3.1 * j) / kSourceHeight)};
  ComPtr<IDirect3DTexture9> map = MakeMap(kWidth, kHeight, coordinates);
  ASSERT_HR(S_OK, remap_->SetMapTexture(map.Get()));
  remap_->SetInterpolation(RemapInterpolation_Nearest);
  constexpr D3DCOLOR kBorder = 0x80402010;
  ASSERT_HR(S_OK, remap_->SetBorderColor(kBorder));
  source_.border = kBorder;
  struct Case {
    int32_t mode;
    D3DTEXTUREADDRESS address;
  };
  const Case cases[] = {{0, D3DTADDRESS_BORDER},
                        {1, D3DTADDRESS_CLAMP},
                        {2, D3DTADDRESS_MIRROR},
                        {3, D3DTADDRESS_WRAP},
                        {9, D3DTADDRESS_BORDER}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "address mode " << c.mode);
    ASSERT_HR(S_OK, remap_->SetAddressMode(c.mode));
    DWORD state[3] = {};
    context_.device->GetSamplerState(0, D3DSAMP_ADDRESSU, &state[0]);
    context_.device->GetSamplerState(1, D3DSAMP_ADDRESSU, &state[1]);
    context_.device->GetSamplerState(1, D3DSAMP_ADDRESSV, &state[2]);
    EXPECT_EQ(static_cast<DWORD>(c.address), state[0]);
    EXPECT_EQ(static_cast<DWORD>(D3DTADDRESS_MIRROR), state[1]);
    EXPECT_EQ(static_cast<DWORD>(D3DTADDRESS_MIRROR), state[2]);
    source_.address = c.address;
    // The far-off mark has no texel precision left in wrap and mirror modes: only the border
    // and clamp answers are defined there.
    const int rows = c.address == D3DTADDRESS_BORDER || c.address == D3DTADDRESS_CLAMP ? kHeight : kHeight - 1;
    const PixelCheck check = ComparePixels(Render(kWidth, kHeight), [&](int i, int j) -> std::optional<uint32_t> {
      if (j >= rows) return std::nullopt;
      return source_.Nearest(coordinates[j * kWidth + i]);
    });
    EXPECT_EQ(0, check.wrong);
    EXPECT_EQ(rows * int(kWidth), check.compared);
  }
}

TEST_F(Remap, SamplerFiltersFollowTheModeAndTheMapSize) {
  // A render leaves the samplers as its set-up chose them: the video filter by the stored
  // mode (an unknown mode is bilinear), the map filter by whether the map has the source's size.
  struct Case {
    int32_t interpolation;
    uint32_t mapWidth;
    D3DTEXTUREFILTERTYPE video, map;
  };
  const Case cases[] = {
      {7, kSourceWidth, D3DTEXF_LINEAR, D3DTEXF_POINT},
      {0, kSourceWidth, D3DTEXF_POINT, D3DTEXF_POINT},
      {2, kSourceWidth / 2, D3DTEXF_POINT, D3DTEXF_LINEAR},
      {1, kSourceWidth / 2, D3DTEXF_LINEAR, D3DTEXF_LINEAR},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "interpolation " << c.interpolation << ", map width " << c.mapWidth);
    ComPtr<IDirect3DTexture9> map =
        MakeMap(c.mapWidth, kSourceHeight, std::vector<MapCoordinate>(c.mapWidth * kSourceHeight));
    ASSERT_HR(S_OK, remap_->SetMapTexture(map.Get()));
    remap_->SetInterpolation(c.interpolation);
    ASSERT_EQ(64u, Render(8, 8).pixels.size());
    for (DWORD sampler : {0, 1})
      for (D3DSAMPLERSTATETYPE type : {D3DSAMP_MINFILTER, D3DSAMP_MAGFILTER}) {
        DWORD filter = 0;
        context_.device->GetSamplerState(sampler, type, &filter);
        EXPECT_EQ(static_cast<DWORD>(sampler == 0 ? c.video : c.map), filter) << "sampler " << sampler << " " << type;
      }
  }
}

TEST_F(Remap, CubicResamplingOfTheSource) {
  // Shader 7 (SetupShader mode 3) scales the source itself; the map is not read.
  constexpr uint32_t kWidth = 40, kHeight = 30;
  ComPtr<IDirect3DTexture9> map = MakeMap(4, 4, std::vector<MapCoordinate>(16));
  ASSERT_HR(S_OK, remap_->SetMapTexture(map.Get()));
  ComPtr<IDirect3DTexture9> target = MakeRenderTarget(kWidth, kHeight);
  ASSERT_HR(S_OK, context_.SetTexture(0, sourceTexture_.Get()));
  ASSERT_HR(S_OK, remap_->SetupShader(RemapInterpolation_CubicResample));
  DrawQuad(target.Get());
  context_.UnsetPixelShader();
  context_.UnsetTexture(0);
  auto reference = [&](int i, int j) {
    const double px = (i + 0.5) / kWidth * kSourceWidth, py = (j + 0.5) / kHeight * kSourceHeight;
    const int bx = static_cast<int>(std::floor(px - 0.5)), by = static_cast<int>(std::floor(py - 0.5));
    WeightedSum sum;
    for (int dy = -2; dy <= 2; ++dy)
      for (int dx = -2; dx <= 2; ++dx)
        sum.Add(source_.At(bx + dx, by + dy), CatmullRom(bx + dx + 0.5 - px) * CatmullRom(by + dy + 0.5 - py));
    return sum.Result();
  };
  const PixelCheck check = ComparePixels(Read(target.Get()).AsPicture(), reference, 2);
  EXPECT_EQ(0, check.wrong);
  EXPECT_EQ(int(kWidth * kHeight), check.compared);
}

TEST_F(Remap, TexturesAreHeldOnceAndFramesGiveTheirOwn) {
  auto references = [](IUnknown* p) {
    p->AddRef();
    return p->Release();
  };
  const ULONG before = references(sourceTexture_.Get());
  ASSERT_HR(S_OK, remap_->SetSourceTexture(sourceTexture_.Get()));
  EXPECT_EQ(before, references(sourceTexture_.Get()));

  ComPtr<IDirect3DTexture9> other = MakeTexture(4, 4, D3DFMT_A8R8G8B8, std::vector<uint32_t>(16));
  ComPtr<IMediaDirectX9VideoFrame> frame;
  ASSERT_HR(S_OK,
            CreateMediaDirectX9VideoFrame(IID_IMediaDirectX9VideoFrame, reinterpret_cast<void**>(frame.GetAddressOf()),
                                          &MediaFormat_RGBA8, other.Get()));
  const ULONG otherBefore = references(other.Get());
  ASSERT_HR(S_OK, remap_->SetSourceTexture(frame.Get()));
  EXPECT_EQ(before - 1, references(sourceTexture_.Get()));
  EXPECT_EQ(otherBefore + 1, references(other.Get()));
  ASSERT_HR(S_OK, remap_->SetSourceTexture(frame.Get()));
  EXPECT_EQ(otherBefore + 1, references(other.Get()));
}

TEST_F(Remap, RefusalsLeaveTheDeviceAsItWas) {
  ObserverCapture capture;
  CDX9Remap fresh(&context_, &cache_);
  ComPtr<IDirect3DTexture9> target;
  EXPECT_HR_LOGGED(capture, E_POINTER, fresh.CreateRemapTexture(&target, 8, 8, D3DFMT_A8R8G8B8),
                   "mVB, see Initialize()");
  EXPECT_HR_LOGGED(capture, E_POINTER, remap_->SetSourceTexture(static_cast<IDirect3DTexture9*>(nullptr)), "pTex");

  // No map yet: SetupShader refuses; a render fails when the map is bound and releases the
  // texture it made.
  EXPECT_HR_LOGGED(capture, E_INVALIDARG, remap_->SetupShader(RemapInterpolation_Bilinear),
                   "Invalid or Missing Source Texture/Map");
  capture.Clear();
  EXPECT_HR(E_POINTER, remap_->CreateRemapTexture(&target, 8, 8, D3DFMT_A8R8G8B8));
  EXPECT_EQ(nullptr, target.Get());
  EXPECT_TRUE(capture.Contains("SetTexture"));
  const DeviceBindings after = DeviceBindings::Of(context_.device.Get());
  EXPECT_FALSE(after.stages[0] || after.stages[1] || after.shader);
  EXPECT_EQ(context_.initialRenderTarget.Get(), after.target.Get());
  // The scene was closed: a new one opens.
  EXPECT_HR(S_OK, context_.BeginScene());
  EXPECT_HR(S_OK, context_.EndScene());

  // A media format without a Direct3D format has no target; a known one gives a frame of it.
  ComPtr<IDirect3DTexture9> map = MakeMap(4, 4, std::vector<MapCoordinate>(16, MapCoordinate{0.3f, 0.3f}));
  ASSERT_HR(S_OK, remap_->SetMapTexture(map.Get()));
  ComPtr<IMediaDirectX9VideoFrame> frame;
  EXPECT_TRUE(FAILED(remap_->CreateRemapTexture(IID_IMediaDirectX9VideoFrame,
                                                reinterpret_cast<void**>(frame.GetAddressOf()), 4, 4, GUID{})));
  EXPECT_TRUE(capture.Contains("GetDirectXFormatFromMedia"));
  ASSERT_HR(S_OK, remap_->CreateRemapTexture(IID_IMediaDirectX9VideoFrame,
                                             reinterpret_cast<void**>(frame.GetAddressOf()), 4, 4, MediaFormat_RGBA8));
  ComPtr<IDirect3DTexture9> drawn;
  ASSERT_HR(S_OK, frame->GetTexture(&drawn));
  const Picture pixels = Read(drawn.Get()).AsPicture();
  ASSERT_EQ(16u, pixels.pixels.size());
  EXPECT_LE(ChannelDistance(source_.Bilinear({0.3f, 0.3f}), pixels.At(1, 1)), 2);
}

}  // namespace
