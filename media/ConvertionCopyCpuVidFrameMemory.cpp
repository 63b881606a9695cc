#include "ConvertionCopyCpuVidFrameMemory.h"

#include <algorithm>
#include <atomic>
#include <cstdio>

#include "ConvertionCopyIdenticalFrameCpu.h"
#include "ConvertionCopyPackFrameCpu.h"
#include "ConvertionCopyRGBFrameCpu.h"
#include "ConvertionCopyRGBYUVFrameCpu.h"
#include "ConvertionCopyYUVFrameCpu.h"

namespace {
constexpr char kSourceFile[] = "src/ConvertionCopyCpuVidFrameMemory";
constexpr uint32_t kPacked = ConvertionFlag_SameSize | ConvertionFlag_Direct | ConvertionFlag_Repack;
}  // namespace

// Searched in order; the first match wins.
const ConvertionCopyEntry ConvertionCopyTable[kConvertionCopyRows] = {
    {&MediaFormat_YUV422Packed8, &MediaFormat_YUV444_8, 1, Yuv422To444_8, 4},                   // 0
    {&MediaFormat_YUVA422Packed8, &MediaFormat_YUV444_8, 1, Yuv422To444_8, 4},                  // 1
    {&MediaFormat_YUVA422Packed8, &MediaFormat_YUVA444_8, 1, Yuv422AlphaToYuva444_8, 4},        // 2
    {&MediaFormat_YUV444_8, &MediaFormat_YUV422Packed8, 1, Yuv444To422_8, 4},                   // 3
    {&MediaFormat_YUV444_8, &MediaFormat_YUVA422Packed8, 1, Yuv444To422_8, 4},                  // 4
    {&MediaFormat_YUV422Packed8, &MediaFormat_YUVA444_8, 1, Yuv422ToYuva444_8, 4},              // 5
    {&MediaFormat_YUVA444_8, &MediaFormat_YUV422Packed8, 1, Yuva444To422_8, 4},                 // 6
    {&MediaFormat_YUVA444_8, &MediaFormat_YUVA422Packed8, 1, Yuva444To422Alpha_8, 4},           // 7
    {&MediaFormat_YUV422Packed10, &MediaFormat_YUV444_16, 1, Yuv422To444_10, 4},                // 8
    {&MediaFormat_YUVA422Packed10, &MediaFormat_YUV444_16, 1, Yuv422To444_10, 4},               // 9
    {&MediaFormat_YUVA422Packed10, &MediaFormat_YUVA444_16, 1, Yuv422AlphaToYuva444_10, 4},     // 10
    {&MediaFormat_YUV444_16, &MediaFormat_YUV422Packed10, 1, Yuv444To422_10, 4},                // 11
    {&MediaFormat_YUV444_16, &MediaFormat_YUVA422Packed10, 1, Yuv444To422_10, 4},               // 12
    {&MediaFormat_YUV422Packed10, &MediaFormat_YUVA444_16, 1, Yuv422ToYuva444_10, 4},           // 13
    {&MediaFormat_YUVA444_16, &MediaFormat_YUV422Packed10, 1, Yuva444To422_10, 4},              // 14
    {&MediaFormat_YUVA444_16, &MediaFormat_YUVA422Packed10, 1, Yuva444To422Alpha_10, 4},        // 15
    {&MediaFormat_YUV422Packed8, &MediaFormat_YUV422SemiPlanar8, 1, Yuv422ToSemiPlanar_8, 2},   // 16
    {&MediaFormat_YUV422SemiPlanar8, &MediaFormat_YUV422Packed8, 1, SemiPlanarToYuv422_8, 2},   // 17
    {&MediaFormat_YUV422Packed8, &MediaFormat_RGB8, 1, Yuv422ToRgb_8, 8},                       // 18
    {&MediaFormat_RGB8, &MediaFormat_YUV422Packed8, 1, RgbToYuv422_8, 8},                       // 19
    {&MediaFormat_YUV422Packed10, &MediaFormat_RGB8, 1, Yuv422ToRgb_10, 8},                     // 20
    {&MediaFormat_RGB8, &MediaFormat_YUV422Packed10, 1, RgbToYuv422_10, 8},                     // 21
    {&MediaFormat_YUV444_8, &MediaFormat_RGB8, 1, Yuv444ToRgb_8, 8},                            // 22
    {&MediaFormat_RGB8, &MediaFormat_YUV444_8, 1, RgbToYuv444_8, 8},                            // 23
    {&MediaFormat_YUVA444_8, &MediaFormat_RGB8, 1, Yuva444ToRgb_8, 8},                          // 24
    {&MediaFormat_RGB8, &MediaFormat_YUVA444_8, 1, RgbToYuva444_8, 8},                          // 25
    {&MediaFormat_YUVA444_16, &MediaFormat_RGB8, 1, Yuva444ToRgb_16, 8},                        // 26
    {&MediaFormat_YUV422Packed8, &MediaFormat_Mono8, 1, Yuv422ToMono_8, 1},                     // 27
    {&MediaFormat_YUVA422Packed8, &MediaFormat_Mono8, 1, Yuv422ToMono_8, 1},                    // 28
    {&MediaFormat_YUV422Packed10, &MediaFormat_Mono8, 1, Yuv422ToMono_10, 1},                   // 29
    {&MediaFormat_YUVA422Packed10, &MediaFormat_Mono8, 1, Yuv422ToMono_10, 1},                  // 30
    {&MediaFormat_YUV444_16, &MediaFormat_Mono8, 1, Yuv444ToMono_16, 1},                        // 31
    {&MediaFormat_YUV444_8, &MediaFormat_Mono8, 1, Yuv444ToMono_8, 1},                          // 32
    {&MediaFormat_YUVA444_8, &MediaFormat_Mono8, 1, Yuva444ToMono_8, 1},                        // 33
    {&MediaFormat_YUVA444_16, &MediaFormat_Mono8, 1, Yuva444ToMono_16, 1},                      // 34
    {&MediaFormat_RGBA8, &MediaFormat_Mono8, 1, Rgba8ToMono, 1},                                // 35
    {&MediaFormat_RGBA8Alt, &MediaFormat_Mono8, 1, Rgba8ToMono, 1},                             // 36
    {&MediaFormat_RGBX8, &MediaFormat_Mono8, 1, Rgba8ToMono, 1},                                // 37
    {&MediaFormat_RGB8, &MediaFormat_Mono8, 1, Rgb8ToMono, 1},                                  // 38
    {&MediaFormat_RGBA16, &MediaFormat_Mono8, 1, Rgba16ToMono, 1},                              // 39
    {&MediaFormat_RGBA16Alt, &MediaFormat_Mono8, 1, Rgba16ToMono, 1},                           // 40
    {&MediaFormat_ARGB8, &MediaFormat_Mono8, 1, Argb8ToMono, 1},                                // 41
    {&MediaFormat_ARGB16, &MediaFormat_Mono8, 1, Argb16ToMono, 1},                              // 42
    {&MediaFormat_RGBAFloat, &MediaFormat_Mono8, 1, RgbaFloatToMono, 1},                        // 43
    {&MediaFormat_RGBAFloatAlt, &MediaFormat_Mono8, 1, RgbaFloatToMono, 1},                     // 44
    {&MediaFormat_RGBA8, &MediaFormat_RGB8, 1, Rgba8ToRgb8, 1},                                 // 45
    {&MediaFormat_RGBX8, &MediaFormat_RGB8, 1, Rgba8ToRgb8, 1},                                 // 46
    {&MediaFormat_RGBA8Alt, &MediaFormat_RGB8, 1, Rgba8ToRgb8, 1},                              // 47
    {&MediaFormat_RGB8, &MediaFormat_RGBX8, kPacked, Expand3To4_8, 4},                          // 48
    {&MediaFormat_RGB8, &MediaFormat_RGBA8, kPacked, Expand3To4_8, 4},                          // 49
    {&MediaFormat_RGB8, &MediaFormat_RGBA8Alt, kPacked, Expand3To4_8, 4},                       // 50
    {&MediaFormat_YUV444_8, &MediaFormat_YUVA444_8, kPacked, Expand3To4_8, 4},                  // 51
    {&MediaFormat_RGB16, &MediaFormat_RGBA16, kPacked, Expand3To4_16, 4},                       // 52
    {&MediaFormat_YUV444_16, &MediaFormat_YUVA444_16, kPacked, Expand3To4_16, 4},               // 53
    {&MediaFormat_RGB16, &MediaFormat_RGB8, kPacked, Rgb16ToRgb8, 4},                           // 54
    {&MediaFormat_RGB8, &MediaFormat_RGB16, kPacked, Rgb8ToRgb16, 4},                           // 55
    {&MediaFormat_RGBA16, &MediaFormat_RGBA8, kPacked, Rgba16ToRgba8, 4},                       // 56
    {&MediaFormat_RGBA8, &MediaFormat_RGBA16, kPacked, Rgba8ToRgba16, 4},                       // 57
    {&MediaFormat_RGBA8, &MediaFormat_ARGB16, kPacked, ReverseExpand8To16, 4},                  // 58
    {&MediaFormat_ARGB8, &MediaFormat_RGBA16, kPacked, ReverseExpand8To16, 4},                  // 59
    {&MediaFormat_RGBA16, &MediaFormat_ARGB8, kPacked, ReverseShrink16To8, 4},                  // 60
    {&MediaFormat_ARGB16, &MediaFormat_RGBA8, kPacked, ReverseShrink16To8, 4},                  // 61
    {&MediaFormat_ARGB8, &MediaFormat_RGBA8, kPacked, Reverse8, 4},                             // 62
    {&MediaFormat_RGBA8, &MediaFormat_ARGB8, kPacked, Reverse8, 4},                             // 63
    {&MediaFormat_RGBA8, &MediaFormat_RGBX8, kPacked, SameLayoutCopy, 1},                       // 64
    {nullptr, nullptr, kPacked, IdenticalCopy, 0},                                              // 65
};

