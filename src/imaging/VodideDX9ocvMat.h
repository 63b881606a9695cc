// OpenCV matrices onto the GPU. Only the matrix's memory layout is read (flags, rows, cols, data,
// step[0]); no OpenCV function is called, so nothing of OpenCV is linked.
#pragma once
#include <cstdint>

#include "VodideDX9Context.h"
#include "VodideDirectX9Image.h"

namespace cv {
class Mat;
}

// The matrix's element type (depth and channels): flags & 0xFFF.
int32_t GetOcvMatType(const cv::Mat& mat);

// A new texture (one reference, the caller's) holding the matrix as a frame of mediaFormat, in
// that format's native GPU format. The matrix's element type must be the format's matrix type.
HRESULT CreateTextureFromMat(const DX9Context* context, IDirect3DTexture9** ppTex, const cv::Mat& mat,
                             const GUID& mediaFormat);

// Makes image hold the matrix's picture on the context's device. The image caches per device:
// while it holds a texture of this device, it is kept and nothing is uploaded. An empty matrix
// empties the image.
HRESULT OpenFromMat(DX9Image* image, const DX9Context* context, const cv::Mat& mat, const GUID& mediaFormat);

// True when image holds a texture of the context's device (pointer and identity).
bool IsOcvImageCurrent(const DX9Image& image, const DX9Context& context);
// Releases the image's texture and forgets its device.
void CloseOcvImage(DX9Image& image);
