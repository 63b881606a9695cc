// The host tool's PNG writer: pixels come back exactly through WIC's decoder, and a failed
// write leaves neither a partial file nor its temporary.
#include <string>
#include <vector>
#include <wincodec.h>
#include <wrl/client.h>

#include "PngWriter.h"
#include "TestSupport.h"

using Microsoft::WRL::ComPtr;

namespace {

class PngWriter : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    dir_ = std::wstring(temp) + L"vmdx_png_" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(dir_.c_str(), nullptr);
  }
  void TearDown() override {
    for (const wchar_t* name : {L"\\bgr.png", L"\\grey.png", L"\\bgr.png.partial"}) DeleteFileW((dir_ + name).c_str());
    RemoveDirectoryW(dir_.c_str());
    CoUninitialize();
  }

  // Decodes a PNG into rows of its own pixel format; returns that format's bytes per pixel.
  static std::vector<uint8_t> Decode(const std::wstring& path, UINT* width, UINT* height, WICPixelFormatGUID* format) {
    ComPtr<IWICImagingFactory> factory;
    ComPtr<IWICBitmapDecoder> decoder;
    ComPtr<IWICBitmapFrameDecode> frame;
    std::vector<uint8_t> pixels;
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&factory))) ||
        FAILED(factory->CreateDecoderFromFilename(path.c_str(), nullptr, GENERIC_READ, WICDecodeMetadataCacheOnDemand,
                                                  &decoder)) ||
        FAILED(decoder->GetFrame(0, &frame)) || FAILED(frame->GetSize(width, height)) ||
        FAILED(frame->GetPixelFormat(format)))
      return pixels;
    const UINT bpp = IsEqualGUID(*format, GUID_WICPixelFormat8bppGray) ? 1 : 3;
    pixels.resize(*width * *height * bpp);
    if (FAILED(frame->CopyPixels(nullptr, *width * bpp, static_cast<UINT>(pixels.size()), pixels.data())))
      pixels.clear();
    return pixels;
  }

  static bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

  std::wstring dir_;
};

TEST_F(PngWriter, PixelsRoundTripExactlyFromPaddedRows) {
  constexpr int32_t w = 5, h = 3, pitch = 32;  // rows padded beyond their 15 bytes
  std::vector<uint8_t> bgr(pitch * h, 0xEE);
  for (int y = 0; y < h; ++y)
    for (int i = 0; i < w * 3; ++i) bgr[y * pitch + i] = static_cast<uint8_t>(17 * y + 3 * i);
  const std::wstring path = dir_ + L"\\bgr.png";
  std::string error;
  ASSERT_HR(S_OK, WritePng(path, w, h, PngPixels::Bgr8, bgr.data(), pitch, &error)) << error;
  EXPECT_FALSE(Exists(path + L".partial"));
  UINT dw = 0, dh = 0;
  WICPixelFormatGUID format{};
  const std::vector<uint8_t> back = Decode(path, &dw, &dh, &format);
  ASSERT_EQ(size_t{w * h * 3}, back.size());
  EXPECT_TRUE(IsEqualGUID(GUID_WICPixelFormat24bppBGR, format));
  for (int y = 0; y < h; ++y)
    for (int i = 0; i < w * 3; ++i) ASSERT_EQ(bgr[y * pitch + i], back[y * w * 3 + i]) << "row " << y << " byte " << i;

  const uint8_t grey[4] = {0, 85, 170, 255};
  ASSERT_HR(S_OK, WritePng(dir_ + L"\\grey.png", 2, 2, PngPixels::Grey8, grey, 2, nullptr));
  const std::vector<uint8_t> greyBack = Decode(dir_ + L"\\grey.png", &dw, &dh, &format);
  ASSERT_EQ(4u, greyBack.size());
  EXPECT_TRUE(IsEqualGUID(GUID_WICPixelFormat8bppGray, format));
  EXPECT_EQ(0, std::memcmp(grey, greyBack.data(), 4));
}

TEST_F(PngWriter, FailedWriteLeavesNothingBehind) {
  const uint8_t pixel[3] = {1, 2, 3};
  const std::wstring path = dir_ + L"\\missing\\bgr.png";
  std::string error;
  EXPECT_TRUE(FAILED(WritePng(path, 1, 1, PngPixels::Bgr8, pixel, 3, &error)));
  EXPECT_NE(std::string::npos, error.find("missing")) << error;  // names the file
  EXPECT_FALSE(Exists(path));
  EXPECT_FALSE(Exists(path + L".partial"));
  EXPECT_HR(E_INVALIDARG, WritePng(dir_ + L"\\bgr.png", 0, 1, PngPixels::Bgr8, pixel, 3, nullptr));
  EXPECT_FALSE(Exists(dir_ + L"\\bgr.png"));
}

}  // namespace