namespace {

bool RowMatches(const ConvertionCopyEntry& row, const CpuVidFrameMemory& source, const CpuVidFrameMemory& target,
                bool sameSize) {
  if (row.source == nullptr && row.target == nullptr) {
    if (!varnica::SameGuid(source.format, target.format)) return false;
  } else if (!varnica::SameGuid(*row.source, source.format) || !varnica::SameGuid(*row.target, target.format)) {
    return false;
  }
  return (row.flags & ConvertionFlag_SameSize) == 0 || sameSize;
}

int32_t FindRow(const CpuVidFrameMemory& source, const CpuVidFrameMemory& target, bool directOnly) {
  const bool sameSize = source.width == target.width && source.height == target.height;
  for (int32_t i = 0; i < kConvertionCopyRows; ++i) {
    const ConvertionCopyEntry& row = ConvertionCopyTable[i];
    if (directOnly && (row.flags & ConvertionFlag_Direct) == 0) continue;
    if (RowMatches(row, source, target, sameSize)) return i;
  }
  return -1;
}

HRESULT Lookup(const CpuVidFrameMemory& source, const CpuVidFrameMemory& target, const GUID& mode,
               ConvertionCopyKernel* kernel, int32_t* bandCount) {
  *kernel = nullptr;
  *bandCount = 0;
  bool direct;
  if (varnica::IsNullGuid(mode)) {
    direct = false;
  } else if (varnica::SameGuid(mode, ConvertionMode_Direct)) {
    direct = true;
  } else {
    return E_INVALIDARG;
  }
  int32_t row = FindRow(source, target, direct);
  if (row < 0 && direct) {
    // No plain repacking for this pair: any conversion will do, banded as the row says.
    direct = false;
    row = FindRow(source, target, false);
  }
  if (row < 0) return E_VALUE_NOT_FOUND;
  *kernel = ConvertionCopyTable[row].kernel;
  *bandCount = direct ? 1 : ConvertionCopyTable[row].bandCount;
  return S_OK;
}

// Vertical size of each plane in sixteenths of the frame height (16: full height).
void PlaneRatios(const GUID& format, int32_t ratios[kMaxVideoPlanes]) {
  int32_t rows[kMaxVideoPlanes] = {};
  const int32_t planes = mediahost::PlaneLayout(format, 256, 4096, kMaxVideoPlanes, nullptr, rows);
  for (int32_t k = 0; k < kMaxVideoPlanes; ++k) ratios[k] = k < planes ? rows[k] / 256 : 16;
}

struct BandJob {
  ConvertionCopyKernel kernel;
  const CpuVidFrameMemory* source;
  const CpuVidFrameMemory* target;
  int32_t sourceRatios[kMaxVideoPlanes];
  int32_t targetRatios[kMaxVideoPlanes];
  int32_t height;
  int32_t bandHeight;
  int32_t bands;
  std::atomic<int32_t> next{-1};  // last band index taken
};

void AdvancePlanes(CpuVidFrameMemory& frame, const int32_t ratios[kMaxVideoPlanes], int32_t firstRow) {
  for (int32_t k = 0; k < kMaxVideoPlanes; ++k) {
    if (frame.planes[k].data != nullptr) frame.planes[k].data += (int64_t{firstRow} * ratios[k] / 16) * frame.planes[k].pitch;
  }
}

HRESULT RunBands(void* context) {
  BandJob& job = *static_cast<BandJob*>(context);
  for (;;) {
    const int32_t band = job.next.fetch_add(1) + 1;
    if (band >= job.bands) return S_OK;
    const int32_t first = band * job.bandHeight;
    const int32_t end = std::min(first + job.bandHeight, job.height);
    CpuVidFrameMemory source = *job.source;
    CpuVidFrameMemory target = *job.target;
    source.height = end - first;
    target.height = end - first;
    AdvancePlanes(source, job.sourceRatios, first);
    AdvancePlanes(target, job.targetRatios, first);
    try {
      const HRESULT hr = job.kernel(source, target);
      if (FAILED(hr)) return hr;
    } catch (...) {
      return mediahost::ReportCaughtFailure();
    }
  }
}

}  // namespace

