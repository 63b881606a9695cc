// One typed value (IValue), and the type and size rules that the general value set shares.
#pragma once
#include <vector>
#include <wrl/client.h>
#include "FrameworkObject.h"

namespace vcore {

// A type GUID and its data. The null GUID type is a value without data (size 0).
struct TypedData {
  GUID type{};
  std::vector<uint8_t> bytes;

  // Builds from a caller's (type, data, size); raises E_INVALIDARG for a null type, a size
  // outside 1 .. 0x7FFFFFFE (0 for the null type), or null data.
  static TypedData From(const GUID* type, const void* data, VSIZE size);
  // Copies out under the exact type and size; data null returns the size (type may then be
  // null). Raises E_INVALIDARG for any mismatch.
  HRESULT CopyTo(const GUID* type, void* data, VSIZE size) const;
};

class Value final : public vfw::FrameworkObject<IValue> {
 public:
  Value() : FrameworkObject(CLSID_Value, "Value", false) {}

  HRESULT STDMETHODCALLTYPE GetValue(const GUID* type, void* data, VSIZE size) override;
  HRESULT STDMETHODCALLTYPE SetValue(const GUID* type, const void* data, VSIZE size) override;
  HRESULT STDMETHODCALLTYPE GetType(GUID* type, VSIZE* size) override;

  void Assign(TypedData value);

 private:
  bool ServesMain(REFIID iid) const override { return varnica::SameGuid(iid, IID_IValue); }

  std::mutex lock_;
  TypedData value_;
};

// Creation through CreateClassObject(CLSID_Value).
HRESULT CreateValue(REFIID iid, void** ppv);
// A new value holding a copy of value.
Microsoft::WRL::ComPtr<IValue> NewValue(TypedData value);

}  // namespace vcore
