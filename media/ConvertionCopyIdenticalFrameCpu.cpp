#include "ConvertionCopyIdenticalFrameCpu.h"

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define CONVERTION_HAVE_SSE2 1
#endif

#include "ConvertionCopyRows.h"

namespace {
constexpr char kSourceFile[] = "src/ConvertionCopyIdenticalFrameCpu";

// A long row whose source and target share their alignment: 16-byte aligned loads and stores
// once the head is copied.
void CopyAlignedRow(const uint8_t* s, uint8_t* t, int64_t bytes) {
#ifdef CONVERTION_HAVE_SSE2
  int64_t head = (16 - static_cast<int64_t>(reinterpret_cast<uintptr_t>(s) & 15)) & 15;
  if (head > bytes) head = bytes;
  for (int64_t i = 0; i < head; ++i) t[i] = s[i];
  int64_t i = head;
  for (; i + 16 <= bytes; i += 16) {
    _mm_store_si128(reinterpret_cast<__m128i*>(t + i), _mm_load_si128(reinterpret_cast<const __m128i*>(s + i)));
  }
  for (; i < bytes; ++i) t[i] = s[i];
#else
  std::memcpy(t, s, static_cast<size_t>(bytes));
#endif
}

void CopyPlane(const CpuVidFramePlane& source, const CpuVidFramePlane& target, int64_t rowBytes, int32_t rows) {
  if (source.pitch == rowBytes && target.pitch == rowBytes) {
    std::memcpy(target.data, source.data, static_cast<size_t>(rowBytes * rows));
    return;
  }
  const bool aligned = ((reinterpret_cast<uintptr_t>(source.data) ^ reinterpret_cast<uintptr_t>(target.data)) & 15) == 0 &&
                       source.pitch % 16 == 0 && target.pitch % 16 == 0;
  for (int32_t y = 0; y < rows; ++y) {
    const uint8_t* s = source.data + y * source.pitch;
    uint8_t* t = target.data + y * target.pitch;
    if (rowBytes <= 32) {
      for (int64_t i = 0; i < rowBytes; ++i) t[i] = s[i];
    } else if (rowBytes <= 127 || !aligned) {
      std::memcpy(t, s, static_cast<size_t>(rowBytes));
    } else {
      CopyAlignedRow(s, t, rowBytes);
    }
  }
}

// Both frames have the source's layout; everything is checked before the first byte moves.
HRESULT CopyPlanes(const CpuVidFrameMemory& source, const CpuVidFrameMemory& target) {
  int32_t bitsPerPixel[kMaxVideoPlanes] = {};
  int32_t rows[kMaxVideoPlanes] = {};
  int32_t planes =
      mediahost::PlaneLayout(source.format, source.width, source.height, kMaxVideoPlanes, bitsPerPixel, rows);
  if (planes < 1) mediahost::RaiseFailure(E_INVALIDARG, MEDIA_LOC, "GetFormatVideoPlaneLayout");
  if (planes > kMaxVideoPlanes) planes = kMaxVideoPlanes;
  int64_t rowBytes[kMaxVideoPlanes] = {};
  for (int32_t k = 0; k < planes; ++k) {
    rowBytes[k] = (int64_t{bitsPerPixel[k]} * source.width) >> 3;
    if (rowBytes[k] < 1 || rows[k] < 1) continue;
    if (source.planes[k].data == nullptr || target.planes[k].data == nullptr)
      mediahost::RaiseFailure(E_POINTER, MEDIA_LOC, "src, tar Plane");
    if (source.planes[k].pitch < rowBytes[k] || target.planes[k].pitch < rowBytes[k])
      mediahost::RaiseFailure(E_INVALIDARG, MEDIA_LOC, "src, tar Pitch");
  }
  for (int32_t k = planes - 1; k >= 0; --k) {
    if (rowBytes[k] < 1 || rows[k] < 1) continue;
    CopyPlane(source.planes[k], target.planes[k], rowBytes[k], rows[k]);
  }
  return S_OK;
}

bool SameSize(const CpuVidFrameMemory& source, const CpuVidFrameMemory& target) {
  return source.width == target.width && source.height == target.height && source.width >= 1 && source.height >= 1;
}

}  // namespace

HRESULT IdenticalCopy(const CpuVidFrameMemory& source, const CpuVidFrameMemory& target) {
  if (!varnica::SameGuid(source.format, target.format) || !SameSize(source, target))
    mediahost::RaiseFailure(E_INVALIDARG, MEDIA_LOC, "src == tar Format/Size");
  return CopyPlanes(source, target);
}

HRESULT SameLayoutCopy(const CpuVidFrameMemory& source, const CpuVidFrameMemory& target) {
  if (!varnica::SameGuid(source.format, MediaFormat_RGBA8) || !varnica::SameGuid(target.format, MediaFormat_RGBX8) ||
      !SameSize(source, target)) {
    mediahost::RaiseFailure(E_INVALIDARG, MEDIA_LOC, "src, tar Format/Size");
  }
  return CopyPlanes(source, target);
}
