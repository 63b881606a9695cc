#include "Value.h"

#include <cstring>

namespace vcore {
namespace {
constexpr char kSourceFile[] = "framework/core/Value";
constexpr VSIZE kSizeLimit = 0x7FFFFFFF;
}  // namespace

TypedData TypedData::From(const GUID* type, const void* data, VSIZE size) {
  vfw::CheckPointer(type, FW_LOC, "type");
  TypedData value;
  value.type = *type;
  if (varnica::IsNullGuid(*type)) {
    if (size != 0) vfw::Raise(E_INVALIDARG, FW_LOC, "a value of the null type has no data");
    return value;
  }
  if (size < 1 || size >= kSizeLimit) vfw::Raise(E_INVALIDARG, FW_LOC, "size");
  vfw::CheckPointer(data, FW_LOC, "data");
  const auto* bytes = static_cast<const uint8_t*>(data);
  value.bytes.assign(bytes, bytes + size);
  return value;
}

HRESULT TypedData::CopyTo(const GUID* wanted, void* data, VSIZE size) const {
  if (data == nullptr) {
    if (wanted != nullptr && !varnica::SameGuid(*wanted, type)) vfw::Raise(E_INVALIDARG, FW_LOC, "type mismatch");
    return static_cast<HRESULT>(bytes.size());
  }
  if (wanted == nullptr || !varnica::SameGuid(*wanted, type)) vfw::Raise(E_INVALIDARG, FW_LOC, "type mismatch");
  if (size != static_cast<VSIZE>(bytes.size())) vfw::Raise(E_INVALIDARG, FW_LOC, "size mismatch");
  if (!bytes.empty()) std::memcpy(data, bytes.data(), bytes.size());
  return S_OK;
}

HRESULT Value::GetValue(const GUID* type, void* data, VSIZE size) {
  return vfw::Guarded([&] {
    std::lock_guard<std::mutex> hold(lock_);
    return value_.CopyTo(type, data, size);
  });
}

HRESULT Value::SetValue(const GUID* type, const void* data, VSIZE size) {
  return vfw::Guarded([&] {
    TypedData value = TypedData::From(type, data, size);
    std::lock_guard<std::mutex> hold(lock_);
    value_ = std::move(value);
    return S_OK;
  });
}

HRESULT Value::GetType(GUID* type, VSIZE* size) {
  std::lock_guard<std::mutex> hold(lock_);
  if (type != nullptr) *type = value_.type;
  if (size != nullptr) *size = static_cast<VSIZE>(value_.bytes.size());
  return S_OK;
}

void Value::Assign(TypedData value) {
  std::lock_guard<std::mutex> hold(lock_);
  value_ = std::move(value);
}

HRESULT CreateValue(REFIID iid, void** ppv) {
  return vfw::Guarded([&] {
    vfw::CheckPointer(ppv, FW_LOC, "ppv");
    *ppv = nullptr;
    Microsoft::WRL::ComPtr<Value> value = vfw::Adopt(new Value());
    return value->QueryInterface(iid, ppv);
  });
}

Microsoft::WRL::ComPtr<IValue> NewValue(TypedData data) {
  Microsoft::WRL::ComPtr<Value> value = vfw::Adopt(new Value());
  value->Assign(std::move(data));
  return value;
}

}  // namespace vcore
