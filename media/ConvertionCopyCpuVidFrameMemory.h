// Copying frames in CPU memory between media formats: the table of conversions, the lookup and
// the copy, at once or in horizontal bands on a thread pool.
#pragma once
#include <cstdint>
#include "ConvertionCopyRows.h"
#include "CpuThreadPool.h"
#include "VarnicaMediaFormats.h"

// Row flags of ConvertionCopyTable.
enum : uint32_t {
  ConvertionFlag_SameSize = 0x1,  // source and target must have the same width and height
  ConvertionFlag_Direct = 0x2,    // plain repacking, preferred in direct mode
  ConvertionFlag_Repack = 0x4,    // set with ConvertionFlag_Direct; not read by the lookup
};

struct ConvertionCopyEntry {
  const GUID* source;  // null on both sides: any pair of equal formats
  const GUID* target;
  uint32_t flags;
  ConvertionCopyKernel kernel;
  int8_t bandCount;  // 1: never split; 0 or less: one band per 256 rows
};

constexpr int32_t kConvertionCopyRows = 66;
extern const ConvertionCopyEntry ConvertionCopyTable[kConvertionCopyRows];

// The lookup alone: S_OK with the kernel and band count, E_VALUE_NOT_FOUND with a null kernel
// when no row matches, E_INVALIDARG for a mode that is neither null nor ConvertionMode_Direct.
HRESULT FindConvertionCopy(ConvertionCopyKernel* kernel, int32_t* bandCount, const CpuVidFrameMemory* source,
                           const CpuVidFrameMemory* target, const GUID& mode);

// Converts source into target. pool may be null (the copy then runs on the calling thread).
// Failures are raised; S_OK otherwise.
HRESULT CopyCpuVidFrameMemory(const CpuVidFrameMemory* source, const CpuVidFrameMemory* target, const GUID& mode,
                              CpuThreadPool* pool);

#ifdef _WIN32
// The same for two frame objects: locks them, reads their CPU memory records and copies.
HRESULT CopyCpuVidFrameMemory(IUnknown* source, IUnknown* target, const GUID& mode, CpuThreadPool* pool);
#endif

// How a frame of `height` rows is split for a row's band count on `processors` processors.
struct ConvertionBands {
  int32_t bandHeight;  // a multiple of 16
  int32_t bands;
};
ConvertionBands PlanConvertionBands(int32_t height, int32_t bandCount, int32_t processors);
