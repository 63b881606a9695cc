#include "ConversionTestSupport.h"

#include <cstring>
#include <memory>
#include <vector>

#include "CpuFeatures.h"

#ifdef _WIN32
#include "VarnicaCore.h"
#endif

CaughtFailure CatchFailure(const std::function<void()>& body) {
  CaughtFailure result;
  try {
    body();
#ifdef _WIN32
  } catch (IException* e) {
    result.raised = true;
    result.code = e->GetCode();
    result.text = e->GetMessageText() ? e->GetMessageText() : "";
    e->Release();
  }
#else
  } catch (const mediahost::MediaFailure& e) {
    result.raised = true;
    result.code = e.code;
    result.text = e.text;
  }
#endif
  return result;
}

int RunOnGuardedPages(ConvertionCopyKernel kernel, const CpuVidFrameMemory& source, const CpuVidFrameMemory& expected,
                      uint32_t mask, uint8_t fill) {
  std::vector<std::unique_ptr<GuardedBuffer>> buffers;
  CpuVidFrameMemory s = source, t = expected;
  auto guard = [&](CpuVidFrameMemory& record, int k, const uint8_t* from, int fillWith) {
    const size_t bytes = size_t(record.planes[k].pitch) * record.height;
    buffers.push_back(std::make_unique<GuardedBuffer>(bytes));
    if (fillWith < 0)
      std::memcpy(buffers.back()->data(), from, bytes);
    else
      std::memset(buffers.back()->data(), fillWith, bytes);
    record.planes[k].data = buffers.back()->data();
  };
  for (int k = 0; k < 2; ++k) {
    if (s.planes[k].data) guard(s, k, source.planes[k].data, -1);
    if (t.planes[k].data) guard(t, k, nullptr, fill);
  }
  cpufeatures::SetMaskForTesting(mask);
  const HRESULT hr = kernel(s, t);
  cpufeatures::SetMaskForTesting(~0u);
  if (FAILED(hr)) return 0;
  for (int k = 0; k < 2; ++k)
    if (t.planes[k].data &&
        std::memcmp(t.planes[k].data, expected.planes[k].data, size_t(t.planes[k].pitch) * t.height) != 0)
      return k;
  return -1;
}
