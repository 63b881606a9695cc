// std::thread pool of the native build: fixed threads waiting for one job at a time.
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "CpuThreadPool.h"

namespace {

class StdThreadPool final : public CpuThreadPool {
 public:
  explicit StdThreadPool(int32_t threads) {
    for (int32_t i = 0; i < threads; ++i) threads_.emplace_back([this] { Serve(); });
  }

  ~StdThreadPool() override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_all();
    for (std::thread& t : threads_) t.join();
  }

  HRESULT RunJob(const char*, int32_t workers, Work work, void* context) override {
    if (workers < 1) return S_OK;
    std::lock_guard<std::mutex> oneJob(jobMutex_);
    std::unique_lock<std::mutex> lock(mutex_);
    work_ = work;
    context_ = context;
    waiting_ = workers;
    status_ = S_OK;
    wake_.notify_all();
    done_.wait(lock, [this] { return waiting_ == 0 && running_ == 0; });
    work_ = nullptr;
    return status_;
  }

  int32_t ThreadCount() const override { return static_cast<int32_t>(threads_.size()); }

 private:
  void Serve() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      wake_.wait(lock, [this] { return stopping_ || waiting_ > 0; });
      if (stopping_) return;
      --waiting_;
      ++running_;
      Work work = work_;
      void* context = context_;
      lock.unlock();
      const HRESULT hr = work(context);
      lock.lock();
      if (FAILED(hr) && SUCCEEDED(status_)) status_ = hr;
      if (--running_ == 0 && waiting_ == 0) done_.notify_all();
    }
  }

  std::vector<std::thread> threads_;
  std::mutex jobMutex_;  // one job at a time
  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable done_;
  Work work_ = nullptr;
  void* context_ = nullptr;
  int32_t waiting_ = 0;  // workers of the job not yet started
  int32_t running_ = 0;
  HRESULT status_ = S_OK;
  bool stopping_ = false;
};

}  // namespace

std::unique_ptr<CpuThreadPool> CreateCpuThreadPool(int32_t threads) {
  return std::make_unique<StdThreadPool>(threads < 1 ? 1 : threads);
}
