// Fisheye rectification maps built on the GPU against a double-precision reference written from
// the lens models.
#include <cmath>
#include <memory>
#include <numbers>

#include "DeviceFixture.h"
#include "VarnicaFrameAccess.h"
#include "VodideDX9FisheyeRectify.h"

using Microsoft::WRL::ComPtr;
using namespace vmdxtest;

namespace {

// One (x, y) coordinate per map pixel (a D3DFMT_G32R32F texel).
struct MapCoordinate {
  float x, y;
};

FisheyeLens Lens(int32_t type, float cx, float cy, float fx, float fy, float sx = 1, float sy = 1, float k0 = 0,
                 float k1 = 0) {
  FisheyeLens lens;
  lens.Type = type;
  lens.CenterX = cx, lens.CenterY = cy;
  lens.FocalX = fx, lens.FocalY = fy;
  lens.ScaleX = sx, lens.ScaleY = sy;
  lens.K0 = k0, lens.K1 = k1;
  return lens;
}

struct Expected {
  double x, y;
  bool invalid;
  bool nearRim;  // too close to the target lens's rim to tell in single precision
};

// Where map pixel (i, j) of a width x height map looks in a W x H source.
Expected Reference(const FisheyeRectifyParams& p, uint32_t i, uint32_t j, uint32_t width, uint32_t height, double W,
                   double H) {
  const FisheyeLens& s = p.Source;
  const FisheyeLens& t = p.Target;
  // The target pixel in the target's (distorted) plane, about the source's optical centre.
  double x = ((i + 0.5) / width * W - s.CenterX) * t.ScaleX / t.FocalX;
  double y = ((j + 0.5) / height * H - s.CenterY) * t.ScaleY / t.FocalY;
  Expected e{};
  if (t.Type == FisheyeLensType_Radial) {
    // Undo r_d = K1 r / sqrt(1 + K0^2 r^2): r = r_d / (K1 sqrt(1 - (K0/K1)^2 r_d^2)).
    const double a = double{t.K0} / t.K1;
    const double outside = a * a * (x * x + y * y);
    e.nearRim = std::abs(outside - 1.0) < 1e-3;
    if (outside >= 1.0) return {kFisheyeInvalidCoordinate, kFisheyeInvalidCoordinate, true, e.nearRim};
    const double undo = 1.0 / (t.K1 * std::sqrt(1.0 - outside));
    x *= undo, y *= undo;
  }
  // Into the source's undistorted plane, then through the matrix.
  const double qx = x * t.FocalX / s.FocalX + p.OffsetX;
  const double qy = y * t.FocalY / s.FocalY + p.OffsetY;
  const float* m = p.Matrix;
  const double X = m[0] * qx + m[1] * qy + m[2];
  const double Y = m[3] * qx + m[4] * qy + m[5];
  const double Z = m[6] * qx + m[7] * qy + m[8];
  double rx = Z == 0 ? 0 : X / Z, ry = Z == 0 ? 0 : Y / Z;
  if (s.Type == FisheyeLensType_Radial) {
    const double sx = rx / s.ScaleX, sy = ry / s.ScaleY;
    const double distort = s.K1 / std::sqrt(1.0 + double{s.K0} * s.K0 * (sx * sx + sy * sy));
    rx *= distort, ry *= distort;
  }
  e.x = (rx * s.FocalX + s.CenterX) / W;
  e.y = (ry * s.FocalY + s.CenterY) / H;
  return e;
}

// Rotation about the view axis by roll, then a turn to the side by yaw (degrees).
void TurnedMatrix(float m[9], double roll, double yaw) {
  const double r = roll * std::numbers::pi / 180, w = yaw * std::numbers::pi / 180;
  const double rz[9] = {std::cos(r), -std::sin(r), 0, std::sin(r), std::cos(r), 0, 0, 0, 1};
  const double ry[9] = {std::cos(w), 0, std::sin(w), 0, 1, 0, -std::sin(w), 0, std::cos(w)};
  for (int row = 0; row < 3; ++row)
    for (int col = 0; col < 3; ++col) {
      double sum = 0;
      for (int k = 0; k < 3; ++k) sum += ry[3 * row + k] * rz[3 * k + col];
      m[3 * row + col] = static_cast<float>(sum);
    }
}

class LensMap : public DeviceFixture {
 protected:
  void SetUp() override {
    DeviceFixture::SetUp();
    if (IsSkipped()) return;
    rectify_ = std::make_unique<CDX9FisheyeRectify>(&context_, &cache_);
    ASSERT_HR(S_OK, rectify_->CheckDevice());
  }
  void TearDown() override {
    rectify_.reset();  // its vertex buffer holds the device
    DeviceFixture::TearDown();
  }
  std::vector<MapCoordinate> Build(uint32_t width, uint32_t height, uint32_t W, uint32_t H) {
    ComPtr<IDirect3DTexture9> map;
    EXPECT_HR(S_OK, rectify_->BuildFisheyeRectifyMap(&map, width, height, W, H, D3DFMT_G32R32F));
    return map ? ReadMap(map.Get()) : std::vector<MapCoordinate>{};
  }
  std::vector<MapCoordinate> ReadMap(IDirect3DTexture9* map) {
    const SurfaceBytes read = Read(map);
    EXPECT_EQ(D3DFMT_G32R32F, read.desc.Format);
    return read.As<MapCoordinate>();
  }
  std::unique_ptr<CDX9FisheyeRectify> rectify_;
};

TEST_F(LensMap, EveryVariantFollowsTheReference) {
  struct Case {
    const char* name;
    FisheyeLens source, target;
    float offsetX, offsetY;
    double roll, yaw;
  };
  // The first pair shows each map pixel its own coordinate, whatever the focal lengths and the
  // centre; without K0 the radial model is the rectilinear one scaled by K1 about the centre.
  const Case cases[] = {
      {"rectilinear pair", Lens(1, 30.5f, 21.0f, 500, 420), Lens(1, 0, 0, 300, 700), 0, 0, 0, 0},
      {"radial source without K0", Lens(2, 31.5f, 23.5f, 50, 50, 1, 1, 0, 0.8f), Lens(1, 0, 0, 40, 40, 1.2f, 0.9f), 0,
       0, 0, 0},
      {"rectilinear pair, turned", Lens(1, 30.5f, 21.0f, 50, 42), Lens(1, 0, 0, 30, 70, 1.2f, 0.8f), 0.02f, -0.01f, 8,
       12},
      {"radial source", Lens(2, 31.5f, 23.5f, 32, 32, 1, 1, 1, 1), Lens(1, 0, 0, 40, 40, 1.5f, 1.5f), 0.05f, -0.03f, 0,
       0},
      {"radial source, no target type", Lens(2, 31.5f, 23.5f, 28, 30, 0.9f, 1.1f, 0.7f, 1.3f), Lens(0, 0, 0, 40, 40), 0,
       0, 0, 0},
      {"radial source, turned", Lens(2, 31.5f, 23.5f, 32, 32, 1, 1, 1, 1), Lens(1, 0, 0, 40, 40, 1.2f, 0.9f), 0, 0, 10,
       20},
      {"radial pair", Lens(2, 31.5f, 23.5f, 30, 30, 1, 1, 0.9f, 1.1f), Lens(2, 0, 0, 36, 36, 1, 1, 1.2f, 0.9f), 0, 0, 5,
       0},
  };
  constexpr uint32_t kWidth = 40, kHeight = 30, kW = 64, kH = 48;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    rectify_->params = FisheyeRectifyParams{};
    rectify_->params.Source = c.source;
    rectify_->params.Target = c.target;
    rectify_->params.OffsetX = c.offsetX, rectify_->params.OffsetY = c.offsetY;
    TurnedMatrix(rectify_->params.Matrix, c.roll, c.yaw);
    const std::vector<MapCoordinate> map = Build(kWidth, kHeight, kW, kH);
    ASSERT_EQ(kWidth * kHeight, map.size());
    int invalid = 0, worst = 0;
    for (uint32_t j = 0; j < kHeight; ++j) {
      for (uint32_t i = 0; i < kWidth; ++i) {
        const Expected e = Reference(rectify_->params, i, j, kWidth, kHeight, kW, kH);
        const MapCoordinate got = map[j * kWidth + i];
        if (e.nearRim) continue;
        if (e.invalid) {
          ++invalid;
          EXPECT_EQ(kFisheyeInvalidCoordinate, got.x) << i << "," << j;
          EXPECT_EQ(kFisheyeInvalidCoordinate, got.y) << i << "," << j;
          continue;
        }
        const double tolerance = 1e-4 * std::max({1.0, std::abs(e.x), std::abs(e.y)});
        const bool close = std::abs(got.x - e.x) <= tolerance && std::abs(got.y - e.y) <= tolerance;
        if (!close && worst++ < 3)
          ADD_FAILURE() << "pixel " << i << "," << j << ": " << got.x << "," << got.y << " vs " << e.x << "," << e.y;
      }
    }
    EXPECT_EQ(0, worst) << "pixels away from the reference";
    // Only the radial target has a rim, and its corners lie beyond it.
    if (c.target.Type == FisheyeLensType_Radial)
      EXPECT_GT(invalid, 0);
    else
      EXPECT_EQ(0, invalid);
  }
}

