// One way for hosts and the module to reach property values and frame memory: typed value access
// sized by the type, a guard that locks a frame and reads its CPU memory record, and the layout
// of planes stacked in one surface.
#pragma once
#include <cstdint>
#include <utility>
#include <wrl/client.h>

#include "VarnicaMedia.h"

namespace vmdx {

// Access flags of ILockObject::LockObject as frames are locked for reading and for writing.
inline constexpr uint32_t kLockRead = LockAccess_Read | LockAccess_ReadClass;     // 0x11
inline constexpr uint32_t kLockWrite = LockAccess_Write | LockAccess_WriteClass;  // 0x22
// What a frame allows when its creator says nothing else: read (either class) and write.
inline constexpr uint32_t kLockAccessDefault = kLockRead | LockAccess_Write;  // 0x13

// Reads or writes a property value of type T; the size is always sizeof(T). set is an IValueSet
// pointer or smart pointer.
template <class T, class Set>
HRESULT GetValue(const Set& set, REFGUID key, const GUID& type, T* out) {
  return set ? set->GetValueData(key, &type, out, sizeof(T)) : E_POINTER;
}
template <class T, class Set>
HRESULT SetValue(const Set& set, REFGUID key, const GUID& type, const T& value) {
  return set ? set->SetValueData(key, &type, &value, sizeof(T)) : E_POINTER;
}

// Fills record's planes for a frame whose planes lie one below the other in one block with one
// pitch (how a texture or surface holds a multi-plane format). Returns the number of planes, less
// than 1 when the format has no plane layout; totalRows (may be null) gets the rows of all planes.
inline int32_t StackPlanes(CpuVidFrameMemory* record, uint8_t* base, int64_t pitch, int32_t* totalRows = nullptr) {
  int32_t rows[kMaxVideoPlanes] = {};
  const int32_t planes = GetFormatVideoPlaneLayout(&record->format, record->width, record->height, kMaxVideoPlanes,
                                                   nullptr, nullptr, nullptr, nullptr, rows);
  int32_t sum = 0;
  uint8_t* plane = base;
  for (int32_t i = 0; i < kMaxVideoPlanes; ++i) {
    if (i < planes) {
      record->planes[i] = {plane, pitch};
      plane += int64_t{rows[i]} * pitch;
      sum += rows[i];
    } else {
      record->planes[i] = {nullptr, 0};
    }
  }
  if (totalRows) *totalRows = sum;
  return planes;
}

// Holds one lock of a frame (ILockObject) and the frame's CPU memory record; unlocks when it
// goes. Lock and ReadMemory are separate steps so that callers can name the step that failed.
class FrameMemoryLock {
 public:
  FrameMemoryLock() = default;
  ~FrameMemoryLock() { Unlock(); }
  FrameMemoryLock(const FrameMemoryLock&) = delete;
  FrameMemoryLock& operator=(const FrameMemoryLock&) = delete;

  // Locks frame with access (kLockRead, kLockWrite, ...). Nothing is held after a failure.
  HRESULT Lock(IUnknown* frame, uint32_t access) {
    Unlock();
    if (frame == nullptr) return E_POINTER;
    Microsoft::WRL::ComPtr<ILockObject> lock;
    HRESULT hr = frame->QueryInterface(IID_ILockObject, reinterpret_cast<void**>(lock.GetAddressOf()));
    if (SUCCEEDED(hr)) hr = lock->LockObject(access);
    if (FAILED(hr)) return hr;
    lock_ = std::move(lock);
    frame_ = frame;
    return hr;
  }
  // Reads the locked frame's CpuVidFrameMemory record through its value set.
  HRESULT ReadMemory() {
    if (!lock_) return E_ACCESSDENIED;
    HRESULT hr = S_OK;
    if (!values_) {
      Microsoft::WRL::ComPtr<IVarnicaObject> object;
      hr = frame_->QueryInterface(IID_IVarnicaObject, reinterpret_cast<void**>(object.GetAddressOf()));
      if (SUCCEEDED(hr)) hr = object->GetValueSet(values_.GetAddressOf());
      if (SUCCEEDED(hr) && !values_) hr = E_POINTER;
      if (FAILED(hr)) return hr;
    }
    return GetValue(values_.Get(), CVideoFrameCpuMemoryProperty, CVideoFrameCpuMemoryProperty, &memory_);
  }
  // Lock, then ReadMemory: the first failure.
  HRESULT Open(IUnknown* frame, uint32_t access) {
    HRESULT hr = Lock(frame, access);
    if (SUCCEEDED(hr)) hr = ReadMemory();
    if (FAILED(hr)) Unlock();
    return hr;
  }
  void Unlock() {
    if (lock_) lock_->UnlockObject();
    lock_.Reset();
    values_.Reset();
    frame_ = nullptr;
    memory_ = {};
  }

  bool locked() const { return lock_ != nullptr; }
  // The frame's value set (after ReadMemory), for its other properties.
  IValueSet* values() const { return values_.Get(); }
  const CpuVidFrameMemory& memory() const { return memory_; }
  uint8_t* row(int plane, int32_t y) const { return memory_.planes[plane].data + int64_t{y} * memory_.planes[plane].pitch; }

 private:
  Microsoft::WRL::ComPtr<ILockObject> lock_;
  Microsoft::WRL::ComPtr<IValueSet> values_;
  IUnknown* frame_ = nullptr;  // kept alive by lock_, the same object
  CpuVidFrameMemory memory_{};
};

}  // namespace vmdx
