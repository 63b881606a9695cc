// OpenCV matrices onto the GPU: rows taken step[0] apart without reading past the last row's
// pixels, element types checked against the declared format, and the per-device image cache.
#include <cstring>
#include <string>

#include <opencv2/core/mat.hpp>

#include "DeviceFixture.h"
#include "GuardedBuffer.h"
#include "VodideDX9ocvMat.h"

using Microsoft::WRL::ComPtr;
using namespace vmdxtest;

namespace {

// Matrix memory whose last row ends where an inaccessible page begins, so that reading any byte
// beyond the matrix's pixels faults. Rows are step bytes apart; the padding between them holds
// 0xEE.
struct GuardedPixels {
  GuardedPixels(int rows, int cols, int elementSize, size_t step)
      : step(step), buffer(step * (rows - 1) + size_t(cols) * elementSize) {
    std::memset(buffer.data(), 0xEE, step * (rows - 1) + size_t(cols) * elementSize);
    const std::vector<uint8_t> random = RandomBytes(size_t(rows) * cols * elementSize, rows * 31 + cols);
    for (int y = 0; y < rows; ++y)
      std::memcpy(Row(y), random.data() + size_t(y) * cols * elementSize, size_t(cols) * elementSize);
  }
  uint8_t* Row(int y) const { return buffer.data() + y * step; }
  size_t step;
  GuardedBuffer buffer;
};

using MatBridge = DeviceFixture;

TEST_F(MatBridge, RowsComeStepApartAndNothingPastThemIsRead) {
  const struct {
    int type;
    GUID format;
    int elementSize;
    int cols, rows;
    D3DFORMAT expected;
  } cases[] = {
      {CV_8UC4, MediaFormat_RGBA8, 4, 1920, 1080, D3DFMT_A8R8G8B8},
      {CV_8UC3, MediaFormat_RGB8, 3, 333, 17, D3DFMT_X8R8G8B8},  // into the native RGBX8
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(VarnicaMediaNameOf(&c.format, 0, 0));
    const size_t step = size_t(c.cols) * c.elementSize + 36;
    const GuardedPixels pixels(c.rows, c.cols, c.elementSize, step);
    const cv::Mat mat(c.rows, c.cols, c.type, pixels.Row(0), step);
    ComPtr<IDirect3DTexture9> texture;
    ASSERT_HR(S_OK, CreateTextureFromMat(&context_, &texture, mat, c.format));
    const SurfaceBytes got = Read(texture.Get());
    ASSERT_EQ(c.expected, got.desc.Format);
    ASSERT_EQ(UINT(c.cols), got.desc.Width);
    ASSERT_EQ(UINT(c.rows), got.desc.Height);
    int wrong = -1;
    for (int y = 0; y < c.rows && wrong < 0; ++y) {
      for (int x = 0; x < c.cols; ++x) {
        // Four bytes per texel; an X8R8G8B8 texture keeps three of them.
        if (std::memcmp(got.Pixel(x, y), pixels.Row(y) + x * c.elementSize, 3) != 0 ||
            (c.elementSize == 4 && got.Pixel(x, y)[3] != pixels.Row(y)[x * 4 + 3]))
          wrong = y;
      }
    }
    EXPECT_EQ(-1, wrong) << "first wrong row";
  }
}

TEST_F(MatBridge, ElementTypeMustFitTheFormat) {
  uint8_t pixels[4 * 4 * 4] = {};
  const cv::Mat rgba(4, 4, CV_8UC4, pixels);
  const cv::Mat empty;
  const GUID unknown{0xABCDEF01, 2, 3, {4, 5, 6, 7, 8, 9, 10, 11}};
  const struct {
    const cv::Mat* mat;
    GUID format;
    HRESULT code;
    const char* text;
  } cases[] = {
      {&rgba, MediaFormat_RGBA16, E_INVALIDARG, "Format not matches cv-type"},
      {&rgba, unknown, E_VALUE_NOT_FOUND, "GetOcvFormatFromMedia"},
      {&empty, MediaFormat_RGBA8, E_POINTER, "mat"},
  };
  IDirect3DTexture9* const sentinel = reinterpret_cast<IDirect3DTexture9*>(uintptr_t{0x5E17});
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    ObserverCapture capture;
    IDirect3DTexture9* out = sentinel;
    EXPECT_HR(c.code, CreateTextureFromMat(&context_, &out, *c.mat, c.format));
    EXPECT_EQ(sentinel, out);
    EXPECT_TRUE(capture.Contains(c.text)) << capture.Text();
  }
  ObserverCapture capture;
  EXPECT_HR_LOGGED(capture, E_POINTER, CreateTextureFromMat(&context_, nullptr, rgba, MediaFormat_RGBA8), "ppTex");
}

TEST_F(MatBridge, ImageKeepsItsFirstUploadPerDevice) {
  std::vector<uint8_t> first(8 * 4 * 4, 0x11), second(8 * 4 * 4, 0x22);
  const cv::Mat one(4, 8, CV_8UC4, first.data()), two(4, 8, CV_8UC4, second.data()), empty;
  auto firstByte = [&](const DX9Image& image) { return Read(image.Texture()).bytes.at(0); };

  DX9Image image;
  ASSERT_HR(S_OK, OpenFromMat(&image, &context_, one, MediaFormat_RGBA8));
  IDirect3DTexture9* const kept = image.Texture();
  EXPECT_TRUE(IsOcvImageCurrent(image, context_));
  ASSERT_HR(S_OK, OpenFromMat(&image, &context_, two, MediaFormat_RGBA8));
  EXPECT_EQ(kept, image.Texture()) << "same device: the first texture stays";
  EXPECT_EQ(0x11, firstByte(image));

  ASSERT_HR(S_OK, OpenFromMat(&image, &context_, empty, MediaFormat_RGBA8));
  EXPECT_EQ(nullptr, image.Texture());
  EXPECT_FALSE(IsOcvImageCurrent(image, context_));
  ASSERT_HR(S_OK, OpenFromMat(&image, &context_, two, MediaFormat_RGBA8));
  EXPECT_EQ(0x22, firstByte(image)) << "after an empty matrix the next one is uploaded";

  // Another device: uploaded again onto it; a refused matrix leaves the image as it was.
  DX9Context other;
  ASSERT_HR(S_OK, other.InitializeOffscreenDevice(OffscreenDeviceSettings{}));
  IDirect3DTexture9* const held = image.Texture();
  EXPECT_HR(E_INVALIDARG, OpenFromMat(&image, &other, two, MediaFormat_RGBA16));
  EXPECT_EQ(held, image.Texture());
  EXPECT_TRUE(IsOcvImageCurrent(image, context_));
  ASSERT_HR(S_OK, OpenFromMat(&image, &other, one, MediaFormat_RGBA8));
  ComPtr<IDirect3DDevice9> owner;
  ASSERT_HR(S_OK, image.Texture()->GetDevice(&owner));
  EXPECT_EQ(static_cast<IDirect3DDevice9*>(other.device.Get()), owner.Get());
  EXPECT_FALSE(IsOcvImageCurrent(image, context_));
  EXPECT_EQ(0x11, ReadSurface(other.device.Get(), image.Texture()).bytes.at(0));
  owner.Reset();
  CloseOcvImage(image);
  ReleaseDevice(other);
}

}  // namespace