TEST_F(LensMap, PairsNoShaderDrawsGiveAnInvalidMap) {
  struct Case {
    int32_t source, target;
    uint32_t targetFlags;
    int32_t variant;
  };
  const Case cases[] = {{2, 0, 0, 0}, {2, 1, 0, 0}, {2, 1, 1, 3}, {2, 2, 2, 1}, {1, 0, 0, 2},
                        {1, 1, 2, 3}, {1, 2, 0, 3}, {0, 1, 0, 3}, {0, 0, 0, 3}, {3, 1, 0, 3}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.source << " -> " << c.target << " flags " << c.targetFlags);
    rectify_->params = FisheyeRectifyParams{};
    rectify_->params.Source = Lens(c.source, 8, 8, 10, 10, 1, 1, 0.5f, 1);
    rectify_->params.Target = Lens(c.target, 0, 0, 10, 10, 1, 1, 0.5f, 1);
    rectify_->params.Target.Flags = c.targetFlags;
    EXPECT_EQ(c.variant, FisheyeRectifyVariant(rectify_->params));
    if (c.variant != 3) continue;
    for (const MapCoordinate& m : Build(8, 4, 16, 16)) {
      EXPECT_EQ(kFisheyeInvalidCoordinate, m.x);
      EXPECT_EQ(kFisheyeInvalidCoordinate, m.y);
    }
  }
}

