// Memory whose last byte is followed by an inaccessible page: a read or write one byte past the
// end faults. Built natively too (the sanitizer runs of the conversion kernels).
#pragma once
#include <cstddef>
#include <cstdint>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/mman.h>
#include <unistd.h>
#endif

class GuardedBuffer {
 public:
  explicit GuardedBuffer(size_t bytes) {
#ifdef _WIN32
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    const size_t page = info.dwPageSize;
#else
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
#endif
    const size_t usable = (bytes + page - 1) / page * page;
    mapped_ = usable + page;
#ifdef _WIN32
    base_ = static_cast<uint8_t*>(VirtualAlloc(nullptr, mapped_, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    DWORD old;
    VirtualProtect(base_ + usable, page, PAGE_NOACCESS, &old);
#else
    base_ = static_cast<uint8_t*>(mmap(nullptr, mapped_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    mprotect(base_ + usable, page, PROT_NONE);
#endif
    data_ = base_ + usable - bytes;
  }
  ~GuardedBuffer() {
#ifdef _WIN32
    VirtualFree(base_, 0, MEM_RELEASE);
#else
    munmap(base_, mapped_);
#endif
  }
  GuardedBuffer(const GuardedBuffer&) = delete;
  GuardedBuffer& operator=(const GuardedBuffer&) = delete;
  uint8_t* data() const { return data_; }

 private:
  uint8_t* base_ = nullptr;
  size_t mapped_ = 0;
  uint8_t* data_ = nullptr;
};
