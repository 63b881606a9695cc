// The module's two private heaps: one for object blocks, one for value data.
#pragma once
#include <cstddef>
#include <cstdint>
#include "VarnicaPlatform.h"

// Object heap (object blocks of the classes and enumerators).
void* ObjectHeapAlloc(size_t size) noexcept;  // null on failure, after the "AllocMem failed" line
void ObjectHeapFree(void* block) noexcept;

// Value heap (a TWinHeap object).
class TWinHeap {
 public:
  TWinHeap();
  virtual ~TWinHeap();
  virtual void* AllocMem(size_t size) noexcept;
  virtual void FreeMem(void* pointer) noexcept;
  HANDLE Handle() const { return handle_; }

 private:
  HANDLE handle_;
};
TWinHeap* ValueHeap();

// Test hook, not exported from the DLL (test programs that link the module's objects reach it):
// the allocation-th allocation from either private heap, counted from this call, fails as an
// exhausted heap would (error ERROR_NOT_ENOUGH_MEMORY); 0 lets every allocation through.
void SetHeapAllocationFailure(uint32_t allocation);
// Allocations from either heap since the last SetHeapAllocationFailure.
uint32_t HeapAllocationsCounted();

// Called from the module's static initialisation, in its order (and reverse at exit).
void CreateObjectHeap();
void DestroyObjectHeap();
void CreateValueHeap();
void DestroyValueHeap();