TEST_F(LensMap, RefusalsAndTheFrameForm) {
  ObserverCapture capture;
  CDX9FisheyeRectify fresh(&context_, &cache_);
  ComPtr<IDirect3DTexture9> map;
  EXPECT_HR_LOGGED(capture, E_POINTER, fresh.BuildFisheyeRectifyMap(&map, 8, 8, 8, 8, D3DFMT_G32R32F),
                   "mVB, see Initialize()");
  EXPECT_HR_LOGGED(capture, E_POINTER, rectify_->BuildFisheyeRectifyMap(nullptr, 8, 8, 8, 8, D3DFMT_G32R32F),
                   "ppRenderTarget");

  // The map as a frame reads as what the texture holds; a format no media format stands for
  // gives no frame.
  rectify_->params.Source = Lens(1, 8, 8, 10, 10);
  rectify_->params.Target = Lens(1, 0, 0, 10, 10);
  ComPtr<IMediaDirectX9VideoFrame> frame;
  ASSERT_HR(S_OK,
            rectify_->BuildFisheyeRectifyMap(IID_IMediaDirectX9VideoFrame, &frame, 16, 8, 16, 16, D3DFMT_G32R32F));
  EXPECT_TRUE(IsEqualGUID(MediaFormat_RGFloat, ValueOf<GUID>(frame.Get(), FrameFormat, GuidValueType)));
  ComPtr<IDirect3DTexture9> texture;
  ASSERT_HR(S_OK, frame->GetTexture(&texture));
  EXPECT_NEAR(0.5 / 16, ReadMap(texture.Get())[0].x, 1e-6);
  frame.Reset();
  capture.Clear();
  EXPECT_TRUE(FAILED(
      rectify_->BuildFisheyeRectifyMap(IID_IMediaDirectX9VideoFrame, &frame, 16, 8, 16, 16, D3DFMT_A16B16G16R16F)));
  EXPECT_EQ(nullptr, frame.Get());
  EXPECT_TRUE(capture.Contains("CreateDirectXFrame"));

  // A build leaves no shader bound and the device's own render target in place.
  const DeviceBindings after = DeviceBindings::Of(context_.device.Get());
  EXPECT_EQ(nullptr, after.shader.Get());
  EXPECT_EQ(context_.initialRenderTarget.Get(), after.target.Get());
}

}  // namespace
