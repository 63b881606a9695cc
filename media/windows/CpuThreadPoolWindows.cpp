// Windows thread pool of the DLL: a private pool capped at n threads; each job is one work
// object submitted once per worker.
#include <atomic>

#include "CpuThreadPool.h"

namespace {

struct Job {
  CpuThreadPool::Work work;
  void* context;
  std::atomic<HRESULT> status{S_OK};
};

void CALLBACK RunWorker(PTP_CALLBACK_INSTANCE, void* parameter, PTP_WORK) {
  Job* job = static_cast<Job*>(parameter);
  const HRESULT hr = job->work(job->context);
  HRESULT expected = S_OK;
  if (FAILED(hr)) job->status.compare_exchange_strong(expected, hr);
}

class WindowsThreadPool final : public CpuThreadPool {
 public:
  explicit WindowsThreadPool(int32_t threads) : threads_(threads) {
    InitializeThreadpoolEnvironment(&environment_);
    pool_ = CreateThreadpool(nullptr);
    if (pool_ != nullptr) {
      SetThreadpoolThreadMaximum(pool_, static_cast<DWORD>(threads));
      SetThreadpoolThreadMinimum(pool_, 1);
      SetThreadpoolCallbackPool(&environment_, pool_);
    }
  }

  ~WindowsThreadPool() override {
    if (pool_ != nullptr) CloseThreadpool(pool_);
    DestroyThreadpoolEnvironment(&environment_);
  }

  HRESULT RunJob(const char*, int32_t workers, Work work, void* context) override {
    if (workers < 1) return S_OK;
    Job job{work, context};
    PTP_WORK item = CreateThreadpoolWork(RunWorker, &job, pool_ != nullptr ? &environment_ : nullptr);
    if (item == nullptr) return HRESULT_FROM_WIN32(GetLastError());
    for (int32_t i = 0; i < workers; ++i) SubmitThreadpoolWork(item);
    WaitForThreadpoolWorkCallbacks(item, FALSE);
    CloseThreadpoolWork(item);
    return job.status.load();
  }

  int32_t ThreadCount() const override { return threads_; }

 private:
  int32_t threads_;
  PTP_POOL pool_ = nullptr;
  TP_CALLBACK_ENVIRON environment_{};
};

}  // namespace

std::unique_ptr<CpuThreadPool> CreateCpuThreadPool(int32_t threads) {
  return std::make_unique<WindowsThreadPool>(threads < 1 ? 1 : threads);
}
