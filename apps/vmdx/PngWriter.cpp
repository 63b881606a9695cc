#include "PngWriter.h"

#include <cstdio>
#include <cstring>
#include <vector>
#include <wincodec.h>
#include <wrl/client.h>

using Microsoft::WRL::ComPtr;

namespace {

// Records the first failing step; later steps are skipped.
struct Steps {
  HRESULT hr = S_OK;
  std::string failed;
  bool Run(HRESULT result, const char* step) {
    if (SUCCEEDED(hr) && FAILED(result)) {
      hr = result;
      failed = step;
    }
    return SUCCEEDED(hr);
  }
};

HRESULT Encode(const std::wstring& path, int32_t width, int32_t height, PngPixels layout, const uint8_t* pixels,
               int64_t pitch, Steps& steps) {
  ComPtr<IWICImagingFactory> factory;
  ComPtr<IWICStream> stream;
  ComPtr<IWICBitmapEncoder> encoder;
  ComPtr<IWICBitmapFrameEncode> frame;
  const int bytesPerPixel = layout == PngPixels::Bgr8 ? 3 : 1;
  WICPixelFormatGUID format = layout == PngPixels::Bgr8 ? GUID_WICPixelFormat24bppBGR : GUID_WICPixelFormat8bppGray;
  const WICPixelFormatGUID asked = format;
  steps.Run(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&factory)),
            "CoCreateInstance(WICImagingFactory)") &&
      steps.Run(factory->CreateStream(&stream), "CreateStream") &&
      steps.Run(stream->InitializeFromFilename(path.c_str(), GENERIC_WRITE), "InitializeFromFilename") &&
      steps.Run(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder), "CreateEncoder") &&
      steps.Run(encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache), "Initialize") &&
      steps.Run(encoder->CreateNewFrame(&frame, nullptr), "CreateNewFrame") &&
      steps.Run(frame->Initialize(nullptr), "Frame.Initialize") &&
      steps.Run(frame->SetSize(static_cast<UINT>(width), static_cast<UINT>(height)), "SetSize") &&
      steps.Run(frame->SetPixelFormat(&format), "SetPixelFormat") &&
      steps.Run(IsEqualGUID(format, asked) ? S_OK : WINCODEC_ERR_UNSUPPORTEDPIXELFORMAT, "SetPixelFormat");
  if (FAILED(steps.hr)) return steps.hr;
  // WIC wants one stride for all rows; rows are packed tight when the source pitch differs.
  const UINT stride = static_cast<UINT>(width * bytesPerPixel);
  if (pitch == static_cast<int64_t>(stride)) {
    steps.Run(frame->WritePixels(static_cast<UINT>(height), stride, stride * static_cast<UINT>(height),
                                 const_cast<BYTE*>(pixels)),
              "WritePixels");
  } else {
    std::vector<BYTE> row(stride);
    for (int32_t y = 0; y < height && SUCCEEDED(steps.hr); ++y) {
      std::memcpy(row.data(), pixels + y * pitch, stride);
      steps.Run(frame->WritePixels(1, stride, stride, row.data()), "WritePixels");
    }
  }
  steps.Run(frame->Commit(), "Frame.Commit") && steps.Run(encoder->Commit(), "Commit") &&
      steps.Run(stream->Commit(STGC_DEFAULT), "Stream.Commit");
  return steps.hr;
}

std::string Narrow(const std::wstring& text) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string out(n > 0 ? static_cast<size_t>(n - 1) : 0, '\0');
  if (n > 1) WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(), n, nullptr, nullptr);
  return out;
}

}  // namespace

HRESULT WritePng(const std::wstring& path, int32_t width, int32_t height, PngPixels layout, const uint8_t* pixels,
                 int64_t pitch, std::string* error) {
  if (width < 1 || height < 1 || pixels == nullptr) {
    if (error) *error = Narrow(path) + ": nothing to write";
    return E_INVALIDARG;
  }
  const std::wstring temporary = path + L".partial";
  Steps steps;
  Encode(temporary, width, height, layout, pixels, pitch, steps);
  // The stream closes when Encode's references go; only then may the file be renamed.
  if (SUCCEEDED(steps.hr) && !MoveFileExW(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING))
    steps.Run(HRESULT_FROM_WIN32(GetLastError()), "MoveFileEx");
  if (FAILED(steps.hr)) {
    DeleteFileW(temporary.c_str());
    if (error) {
      char code[16];
      std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(steps.hr));
      *error = Narrow(path) + ": " + steps.failed + " failed (" + code + ")";
    }
  }
  return steps.hr;
}
