#include "Heaps.h"

#include <atomic>
#include <new>

#include "Diagnostics.h"

namespace {
HANDLE g_objectHeap = nullptr;
TWinHeap* g_valueHeap = nullptr;

std::atomic<uint32_t> g_allocations{0};
std::atomic<uint32_t> g_failingAllocation{0};

// Both heaps allocate here, so one count covers every block the module takes.
void* AllocateFrom(HANDLE heap, size_t size) {
  const uint32_t n = g_allocations.fetch_add(1) + 1;
  const uint32_t failing = g_failingAllocation.load();
  void* p = nullptr;
  if (failing != 0 && n == failing)
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  else if (heap)
    p = HeapAlloc(heap, 0, size);
  if (!p)
    DebugOutputF("TWinHeap::AllocMem failed err=%d size=%lld\n", static_cast<int>(GetLastError()),
                 static_cast<long long>(size));
  return p;
}
}  // namespace

void SetHeapAllocationFailure(uint32_t allocation) {
  g_failingAllocation.store(0);
  g_allocations.store(0);
  g_failingAllocation.store(allocation);
}

uint32_t HeapAllocationsCounted() { return g_allocations.load(); }

void CreateObjectHeap() { g_objectHeap = HeapCreate(0, 0, 0); }

void DestroyObjectHeap() {
  if (g_objectHeap) HeapDestroy(g_objectHeap);
  g_objectHeap = nullptr;
}

void* ObjectHeapAlloc(size_t size) noexcept { return AllocateFrom(g_objectHeap, size); }

void ObjectHeapFree(void* block) noexcept {
  if (!block) return;
  if (!g_objectHeap || !HeapFree(g_objectHeap, 0, block))
    DebugOutputF("TWinHeap::FreeMem failed err=%d ptr=%p\n", static_cast<int>(GetLastError()), block);
}

TWinHeap::TWinHeap() : handle_(HeapCreate(0, 0, 0)) {}

TWinHeap::~TWinHeap() {
  if (handle_) HeapDestroy(handle_);
}

void* TWinHeap::AllocMem(size_t size) noexcept { return AllocateFrom(handle_, size); }

void TWinHeap::FreeMem(void* pointer) noexcept {
  if (!pointer) return;
  if (!handle_ || !HeapFree(handle_, 0, pointer))
    DebugOutputF("TWinHeap::FreeMem failed err=%d ptr=%p\n", static_cast<int>(GetLastError()), pointer);
}

TWinHeap* ValueHeap() { return g_valueHeap; }

void CreateValueHeap() { g_valueHeap = new (std::nothrow) TWinHeap(); }

void DestroyValueHeap() {
  delete g_valueHeap;
  g_valueHeap = nullptr;
}
