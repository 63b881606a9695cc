// The core stand-in's services as the module relies on them: the general value set and values,
// the singleton and class registries, exceptions reported through the observer, GUID names.
#include <wrl/client.h>
#include <cstring>

#include "TestSupport.h"
#include "VarnicaFrameAccess.h"

using Microsoft::WRL::ComPtr;
using namespace vmdxtest;

namespace {

const GUID kKey = {0x11111111, 0x2222, 0x3333, {4, 4, 5, 5, 6, 6, 7, 7}};

TEST(CoreValueSet, StoresTypedValuesExactly) {
  auto set = NewObject<IValueSet>(CLSID_ValueSet, IID_IValueSet);
  const int32_t seven = 7;
  ASSERT_HR(S_OK, vmdx::SetValue(set, kKey, Int32ValueType, seven));
  EXPECT_EQ(1, set->GetCount());
  EXPECT_EQ(4, set->GetValueData(kKey, &Int32ValueType, nullptr, 0));  // the size
  int32_t read = 0;
  EXPECT_HR(E_INVALIDARG, vmdx::GetValue(set, kKey, FloatValueType, &read));
  EXPECT_HR(E_INVALIDARG, set->GetValueData(kKey, &Int32ValueType, &read, 8));
  ASSERT_HR(S_OK, vmdx::GetValue(set, kKey, Int32ValueType, &read));
  EXPECT_EQ(7, read);

  ComPtr<IValue> value;
  ASSERT_HR(S_OK, set->GetValue(kKey, IID_IValue, &value));
  const GUID other = {0x9, 0, 0, {0}};
  ASSERT_HR(S_OK, set->SetValue(other, value.Get()));
  ASSERT_HR(S_OK, vmdx::GetValue(set, other, Int32ValueType, &read));
  EXPECT_EQ(7, read);

  ComPtr<IEnumeratorGUID> keys;
  ASSERT_HR(S_OK, set->GetEnumerator(IID_IEnumeratorGUID, &keys));
  int count = 0;
  while (keys->MoveNext() == S_OK) ++count;
  EXPECT_EQ(2, count);
  ASSERT_HR(S_OK, set->Remove(other));
  EXPECT_HR(E_VALUE_NOT_FOUND, set->Remove(other));
  EXPECT_HR(S_FALSE, set->HasValue(other));
  // The creator's reference is the only one: the objects go with their last release.
  keys.Reset();
  EXPECT_EQ(0u, value.Detach()->Release());
  EXPECT_EQ(0u, set.Detach()->Release());
}

TEST(CoreValue, NullTypeCarriesNoData) {
  auto value = NewObject<IValue>(CLSID_Value, IID_IValue);
  const GUID none{};
  ASSERT_HR(S_OK, value->SetValue(&none, nullptr, 0));
  GUID type = kKey;
  VSIZE size = -1;
  ASSERT_HR(S_OK, value->GetType(&type, &size));
  EXPECT_TRUE(IsEqualGUID(none, type));
  EXPECT_EQ(0, size);
  const uint8_t byte = 1;
  EXPECT_HR(E_INVALIDARG, value->SetValue(&none, &byte, 1));
}

TEST(CoreRegistries, ClassRegistryIsASingletonAndListsClassesByCategory) {
  ISingletonRegistry* singletons = _GetSingletonObject();
  ASSERT_NE(nullptr, singletons);
  EXPECT_HR(S_OK, singletons->HasObject(ClassRegistryServiceId));
  ComPtr<IClsidRegistry> classes;
  ASSERT_HR(S_OK, singletons->GetObject(ClassRegistryServiceId, IID_IClsidRegistry, &classes));

  const GUID category = {0xCA7, 0, 0, {1}}, group = {0x6, 0, 0, {2}};
  const GUID a = {0xA, 0, 0, {3}}, b = {0xB, 0, 0, {3}};
  EXPECT_HR(S_FALSE, classes->HasCategory(category));
  ASSERT_HR(S_OK, classes->Register(&category, &group, &a));
  ASSERT_HR(S_OK, classes->Register(&category, &group, &b));
  EXPECT_HR(S_OK, classes->HasCategory(category));
  ComPtr<IEnumeratorGUID> found;
  ASSERT_HR(S_OK, classes->GetClasses(category, IID_IEnumeratorGUID, &found));
  GUID id{};
  ASSERT_HR(S_OK, found->MoveNext());
  ASSERT_HR(S_OK, found->GetCurrentGUID(&id));
  EXPECT_TRUE(IsEqualGUID(a, id));  // in registration order
  ASSERT_HR(S_OK, found->MoveNext());
  EXPECT_HR(S_FALSE, found->MoveNext());

  auto object = NewObject<IValueSet>(CLSID_ValueSet, IID_IValueSet);
  ASSERT_HR(S_OK, singletons->RegisterObject(kKey, object.Get()));
  EXPECT_HR(E_ACCESSDENIED, singletons->RegisterObject(kKey, object.Get()));
  ComPtr<IValueSet> again;
  ASSERT_HR(S_OK, singletons->GetObject(kKey, IID_IValueSet, &again));
  EXPECT_EQ(object.Get(), again.Get());
  ASSERT_HR(S_OK, singletons->UnregisterObject(kKey));
}

TEST(CoreObserver, ReportsExceptionsWithCodeLocationAndText) {
  ObserverCapture capture;
  const SourceLocation where{"src/Somewhere", 42};
  IException* e = NewException(E_INVALIDARG, &where, "pFrame");
  ASSERT_NE(nullptr, e);
  EXPECT_HR_LOGGED(capture, E_INVALIDARG, HandleObserverCatchedException(e), "0x80070057 src/Somewhere(42): pFrame");
  EXPECT_HR(E_FAIL, HandleObserverCatchedException(nullptr));
}

TEST(CoreNames, KnownAndUnknownGuids) {
  EXPECT_STREQ("IID_IValueSet", VarnicaNameOf(&IID_IValueSet, 0, 0));
  EXPECT_STREQ("11111111-2222-3333-0404-050506060707", VarnicaNameOf(&kKey, 0, 0));
  char buffer[256];
  EXPECT_HR(S_OK, VarnicaGuidNameA(&IID_IValue, buffer, sizeof buffer));
  EXPECT_STREQ("IID_IValue", buffer);
  EXPECT_HR(E_VALUE_NOT_FOUND, VarnicaGuidNameA(&kKey, buffer, sizeof buffer));
  EXPECT_STREQ("11111111-2222-3333-0404-050506060707", buffer);
}

TEST(CoreClassLibraries, UnknownClassesAndLibrariesAreRefused) {
  void* p = reinterpret_cast<void*>(1);
  EXPECT_HR(E_NOINTERFACE, CreateClassObject(kKey, IID_IUnknown, &p));
  EXPECT_EQ(nullptr, p);
  ObserverCapture capture;
  EXPECT_TRUE(FAILED(VarnicaLoadClassLibrary("NoSuchLibrary.dll")));
  EXPECT_TRUE(capture.Contains("LoadLibrary NoSuchLibrary.dll"));
  EXPECT_HR(E_NOINTERFACE, VarnicaLoadClassLibrary("TamrelVarnicaMedia.dll"));  // not a class library
}

}  // namespace
