// The built-in fisheye clip through a rectifying map and the remap renderer must look like the
// same scene seen through a rectilinear camera: straight lines straight, grid in place.
#include <algorithm>
#include <cmath>
#include <memory>

#include "DeviceFixture.h"
#include "FisheyeScene.h"
#include "MediaTestSupport.h"
#include "VarnicaFrameAccess.h"
#include "VodideDX9FisheyeRectify.h"
#include "VodideDX9Remap.h"
#include "VodideGetFrame.h"

using Microsoft::WRL::ComPtr;
using namespace vmdxtest;

namespace {

constexpr int32_t kClipSide = 480;  // the clip asked for at 480 x 480: its circle's radius is 240
constexpr uint32_t kViewWidth = 480, kViewHeight = 270;

class RectifiedClip : public DeviceFixture {
 protected:
  void TearDown() override {
    remap_.reset();
    rectify_.reset();
    DeviceFixture::TearDown();
  }
  std::unique_ptr<CDX9FisheyeRectify> rectify_;
  std::unique_ptr<CDX9Remap> remap_;
};

// Full-range BT.601 luma of a picture sample, in 8-bit levels.
double Luma(const vmedia::PictureSample& s) { return (0.299 * s.c[0] + 0.587 * s.c[1] + 0.114 * s.c[2]) / 257.0; }

TEST_F(RectifiedClip, StraightLinesComeOutStraight) {
  auto decoder = mediatest::OpenDecoder("builtin:fisheye");
  ASSERT_TRUE(decoder);
  const auto own = ValueOf<VarnicaFrameSize>(decoder.Get(), FrameSizeProperty, FrameSizeValueType);
  EXPECT_EQ(1920, own.width);
  EXPECT_EQ(1920, own.height);
  constexpr int64_t kFrame = 40;
  const VarnicaTimecode timecode{kFrame, 25, 1, 0, 0};
  const VarnicaFrameSize size{kClipSide, kClipSide};
  ComPtr<IMediaDirectX9VideoFrame> frame;
  ASSERT_HR(S_OK, GetDirectXFrame(&context_, IID_IMediaDirectX9VideoFrame, &frame, decoder.Get(), &timecode, &size,
                                  &MediaFormat_YUV422Packed8, nullptr));

  // The clip's lens (K0 = K1 = 1, focal 240 about the centre) to a 90-degree-wide 16:9 view.
  rectify_ = std::make_unique<CDX9FisheyeRectify>(&context_, &cache_);
  ASSERT_HR(S_OK, rectify_->CheckDevice());
  FisheyeRectifyParams& p = rectify_->params;
  p.Source = {FisheyeLensType_Radial, 239.5f, 239.5f, 240, 240, 1, 1, 1, 1, {}, 0};
  p.Target = {FisheyeLensType_Rectilinear, 0, 0, 240, 240, 1, 0.5625f, 0, 0, {}, 0};
  ComPtr<IDirect3DTexture9> map;
  ASSERT_HR(S_OK,
            rectify_->BuildFisheyeRectifyMap(&map, kViewWidth, kViewHeight, kClipSide, kClipSide, D3DFMT_G32R32F));
  remap_ = std::make_unique<CDX9Remap>(&context_, &cache_);
  ASSERT_HR(S_OK, remap_->CheckDevice());
  ASSERT_HR(S_OK, remap_->SetAddressMode(RemapAddress_Border));
  ASSERT_HR(S_OK, remap_->SetSourceTexture(frame.Get()));
  ASSERT_HR(S_OK, remap_->SetMapTexture(map.Get()));
  ComPtr<IDirect3DTexture9> view;
  ASSERT_HR(S_OK, remap_->CreateRemapTexture(&view, kViewWidth, kViewHeight, D3DFMT_A8R8G8B8));
  const std::vector<uint32_t> pixels = ReadBack(context_.device.Get(), view.Get());
  ASSERT_EQ(kViewWidth * kViewHeight, pixels.size());

  // Target pixel (i, j) looks along ((i - 239) / 240, (j + 0.5 - 239.5 * 270 / 480) / 240):
  // the map's arithmetic for these lenses, written as a pinhole camera.
  auto reference = [&](double shift) {
    const vmedia::SceneCamera camera{false, 239.0 + shift, 239.5 * kViewHeight / kClipSide - 0.5, 240, 240};
    return vmedia::FisheyeSceneRenderer().Render(kViewWidth, kViewHeight, kFrame, camera);
  };
  // Luma smoothed over 3 x 3 pixels, so that resampling's softer edges count little and
  // misplaced ones much; the texture holds V, U, Y, A, so Y is the red byte.
  auto smooth = [](auto&& luma) {
    std::vector<double> out(kViewWidth * kViewHeight);
    for (uint32_t y = 0; y < kViewHeight; ++y)
      for (uint32_t x = 0; x < kViewWidth; ++x) {
        double sum = 0;
        int n = 0;
        for (uint32_t yy = y ? y - 1 : 0; yy <= std::min(y + 1, kViewHeight - 1); ++yy)
          for (uint32_t xx = x ? x - 1 : 0; xx <= std::min(x + 1, kViewWidth - 1); ++xx, ++n)
            sum += luma(yy * kViewWidth + xx);
        out[y * kViewWidth + x] = sum / n;
      }
    return out;
  };
  const std::vector<double> got = smooth([&](size_t n) { return double((pixels[n] >> 16) & 0xFF); });
  // Compared over the middle half, where the lens draws the wall about as finely as the view
  // does (towards the sides the clip's labels fade into the paper, as a fisheye's would).
  auto difference = [&](double shift) {
    const vmedia::DecodedPicture expected = reference(shift);
    const std::vector<double> want = smooth([&](size_t n) { return Luma(expected.samples[n]); });
    double sum = 0;
    for (uint32_t y = 0; y < kViewHeight; ++y)
      for (uint32_t x = kViewWidth / 4; x < kViewWidth * 3 / 4; ++x)
        sum += std::abs(got[y * kViewWidth + x] - want[y * kViewWidth + x]);
    return sum / (kViewHeight * kViewWidth / 2);
  };
  const double rectified = difference(0);
  const double shifted = difference(2);
  EXPECT_LT(rectified, 7.0);
  EXPECT_LT(rectified * 2, shifted) << "a view two pixels off should be much further away";
}

}  // namespace