ConvertionBands PlanConvertionBands(int32_t height, int32_t bandCount, int32_t processors) {
  int32_t n = bandCount;
  if (n < 1) n = std::max(1, height / 256);
  n = std::max(1, std::min(n, processors));
  int32_t bandHeight = (height + n - 1) / n;
  bandHeight = (bandHeight + 15) & ~15;
  if (bandHeight < 16) bandHeight = 16;
  return {bandHeight, (height + bandHeight - 1) / bandHeight};
}

HRESULT FindConvertionCopy(ConvertionCopyKernel* kernel, int32_t* bandCount, const CpuVidFrameMemory* source,
                           const CpuVidFrameMemory* target, const GUID& mode) {
  if (kernel == nullptr || bandCount == nullptr || source == nullptr || target == nullptr) {
    if (kernel != nullptr) *kernel = nullptr;
    return E_POINTER;
  }
  return Lookup(*source, *target, mode, kernel, bandCount);
}

HRESULT CopyCpuVidFrameMemory(const CpuVidFrameMemory* source, const CpuVidFrameMemory* target, const GUID& mode,
                              CpuThreadPool* pool) {
  if (source == nullptr) mediahost::RaiseFailure(E_POINTER, MEDIA_LOC, "pSrc");
  if (target == nullptr) mediahost::RaiseFailure(E_POINTER, MEDIA_LOC, "pTar");
  ConvertionCopyKernel kernel;
  int32_t bandCount;
  const HRESULT found = Lookup(*source, *target, mode, &kernel, &bandCount);
  if (FAILED(found)) {
    char text[256];
    std::snprintf(text, sizeof(text), "[%dx%d] %s --> [%dx%d] %s", source->width, source->height,
                  mediahost::FormatName(source->format), target->width, target->height,
                  mediahost::FormatName(target->format));
    mediahost::RaiseFailure(found, MEDIA_LOC, text);
  }

  const bool sameSize = source->width == target->width && source->height == target->height;
  const int32_t processors = mediahost::ProcessorCount();
  if (pool == nullptr || bandCount == 1 || !sameSize || processors < 2 || source->height < 1) {
    return kernel(*source, *target);
  }

  BandJob job;
  job.kernel = kernel;
  job.source = source;
  job.target = target;
  PlaneRatios(source->format, job.sourceRatios);
  PlaneRatios(target->format, job.targetRatios);
  job.height = source->height;
  const ConvertionBands plan = PlanConvertionBands(source->height, bandCount, processors);
  job.bandHeight = plan.bandHeight;
  job.bands = plan.bands;
  const HRESULT hr = pool->RunJob("CopyCpuVidFrameMemory", job.bands, RunBands, &job);
  if (FAILED(hr)) mediahost::RaiseFailure(hr, MEDIA_LOC, "CopyCpuVidFrameMemory");
  return S_OK;
}

