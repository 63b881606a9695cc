// The least a thread pool must do for the frame copy: run one job's workers on up to n threads
// and come back when all have finished, with the first failure. The DLL builds it on the
// Windows thread pool, the native build on std::thread.
#pragma once
#include <cstdint>
#include <memory>
#include "VarnicaMediaFormats.h"

class CpuThreadPool {
 public:
  // One worker of a job; returns S_OK or a failure code and never throws.
  using Work = HRESULT (*)(void* context);

  virtual ~CpuThreadPool() = default;
  // Runs work(context) `workers` times, at most ThreadCount() of them at once, and returns when
  // all have returned: S_OK, or the first failure a worker returned. name labels the job.
  virtual HRESULT RunJob(const char* name, int32_t workers, Work work, void* context) = 0;
  virtual int32_t ThreadCount() const = 0;
};

// A pool of `threads` threads (at least 1).
std::unique_ptr<CpuThreadPool> CreateCpuThreadPool(int32_t threads);

// The module-wide pool the texture upload hands to the copy. Nothing in the module fills it, so
// those copies run on the caller's thread.
inline CpuThreadPool* gModuleThreadPool = nullptr;
