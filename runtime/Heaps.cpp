#include "Heaps.h"

#include <new>

#include "Diagnostics.h"

namespace {
HANDLE g_objectHeap = nullptr;
TWinHeap* g_valueHeap = nullptr;
}  // namespace

void CreateObjectHeap() { g_objectHeap = HeapCreate(0, 0, 0); }

void DestroyObjectHeap() {
  if (g_objectHeap) HeapDestroy(g_objectHeap);
  g_objectHeap = nullptr;
}

void* ObjectHeapAlloc(size_t size) noexcept {
  void* p = g_objectHeap ? HeapAlloc(g_objectHeap, 0, size) : nullptr;
  if (!p) DebugOutputF("TWinHeap::AllocMem failed err=%d size=%lld\n", static_cast<int>(GetLastError()),
                       static_cast<long long>(size));
  return p;
}

void ObjectHeapFree(void* block) noexcept {
  if (!block) return;
  if (!g_objectHeap || !HeapFree(g_objectHeap, 0, block))
    DebugOutputF("TWinHeap::FreeMem failed err=%d ptr=%p\n", static_cast<int>(GetLastError()), block);
}

TWinHeap::TWinHeap() : handle_(HeapCreate(0, 0, 0)) {}

TWinHeap::~TWinHeap() {
  if (handle_) HeapDestroy(handle_);
}

void* TWinHeap::AllocMem(size_t size) noexcept {
  void* p = handle_ ? HeapAlloc(handle_, 0, size) : nullptr;
  if (!p) DebugOutputF("TWinHeap::AllocMem failed err=%d size=%lld\n", static_cast<int>(GetLastError()),
                       static_cast<long long>(size));
  return p;
}

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