#ifdef _WIN32
#include "VarnicaFrameAccess.h"

HRESULT CopyCpuVidFrameMemory(IUnknown* source, IUnknown* target, const GUID& mode, CpuThreadPool* pool) {
  if (source == nullptr) mediahost::RaiseFailure(E_POINTER, MEDIA_LOC, "pSrc");
  if (target == nullptr) mediahost::RaiseFailure(E_POINTER, MEDIA_LOC, "pTar");
  vmdx::FrameMemoryLock sourceLock, targetLock;
  HRESULT hr = sourceLock.Lock(source, vmdx::kLockRead);
  if (FAILED(hr)) mediahost::RaiseFailure(hr, MEDIA_LOC, "SrcFrameLock");
  hr = targetLock.Lock(target, LockAccess_Write);
  if (FAILED(hr)) mediahost::RaiseFailure(hr, MEDIA_LOC, "TarFrameLock");
  hr = sourceLock.ReadMemory();
  if (SUCCEEDED(hr)) hr = targetLock.ReadMemory();
  if (FAILED(hr)) mediahost::RaiseFailure(hr, MEDIA_LOC, "ReadFrom");
  hr = CopyCpuVidFrameMemory(&sourceLock.memory(), &targetLock.memory(), mode, pool);
  if (FAILED(hr)) mediahost::RaiseFailure(hr, MEDIA_LOC, "CopyCpuVidFrameMemory");
  return hr;
}
#endif
