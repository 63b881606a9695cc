// CommonMediaVideoCpuFrame: a video frame in CPU memory, its own or memory shared with an owner
// object that it keeps alive. Locked and read like a GPU frame: LockObject, then the
// CVideoFrameCpuMemoryProperty record from its value set, which also holds its properties.
#pragma once
#include <mutex>
#include <vector>
#include <wrl/client.h>

#include "FrameworkObject.h"
#include "VarnicaMedia.h"

namespace vmedia {

class CommonMediaVideoCpuFrame final : public vfw::FrameworkObject<ICommonMediaVideoCpuFrame>,
                                       public ILockObject,
                                       public IValueSet {
 public:
  CommonMediaVideoCpuFrame();

  // Creation through CreateClassObject.
  static HRESULT CreateInstance(REFIID iid, void** ppv);

  // IUnknown, one identity for every base.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return FrameworkObject::AddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return FrameworkObject::Release(); }

  // IVarnicaObject
  HRESULT STDMETHODCALLTYPE GetObject(REFGUID key, REFIID iid, void** ppv) override;
  HRESULT STDMETHODCALLTYPE GetValueSet(IValueSet** valueSet) override;
  // ICommonMediaVideoCpuFrame
  HRESULT STDMETHODCALLTYPE SetEnabledLockAccess(uint32_t mask) override;
  HRESULT STDMETHODCALLTYPE ShareVideoFrameCpuMemory(IUnknown* owner, uint32_t flags,
                                                     const CpuVidFrameMemory* frame) override;
  HRESULT STDMETHODCALLTYPE Create0() override;
  HRESULT STDMETHODCALLTYPE Create1(const GUID* format, int32_t width, int32_t height) override;
  // ILockObject
  HRESULT STDMETHODCALLTYPE LockObject(uint32_t flags) override;
  HRESULT STDMETHODCALLTYPE UnlockObject() override;
  // IDisposable: refused while locked.
  HRESULT STDMETHODCALLTYPE Dispose() override;

  // IValueSet: the frame's properties, checked for type and size, and any other value a host
  // keeps with the frame.
  HRESULT STDMETHODCALLTYPE GetEnumerator(REFIID iid, void** ppv) override;
  HRESULT STDMETHODCALLTYPE GetCount() override;
  HRESULT STDMETHODCALLTYPE Clear() override;
  HRESULT STDMETHODCALLTYPE IsReadOnly() override { return S_FALSE; }
  HRESULT STDMETHODCALLTYPE AddGUID(REFGUID key, REFGUID value) override;
  HRESULT STDMETHODCALLTYPE Remove(REFGUID key) override;
  HRESULT STDMETHODCALLTYPE HasValue(REFGUID key) override;
  HRESULT STDMETHODCALLTYPE Reserved() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetValue(REFGUID key, REFIID iid, void** ppv) override;
  HRESULT STDMETHODCALLTYPE SetValue(REFGUID key, IValue* value) override;
  HRESULT STDMETHODCALLTYPE GetValues(const GUID*, int32_t, IValue**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetKeys(GUID* keys, int32_t capacity) override;
  HRESULT STDMETHODCALLTYPE GetValueIdentifier(REFGUID, GUID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetValueData(REFGUID key, const GUID* type, void* data, VSIZE size) override;
  HRESULT STDMETHODCALLTYPE SetValueData(REFGUID key, const GUID* type, const void* data, VSIZE size) override;
  HRESULT STDMETHODCALLTYPE GetValueType(REFGUID key, GUID* type, VSIZE* size) override;
  HRESULT STDMETHODCALLTYPE GetPropertySize(REFGUID key) override;
  HRESULT STDMETHODCALLTYPE GetPropertyType(REFGUID key, GUID* type, VSIZE* size) override;
  HRESULT STDMETHODCALLTYPE GetPropertyData(REFGUID key, const GUID* type, void* data, VSIZE size) override;
  HRESULT STDMETHODCALLTYPE SetPropertyData(REFGUID key, const GUID* type, const void* data, VSIZE size) override;

  // For the media module's own producers (the decoder): the record of a created frame, to be
  // filled before the frame is handed out.
  CpuVidFrameMemory Memory() const;

 private:
  ~CommonMediaVideoCpuFrame() override;
  bool ServesMain(REFIID iid) const override;
  void OnDispose() override;

  // Raises E_ACCESSDENIED "<operation>: not allowed if the object is locked".
  void ThrowIfLocked(const char* operation, const SourceLocation& location) const;
  void CheckCreatable(const char* operation, const SourceLocation& location) const;
  // Own memory for a frame of this format and size; every pitch a multiple of 16.
  void Allocate(const GUID& format, int32_t width, int32_t height);
  // After memory is attached: format and size into the value set, defaults for the rest.
  void Publish();
  // The set/remove rules of the property keys; raises when key may not change now.
  void CheckWritable(REFGUID key, const GUID* type, VSIZE size, const char* operation,
                     const SourceLocation& location) const;
  HRESULT ReadCpuMemory(const GUID* type, void* data, VSIZE size);

  Microsoft::WRL::ComPtr<IValueSet> values_;  // the general set behind the frame's values
  mutable std::mutex stateLock_;
  bool created_ = false;
  CpuVidFrameMemory memory_{};
  std::vector<uint8_t> ownMemory_;
  Microsoft::WRL::ComPtr<IUnknown> owner_;  // keeps shared memory alive
  CpuVidFrameMemory shared_{};              // given by ShareVideoFrameCpuMemory, used by Create0
  bool sharedPending_ = false;

  mutable std::mutex lockStateLock_;
  int32_t lockCount_ = 0;
  uint32_t lockFlags_ = 0;
  uint32_t enabledLockAccess_ = 0x13;
};

// Frame properties the frame checks for type and size.
struct FramePropertyRow {
  const GUID* key;
  const GUID* type;
  VSIZE size;
  const char* name;
};
const FramePropertyRow* FindFrameProperty(const GUID& key);

}  // namespace vmedia
