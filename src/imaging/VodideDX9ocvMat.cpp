#include "VodideDX9ocvMat.h"

#include <opencv2/core/mat.hpp>

#include "Diagnostics.h"
#include "Error.h"
#include "VodideCreateTextureFromFrame.h"

using Microsoft::WRL::ComPtr;

namespace {
constexpr char kSourceFile[] = "src/VodideDX9ocvMat";
}  // namespace

int32_t GetOcvMatType(const cv::Mat& mat) { return mat.flags & cv::Mat::TYPE_MASK; }

bool IsOcvImageCurrent(const DX9Image& image, const DX9Context& context) {
  return image.Texture() != nullptr && image.Device() == context.device.Get() &&
         varnica::SameGuid(image.DeviceId(), context.deviceId);
}

void CloseOcvImage(DX9Image& image) { image.Close(); }

HRESULT CreateTextureFromMat(const DX9Context* context, IDirect3DTexture9** ppTex, const cv::Mat& mat,
                             const GUID& mediaFormat) {
  return GuardedCall([&] {
    CheckPointer(ppTex, VLOC, "ppTex");
    if (mat.data == nullptr) ThrowError(E_POINTER, VLOC, "mat");
    int32_t type = 0;
    CheckHr(GetOcvFormatFromMedia(&type, mediaFormat), VLOC, "GetOcvFormatFromMedia");
    if (GetOcvMatType(mat) != type) ThrowError(E_INVALIDARG, VLOC, "Format not matches cv-type");
    // One plane: the matrix's rows, step[0] bytes apart.
    CpuVidFrameMemory record{};
    record.format = mediaFormat;
    record.width = mat.cols;
    record.height = mat.rows;
    record.planes[0] = {mat.data, static_cast<int64_t>(mat.step[0])};
    return CheckHr(CreateTextureFromMem(context, ppTex, &record, &mediaFormat), VLOC, "CreateTextureFromMem");
  });
}

HRESULT OpenFromMat(DX9Image* image, const DX9Context* context, const cv::Mat& mat, const GUID& mediaFormat) {
  return GuardedCall([&] {
    CheckPointer(image, VLOC, "pImage");
    if (mat.data == nullptr) {
      CloseOcvImage(*image);
      return S_OK;
    }
    if (context == nullptr || !context->device) ThrowError(E_POINTER, VLOC, "Device3D");
    if (IsOcvImageCurrent(*image, *context)) return S_OK;
    ComPtr<IDirect3DTexture9> texture;
    CheckHr(CreateTextureFromMat(context, &texture, mat, mediaFormat), VLOC, "CreateTextureFromMat");
    // OpenFromTex records the context's device and identity with the texture.
    return CheckHr(image->OpenFromTex(*context, texture.Get()), VLOC, "OpenFromTex");
  });
}
