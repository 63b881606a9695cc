#include "ConversionTestSupport.h"

#ifdef _WIN32
#include <windows.h>
#include "VarnicaCore.h"
#else
#include <sys/mman.h>
#include <unistd.h>
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

GuardedBuffer::GuardedBuffer(size_t bytes) {
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

GuardedBuffer::~GuardedBuffer() {
#ifdef _WIN32
  VirtualFree(base_, 0, MEM_RELEASE);
#else
  munmap(base_, mapped_);
#endif
}
