// The value data buffer, property-table lookup and the class table, inside the module.
#include <cstring>

#include "CValueSetController.h"
#include "ComServer.h"
#include "TestSupport.h"
#include "VodideCValueDataBuffer.h"

using namespace vmdxtest;

namespace {

TEST(ValueDataBuffer, SmallValuesStayInlineLargeOnesUseTheValueHeap) {
  CValueDataBuffer buffer;
  const auto* self = reinterpret_cast<const uint8_t*>(&buffer);
  ASSERT_HR(S_OK, buffer.Allocate(24));
  const auto* data = static_cast<const uint8_t*>(buffer.data);
  EXPECT_TRUE(data >= self && data < self + sizeof buffer) << "24 bytes fit the inline storage";
  ASSERT_HR(S_OK, buffer.Allocate(4096));
  data = static_cast<const uint8_t*>(buffer.data);
  EXPECT_FALSE(data >= self && data < self + sizeof buffer);
  std::memset(buffer.data, 0x5A, 4096);
  void* before = buffer.data;
  ASSERT_HR(S_OK, buffer.Allocate(4096));  // the size already held keeps the block
  EXPECT_EQ(before, buffer.data);
  EXPECT_EQ(0x5A, static_cast<uint8_t*>(buffer.data)[4095]);
}

TEST(ValueDataBuffer, RefusesNegativeAndHugeSizesAndKeepsWhatItHad) {
  CValueDataBuffer buffer;
  ASSERT_HR(S_OK, buffer.Allocate(100));
  void* held = buffer.data;
  EXPECT_HR(E_INVALIDARG, buffer.Allocate(-1));
  EXPECT_HR(E_INVALIDARG, buffer.Allocate(0x7FFFFFFF));
  EXPECT_EQ(held, buffer.data);
  EXPECT_EQ(100, buffer.size);
}

TEST(PropertyTable, LookupTakesTheLastRowWithTheKey) {
  static const GUID a = {1, 0, 0, {0}}, b = {2, 0, 0, {0}};
  PropertyTableColumns<3> c;
  c.keys[0] = &a;
  c.keys[1] = &b;
  c.keys[2] = &a;
  const PropertyTable table = c.Table(false);
  EXPECT_EQ(2, table.Find(a));
  EXPECT_EQ(1, table.Find(b));
  EXPECT_EQ(-1, table.Find(GUID{}));
}

TEST(PropertyTable, StandardCheckWantsTypeSizeAndData) {
  const GUID type = {7, 0, 0, {0}};
  uint8_t data[4] = {};
  EXPECT_HR(S_OK, StandardPropertyCheck(type, 4, &type, data, 4));
  EXPECT_HR(E_INVALIDARG, StandardPropertyCheck(type, 4, &type, data, 5));
  EXPECT_HR(E_INVALIDARG, StandardPropertyCheck(type, 4, &type, nullptr, 4));
  EXPECT_HR(E_INVALIDARG, StandardPropertyCheck(type, 4, &GuidValueType, data, 4));
  EXPECT_HR(E_INVALIDARG, StandardPropertyCheck(type, 4, nullptr, data, 4));
}

HRESULT RefuseCreate(IUnknown*, ObjectRoot** out) {
  *out = nullptr;
  return E_OUTOFMEMORY;
}

TEST(ClassTable, ADuplicateClassIdKeepsItsFirstNodeButCountsInTheArray) {
  ClassRegistration* const saved = g_classListHead;
  ASSERT_NE(nullptr, saved);
  ClassRegistration duplicate = {saved->clsid, nullptr, &RefuseCreate, "Duplicate"};
  PushClassRegistration(&duplicate);
  {
    CComServer server;
    EXPECT_EQ(4u, server.GetClassCount());
    EXPECT_HR(S_OK, server.HasClass(&saved->clsid));
    ObserverCapture capture;
    void* object = nullptr;
    EXPECT_HR_LOGGED(capture, E_OUTOFMEMORY, server.GetClassObject(&saved->clsid, &IID_IUnknown, &object),
                     "Create Object failed: Duplicate - CLSID");
  }
  g_classListHead = saved;
}

}  // namespace
