#include "CommonMediaVideoCpuFrame.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "MediaFormatLayouts.h"

using Microsoft::WRL::ComPtr;

namespace vmedia {
namespace {

constexpr char kSourceFile[] = "framework/media/CommonMediaVideoCpuFrame";
constexpr char kClassName[] = "CommonMediaVideoCpuFrame";

const FramePropertyRow kProperties[] = {
    {&TimecodeProperty, &TimecodeValueType, 24, "TimecodeProperty"},
    {&FrameFormat, &GuidValueType, 16, "FrameFormat"},
    {&FrameSizeProperty, &FrameSizeValueType, 8, "FrameSizeProperty"},
    {&CVideoFrameCpuMemoryProperty, &CVideoFrameCpuMemoryProperty, 88, "CVideoFrameCpuMemoryProperty"},
    {&FrameRateProperty, &FrameRateProperty, 24, "FrameRateProperty"},
    {&PixelAspectRatioProperty, &PixelAspectRatioValueType, 16, "PixelAspectRatioProperty"},
    {&VideoInterlaceProperty, &VideoInterlaceProperty, 2, "VideoInterlaceProperty"},
    {&FramePackingProperty, &GuidValueType, 16, "FramePackingProperty"},
};

bool IsCpuMemory(REFGUID key) { return varnica::SameGuid(key, CVideoFrameCpuMemoryProperty); }

// Format and size describe the memory: fixed once the frame is created.
bool DescribesMemory(REFGUID key) {
  return varnica::SameGuid(key, FrameFormat) || varnica::SameGuid(key, FrameSizeProperty);
}

[[noreturn]] void RaiseF(HRESULT code, const SourceLocation& location, const char* format, const char* a,
                         const char* b = "") {
  char text[256];
  std::snprintf(text, sizeof text, format, a, b);
  vfw::Raise(code, location, text);
}

int64_t RowBytesOf(const GUID& format, int32_t width, int32_t plane) {
  int32_t rowBytes[kMaxVideoPlanes] = {};
  const int32_t planes = FormatPlaneLayout(format, width, 1, kMaxVideoPlanes, nullptr, rowBytes, nullptr, nullptr,
                                           nullptr);
  return plane < planes ? rowBytes[plane] : 0;
}

}  // namespace

const FramePropertyRow* FindFrameProperty(const GUID& key) {
  for (const FramePropertyRow& row : kProperties) {
    if (varnica::SameGuid(*row.key, key)) return &row;
  }
  return nullptr;
}

CommonMediaVideoCpuFrame::CommonMediaVideoCpuFrame() : FrameworkObject(CLSID_CommonMediaVideoCpuFrame, kClassName, true) {}

CommonMediaVideoCpuFrame::~CommonMediaVideoCpuFrame() = default;

HRESULT CommonMediaVideoCpuFrame::CreateInstance(REFIID iid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  CommonMediaVideoCpuFrame* frame = new (std::nothrow) CommonMediaVideoCpuFrame();
  if (frame == nullptr) return E_OUTOFMEMORY;
  HRESULT hr = CreateClassObject(CLSID_ValueSet, IID_IValueSet, reinterpret_cast<void**>(frame->values_.GetAddressOf()));
  if (SUCCEEDED(hr)) hr = frame->QueryInterface(iid, ppv);
  frame->Release();
  return hr;
}

bool CommonMediaVideoCpuFrame::ServesMain(REFIID iid) const {
  return varnica::SameGuid(iid, IID_ICommonMediaVideoCpuFrame) || varnica::SameGuid(iid, IID_IVideoFrame) ||
         varnica::SameGuid(iid, IID_IVarnicaObject) || varnica::SameGuid(iid, IID_IVarnicaObjectBase);
}

HRESULT CommonMediaVideoCpuFrame::QueryInterface(REFIID iid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  void* found = nullptr;
  if (varnica::SameGuid(iid, IID_ILockObject)) {
    found = static_cast<ILockObject*>(this);
  } else if (varnica::SameGuid(iid, IID_IValueSet)) {
    found = static_cast<IValueSet*>(this);
  } else {
    return FrameworkObject::QueryInterface(iid, ppv);
  }
  AddRef();
  *ppv = found;
  return S_OK;
}

void CommonMediaVideoCpuFrame::OnDispose() {
  std::lock_guard<std::mutex> hold(stateLock_);
  created_ = false;
  memory_ = {};
  shared_ = {};
  sharedPending_ = false;
  std::vector<uint8_t>().swap(ownMemory_);
  owner_.Reset();
}

HRESULT CommonMediaVideoCpuFrame::Dispose() {
  return vfw::Guarded([&] {
    std::lock_guard<std::mutex> hold(lockStateLock_);
    if (lockCount_ > 0) vfw::Raise(E_ACCESSDENIED, FW_LOC, "Frame-Dispose failed, because the frame is locked");
    return FrameworkObject::Dispose();
  });
}

void CommonMediaVideoCpuFrame::ThrowIfLocked(const char* operation, const SourceLocation& location) const {
  std::lock_guard<std::mutex> hold(lockStateLock_);
  if (lockCount_ > 0) RaiseF(E_ACCESSDENIED, location, "%s: not allowed if the object is locked", operation);
}

void CommonMediaVideoCpuFrame::CheckCreatable(const char* operation, const SourceLocation& location) const {
  CheckNotDisposed(location, operation);
  if (created_) vfw::Raise(E_FAIL, location, "Frame already created");
}

HRESULT CommonMediaVideoCpuFrame::GetObject(REFGUID, REFIID, void** ppv) {
  return vfw::Guarded([&]() -> HRESULT {
    vfw::CheckPointer(ppv, FW_LOC, "ppv");
    *ppv = nullptr;
    CheckNotDisposed(FW_LOC, "GetObject");
    return E_UNSUPPORTED;
  });
}

HRESULT CommonMediaVideoCpuFrame::GetValueSet(IValueSet** valueSet) {
  return vfw::Guarded([&] {
    vfw::CheckPointer(valueSet, FW_LOC, "valueSet");
    *valueSet = nullptr;
    CheckNotDisposed(FW_LOC, "GetValueSet");
    *valueSet = static_cast<IValueSet*>(this);
    AddRef();
    return S_OK;
  });
}

HRESULT CommonMediaVideoCpuFrame::SetEnabledLockAccess(uint32_t mask) {
  return vfw::Guarded([&] {
    CheckNotDisposed(FW_LOC, "SetEnabledLockAccess");
    std::lock_guard<std::mutex> hold(lockStateLock_);
    // Changing the rules under a held lock would let a second lock break the first one's.
    if (lockCount_ > 0) vfw::Raise(E_ACCESSDENIED, FW_LOC, "SetEnabledLockAccess: not allowed if the object is locked");
    enabledLockAccess_ = mask;
    return S_OK;
  });
}

HRESULT CommonMediaVideoCpuFrame::ShareVideoFrameCpuMemory(IUnknown* owner, uint32_t flags,
                                                           const CpuVidFrameMemory* frame) {
  return vfw::Guarded([&] {
    vfw::CheckPointer(frame, FW_LOC, "frame");
    std::lock_guard<std::mutex> hold(stateLock_);
    CheckCreatable("ShareVideoFrameCpuMemory", FW_LOC);
    const CpuVidFrameMemory record = *frame;
    if (record.width < 1 || record.height < 1) vfw::Raise(E_INVALIDARG, FW_LOC, "ShareVideoFrameCpuMemory: size");
    const int32_t planes = FormatPlaneLayout(record.format, record.width, record.height, kMaxVideoPlanes, nullptr,
                                             nullptr, nullptr, nullptr, nullptr);
    if (planes < 1) RaiseF(E_UNSUPPORTED, FW_LOC, "%s", VarnicaMediaNameOf(&record.format, 0, 0));
    if (record.planes[0].data == nullptr) vfw::Raise(E_POINTER, FW_LOC, "ShareVideoFrameCpuMemory: plane 0");
    // Later planes may be left to the owner (a surface that stacks them); given ones must hold a row.
    for (int32_t i = 0; i < planes && i < kMaxVideoPlanes; ++i) {
      const CpuVidFramePlane& plane = record.planes[i];
      if (plane.data != nullptr && std::llabs(plane.pitch) < RowBytesOf(record.format, record.width, i))
        vfw::Raise(E_INVALIDARG, FW_LOC, "ShareVideoFrameCpuMemory: pitch");
    }
    (void)flags;  // no sharing modes are defined: the memory is always used as given
    owner_ = owner;
    shared_ = record;
    sharedPending_ = true;
    return S_OK;
  });
}

void CommonMediaVideoCpuFrame::Allocate(const GUID& format, int32_t width, int32_t height) {
  if (width < 1 || height < 1) vfw::Raise(E_INVALIDARG, FW_LOC, "width, height");
  int32_t rowBytes[kMaxVideoPlanes] = {};
  int32_t rows[kMaxVideoPlanes] = {};
  const int32_t planes =
      FormatPlaneLayout(format, width, height, kMaxVideoPlanes, nullptr, rowBytes, nullptr, nullptr, rows);
  if (planes < 1) RaiseF(E_UNSUPPORTED, FW_LOC, "%s", VarnicaMediaNameOf(&format, 0, 0));
  constexpr int64_t kAlign = 16;
  int64_t pitches[kMaxVideoPlanes] = {};
  int64_t total = kAlign;  // room to align the first plane
  for (int32_t i = 0; i < planes && i < kMaxVideoPlanes; ++i) {
    pitches[i] = (int64_t{rowBytes[i]} + kAlign - 1) / kAlign * kAlign;
    total += pitches[i] * rows[i];
  }
  std::vector<uint8_t> memory;
  try {
    memory.resize(static_cast<size_t>(total));
  } catch (const std::bad_alloc&) {
    vfw::Raise(E_OUTOFMEMORY, FW_LOC, "Create1");
  }
  CpuVidFrameMemory record{};
  record.format = format;
  record.width = width;
  record.height = height;
  uint8_t* next = memory.data() + ((kAlign - reinterpret_cast<uintptr_t>(memory.data()) % kAlign) % kAlign);
  for (int32_t i = 0; i < planes && i < kMaxVideoPlanes; ++i) {
    record.planes[i] = {next, pitches[i]};
    next += pitches[i] * rows[i];
  }
  ownMemory_.swap(memory);
  memory_ = record;
}

void CommonMediaVideoCpuFrame::Publish() {
  const VarnicaFrameSize size{memory_.width, memory_.height};
  vfw::Check(values_->SetValueData(FrameFormat, &GuidValueType, &memory_.format, 16), FW_LOC, "FrameFormat");
  vfw::Check(values_->SetValueData(FrameSizeProperty, &FrameSizeValueType, &size, 8), FW_LOC, "FrameSizeProperty");
  if (values_->HasValue(PixelAspectRatioProperty) != S_OK) {
    const VarnicaPixelAspectRatio square{1, 1};
    vfw::Check(values_->SetValueData(PixelAspectRatioProperty, &PixelAspectRatioValueType, &square, 16), FW_LOC,
               "PixelAspectRatioProperty");
  }
  if (values_->HasValue(VideoInterlaceProperty) != S_OK) {
    const int16_t progressive = VideoInterlace_Progressive;
    vfw::Check(values_->SetValueData(VideoInterlaceProperty, &VideoInterlaceProperty, &progressive, 2), FW_LOC,
               "VideoInterlaceProperty");
  }
  if (values_->HasValue(FramePackingProperty) != S_OK)
    vfw::Check(values_->SetValueData(FramePackingProperty, &GuidValueType, &FramePacking_Default, 16), FW_LOC,
               "FramePackingProperty");
  created_ = true;
}

HRESULT CommonMediaVideoCpuFrame::Create0() {
  return vfw::Guarded([&] {
    std::lock_guard<std::mutex> hold(stateLock_);
    CheckCreatable("Create0", FW_LOC);
    if (sharedPending_) {
      memory_ = shared_;
      sharedPending_ = false;
    } else {
      // No shared memory: own memory of the format and size set in the value set.
      GUID format{};
      VarnicaFrameSize size{};
      if (FAILED(values_->GetValueData(FrameFormat, &GuidValueType, &format, 16)) ||
          FAILED(values_->GetValueData(FrameSizeProperty, &FrameSizeValueType, &size, 8)))
        vfw::Raise(E_FAIL, FW_LOC, "Create0: neither shared memory nor FrameFormat and FrameSizeProperty");
      Allocate(format, size.width, size.height);
    }
    Publish();
    return S_OK;
  });
}

HRESULT CommonMediaVideoCpuFrame::Create1(const GUID* format, int32_t width, int32_t height) {
  return vfw::Guarded([&] {
    vfw::CheckPointer(format, FW_LOC, "format");
    std::lock_guard<std::mutex> hold(stateLock_);
    CheckCreatable("Create1", FW_LOC);
    Allocate(*format, width, height);
    // Own memory replaces memory offered before.
    sharedPending_ = false;
    owner_.Reset();
    Publish();
    return S_OK;
  });
}

CpuVidFrameMemory CommonMediaVideoCpuFrame::Memory() const {
  std::lock_guard<std::mutex> hold(stateLock_);
  return memory_;
}

HRESULT CommonMediaVideoCpuFrame::LockObject(uint32_t flags) {
  return vfw::Guarded([&] {
    CheckNotDisposed(FW_LOC, "LockObject");
    {
      std::lock_guard<std::mutex> hold(stateLock_);
      if (!created_) vfw::Raise(E_ACCESSDENIED, FW_LOC, "Frame not created yet");
    }
    std::lock_guard<std::mutex> hold(lockStateLock_);
    const uint32_t current = lockFlags_;
    bool refused = (flags & 3u) == 0 || (flags & ~enabledLockAccess_) != 0;
    if (lockCount_ > 0) {
      // The first lock fixes the access of every further concurrent lock.
      if ((flags & 3u & ~current) != 0) refused = true;
      const uint32_t classes = (((current & 0x1u) << 4) | ((current & 0x2u) << 4)) & current;
      if (classes != 0 && (flags & 0x30u & ~classes) != 0) refused = true;
    }
    if (refused) vfw::Raise(E_ACCESSDENIED, FW_LOC, "Lock()");
    lockFlags_ = current | flags;
    ++lockCount_;
    return S_OK;
  });
}

HRESULT CommonMediaVideoCpuFrame::UnlockObject() {
  std::lock_guard<std::mutex> hold(lockStateLock_);
  if (lockCount_ > 0) --lockCount_;
  if (lockCount_ == 0) lockFlags_ = 0;
  return S_OK;
}

// The memory is always in reach: unlike a GPU frame nothing has to be mapped, so any lock the
// frame granted lets the record be read.
HRESULT CommonMediaVideoCpuFrame::ReadCpuMemory(const GUID* type, void* data, VSIZE size) {
  if (type == nullptr || !varnica::SameGuid(*type, CVideoFrameCpuMemoryProperty))
    vfw::Raise(E_INVALIDARG, FW_LOC, "CVideoFrameCpuMemoryProperty: type");
  if (data == nullptr) return static_cast<HRESULT>(sizeof(CpuVidFrameMemory));
  if (size != static_cast<VSIZE>(sizeof(CpuVidFrameMemory)))
    vfw::Raise(E_INVALIDARG, FW_LOC, "CVideoFrameCpuMemoryProperty: size");
  CheckNotDisposed(FW_LOC, "CVideoFrameCpuMemoryProperty");
  {
    std::lock_guard<std::mutex> hold(lockStateLock_);
    if (lockCount_ <= 0)
      vfw::Raise(E_ACCESSDENIED, FW_LOC, "CVideoFrameCpuMemoryProperty only available if the frame locked");
  }
  const CpuVidFrameMemory record = Memory();
  std::memcpy(data, &record, sizeof record);
  return S_OK;
}

void CommonMediaVideoCpuFrame::CheckWritable(REFGUID key, const GUID* type, VSIZE size, const char* operation,
                                             const SourceLocation& location) const {
  CheckNotDisposed(location, operation);
  const FramePropertyRow* row = FindFrameProperty(key);
  if (row == nullptr) return;
  if (IsCpuMemory(key)) RaiseF(E_ACCESSDENIED, location, "%s: %s is read-only", operation, row->name);
  if (type != nullptr && (!varnica::SameGuid(*type, *row->type) || size != row->size))
    RaiseF(E_INVALIDARG, location, "%s: %s type or size", operation, row->name);
  ThrowIfLocked(operation, location);
  std::lock_guard<std::mutex> hold(stateLock_);
  if (created_ && DescribesMemory(key))
    RaiseF(E_ACCESSDENIED, location, "%s: %s is fixed once the frame is created", operation, row->name);
}

HRESULT CommonMediaVideoCpuFrame::GetEnumerator(REFIID iid, void** ppv) { return values_->GetEnumerator(iid, ppv); }
HRESULT CommonMediaVideoCpuFrame::GetCount() { return values_->GetCount(); }
HRESULT CommonMediaVideoCpuFrame::GetKeys(GUID* keys, int32_t capacity) { return values_->GetKeys(keys, capacity); }

HRESULT CommonMediaVideoCpuFrame::Clear() {
  return vfw::Guarded([&] {
    CheckNotDisposed(FW_LOC, "Clear");
    ThrowIfLocked("Clear", FW_LOC);
    std::lock_guard<std::mutex> hold(stateLock_);
    vfw::Check(values_->Clear(), FW_LOC, "Clear");
    if (created_) Publish();  // format and size keep describing the memory
    return S_OK;
  });
}

HRESULT CommonMediaVideoCpuFrame::AddGUID(REFGUID key, REFGUID value) {
  return SetValueData(key, &GuidValueType, &value, 16);
}

HRESULT CommonMediaVideoCpuFrame::Remove(REFGUID key) {
  return vfw::Guarded([&] {
    CheckWritable(key, nullptr, 0, "Remove", FW_LOC);
    return values_->Remove(key);
  });
}

HRESULT CommonMediaVideoCpuFrame::HasValue(REFGUID key) {
  if (IsCpuMemory(key)) {
    std::lock_guard<std::mutex> hold(stateLock_);
    return created_ ? S_OK : S_FALSE;
  }
  return values_->HasValue(key);
}

HRESULT CommonMediaVideoCpuFrame::GetValue(REFGUID key, REFIID iid, void** ppv) {
  if (!IsCpuMemory(key)) return values_->GetValue(key, iid, ppv);
  return vfw::Guarded([&] {
    vfw::CheckPointer(ppv, FW_LOC, "ppv");
    *ppv = nullptr;
    CpuVidFrameMemory record{};
    ReadCpuMemory(&CVideoFrameCpuMemoryProperty, &record, sizeof record);
    ComPtr<IValue> value;
    vfw::Check(CreateClassObject(CLSID_Value, IID_IValue, reinterpret_cast<void**>(value.GetAddressOf())), FW_LOC,
               "CreateClassObject");
    vfw::Check(value->SetValue(&CVideoFrameCpuMemoryProperty, &record, sizeof record), FW_LOC, "SetValue");
    return value->QueryInterface(iid, ppv);
  });
}

HRESULT CommonMediaVideoCpuFrame::SetValue(REFGUID key, IValue* value) {
  return vfw::Guarded([&] {
    vfw::CheckPointer(value, FW_LOC, "value");
    GUID type{};
    VSIZE size = 0;
    vfw::Check(value->GetType(&type, &size), FW_LOC, "GetType");
    CheckWritable(key, &type, size, "SetValue", FW_LOC);
    return values_->SetValue(key, value);
  });
}

HRESULT CommonMediaVideoCpuFrame::GetValueData(REFGUID key, const GUID* type, void* data, VSIZE size) {
  if (!IsCpuMemory(key)) return values_->GetValueData(key, type, data, size);
  return vfw::Guarded([&] { return ReadCpuMemory(type, data, size); });
}

HRESULT CommonMediaVideoCpuFrame::SetValueData(REFGUID key, const GUID* type, const void* data, VSIZE size) {
  return vfw::Guarded([&] {
    vfw::CheckPointer(type, FW_LOC, "type");
    CheckWritable(key, type, size, "SetValueData", FW_LOC);
    return values_->SetValueData(key, type, data, size);
  });
}

HRESULT CommonMediaVideoCpuFrame::GetValueType(REFGUID key, GUID* type, VSIZE* size) {
  if (!IsCpuMemory(key)) return values_->GetValueType(key, type, size);
  if (type == nullptr || size == nullptr) return E_POINTER;
  *type = CVideoFrameCpuMemoryProperty;
  *size = sizeof(CpuVidFrameMemory);
  return S_OK;
}

HRESULT CommonMediaVideoCpuFrame::GetPropertySize(REFGUID key) {
  const FramePropertyRow* row = FindFrameProperty(key);
  return row ? static_cast<HRESULT>(row->size) : E_VALUE_NOT_FOUND;
}

HRESULT CommonMediaVideoCpuFrame::GetPropertyType(REFGUID key, GUID* type, VSIZE* size) {
  const FramePropertyRow* row = FindFrameProperty(key);
  if (row == nullptr) return E_VALUE_NOT_FOUND;
  if (type == nullptr || size == nullptr) return E_POINTER;
  *type = *row->type;
  *size = row->size;
  return S_OK;
}

HRESULT CommonMediaVideoCpuFrame::GetPropertyData(REFGUID key, const GUID* type, void* data, VSIZE size) {
  if (FindFrameProperty(key) == nullptr) return E_VALUE_NOT_FOUND;
  return GetValueData(key, type, data, size);
}

HRESULT CommonMediaVideoCpuFrame::SetPropertyData(REFGUID key, const GUID* type, const void* data, VSIZE size) {
  if (FindFrameProperty(key) == nullptr) return E_VALUE_NOT_FOUND;
  return SetValueData(key, type, data, size);
}

namespace {
// Creatable through the core's CreateClassObject from the moment the media module is loaded.
struct FrameClassRegistration {
  FrameClassRegistration() {
    VarnicaRegisterClassFactory(&CLSID_CommonMediaVideoCpuFrame, &CommonMediaVideoCpuFrame::CreateInstance, kClassName);
  }
} g_frameClass;
}  // namespace

}  // namespace vmedia
