// What the conversion tests need beyond the references: catching a raised failure on either
// build, kernels run on buffers that end at a page boundary, and a pool that counts its jobs.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "ConvertionCopyCpuVidFrameMemory.h"
#include "GuardedBuffer.h"

struct CaughtFailure {
  bool raised = false;
  HRESULT code = S_OK;
  std::string text;
};
// Runs body; reports whether it raised, with the failure's code and text.
CaughtFailure CatchFailure(const std::function<void()>& body);

// Converts source (tight rows) with kernel at the processor features in mask, every plane copied
// into buffers that end at a page, and compares the target with expected (also tight). A kernel
// reading or writing one byte past a row faults. Returns the first differing plane, or -1.
int RunOnGuardedPages(ConvertionCopyKernel kernel, const CpuVidFrameMemory& source, const CpuVidFrameMemory& expected,
                      uint32_t mask, uint8_t fill);

// Hands jobs on to a real pool and remembers how many workers the last one asked for.
class CountingPool final : public CpuThreadPool {
 public:
  explicit CountingPool(int32_t threads) : pool_(CreateCpuThreadPool(threads)) {}
  HRESULT RunJob(const char* name, int32_t workers, Work work, void* context) override {
    ++jobs;
    lastWorkers = workers;
    lastName = name;
    return pool_->RunJob(name, workers, work, context);
  }
  int32_t ThreadCount() const override { return pool_->ThreadCount(); }
  int jobs = 0;
  int32_t lastWorkers = 0;
  std::string lastName;

 private:
  std::unique_ptr<CpuThreadPool> pool_;
};
