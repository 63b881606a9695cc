// The seven exports and the class server, as a host sees them.
#include <cstring>

#include "IMediaDirectX9VideoFrame.h"
#include "IMediaDirectXDisplay.h"
#include "IMediaDirectXGraphics.h"
#include "TestSupport.h"

using namespace vmdxtest;

namespace {

struct ClassServer : ::testing::Test {
  void SetUp() override { openAtStart = OpenObjects(); }
  void TearDown() override { EXPECT_EQ(openAtStart, OpenObjects()); }
  int openAtStart = 0;
};

TEST_F(ClassServer, ListsThreeClassesGraphicsDisplayFrame) {
  EXPECT_EQ(3, Exports().DLLGetClassCount());
  GUID ids[3] = {};
  ASSERT_HR(S_OK, Exports().DLLGetClassObjectID(0, 3, ids));
  EXPECT_TRUE(IsEqualGUID(ids[0], CLSID_MediaDirectXGraphics));
  EXPECT_TRUE(IsEqualGUID(ids[1], CLSID_MediaDirectXDisplay));
  EXPECT_TRUE(IsEqualGUID(ids[2], CLSID_MediaDirectX9VideoFrame));

  GUID one{};
  ASSERT_HR(S_OK, Exports().DLLGetClassObjectID(2, 1, &one));
  EXPECT_TRUE(IsEqualGUID(one, CLSID_MediaDirectX9VideoFrame));
}

TEST_F(ClassServer, ClassIdRangesOutsideTheArrayAreRefusedAndWriteNothing) {
  GUID ids[4];
  std::memset(ids, 0xAB, sizeof ids);
  const GUID untouched = ids[0];
  EXPECT_HR(E_INVALIDARG, Exports().DLLGetClassObjectID(2, 2, ids));
  EXPECT_HR(E_INVALIDARG, Exports().DLLGetClassObjectID(0xFFFFFFFFu, 1, ids));
  EXPECT_HR(E_INVALIDARG, Exports().DLLGetClassObjectID(1, 0xFFFFFFFFu, ids));
  EXPECT_HR(E_INVALIDARG, Exports().DLLGetClassObjectID(0, 4, ids));
  EXPECT_HR(S_OK, Exports().DLLGetClassObjectID(3, 0, ids));
  EXPECT_HR(E_INVALIDARG, Exports().DLLGetClassObjectID(0, 1, nullptr));
  EXPECT_EQ(0, std::memcmp(&ids[0], &untouched, sizeof(GUID)));
}

TEST_F(ClassServer, ClassNamesFollowTheBufferRules) {
  char name[64];
  ASSERT_HR(S_OK, Exports().DLLGetClassObjectInfo(1, name, sizeof name));
  EXPECT_STREQ("MediaDirectXDisplay", name);
  ASSERT_HR(S_OK, Exports().DLLGetClassObjectInfo(2, name, 24));  // 23 characters and terminator
  EXPECT_STREQ("MediaDirectX9VideoFrame", name);

  std::memset(name, 'x', sizeof name);
  ASSERT_HR(S_OK, Exports().DLLGetClassObjectInfo(2, name, 23));  // no room for the terminator
  EXPECT_EQ('\0', name[0]);
  EXPECT_HR(E_INVALIDARG, Exports().DLLGetClassObjectInfo(0, name, 0));
  EXPECT_HR(E_INVALIDARG, Exports().DLLGetClassObjectInfo(3, name, 64));
  EXPECT_HR(E_INVALIDARG, Exports().DLLGetClassObjectInfo(0, nullptr, 64));
}

// The class id as log lines show GUIDs: upper case, zero-padded, no braces.
TEST_F(ClassServer, UnknownClassIsReportedAndCreatesNothing) {
  ObserverCapture capture;
  const GUID unknown = {0x0A0B0C0D, 0xABCD, 0x00EF, {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}};
  void* object = reinterpret_cast<void*>(1);
  EXPECT_HR(E_NOINTERFACE, Exports().DllGetClassObject(unknown, IID_IUnknown, &object));
  EXPECT_TRUE(capture.Contains("No such class available: CLSID 0A0B0C0D-ABCD-00EF-0123-456789ABCDEF\n"))
      << capture.Text();
  EXPECT_HR(E_INVALIDARG, Exports().DllGetClassObject(CLSID_MediaDirectXDisplay, IID_IUnknown, nullptr));
}

TEST_F(ClassServer, RefusedInterfaceDestroysTheNewObject) {
  PrintLevelScope level(LOG_WARN | LOG_ERROR);
  ObserverCapture capture;
  void* object = reinterpret_cast<void*>(1);
  EXPECT_HR(E_NOINTERFACE, Exports().DllGetClassObject(CLSID_MediaDirectXDisplay, IID_IValueSet, &object));
  EXPECT_EQ(nullptr, object);
  EXPECT_TRUE(
      capture.Contains("No such interface available: MediaDirectXDisplay - CLSID "
                       "38C9051D-AB28-416E-A524-985306F6C82E, IID 554FCEBA-546A-4C03-A92B-013CE2D127CE"))
      << capture.Text();
}

// A registry that counts Register calls.
struct CountingRegistry : IClsidRegistry {
  int registers = 0;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** ppv) override {
    if (IsEqualGUID(iid, IID_IUnknown) || IsEqualGUID(iid, IID_IClsidRegistry)) {
      *ppv = this;
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE Unregister(REFGUID, REFGUID, REFCLSID) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Register(const GUID*, const GUID*, const GUID*) override {
    ++registers;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE HasClass(REFCLSID) override { return S_FALSE; }
  HRESULT STDMETHODCALLTYPE GetCategoryOf(REFCLSID, GUID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE HasCategory(REFGUID) override { return S_FALSE; }
  HRESULT STDMETHODCALLTYPE HasGroup(REFGUID) override { return S_FALSE; }
  HRESULT STDMETHODCALLTYPE GetClassCount(REFGUID) override { return 0; }
  HRESULT STDMETHODCALLTYPE GetGroups(REFGUID, REFIID, void**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetClasses(REFGUID, REFIID, void**) override { return E_NOTIMPL; }
};

TEST_F(ClassServer, BootstrapRegistersNothingAndChecksItsArgument) {
  ObserverCapture capture;
  EXPECT_HR_LOGGED(capture, E_INVALIDARG, Exports().DLLRegisterBootstrap(nullptr), "clsidRegistry == nullptr");

  CountingRegistry registry;
  EXPECT_HR(S_OK, Exports().DLLRegisterBootstrap(&registry));
  EXPECT_EQ(0, registry.registers);

  IUnknown* notARegistry = nullptr;
  ASSERT_HR(S_OK, CreateClassObject(CLSID_Value, IID_IUnknown, reinterpret_cast<void**>(&notARegistry)));
  capture.Clear();
  EXPECT_HR_LOGGED(capture, E_NOINTERFACE, Exports().DLLRegisterBootstrap(notARegistry),
                   "clsidRegistry->QueryInterface(IID_IClsidRegistry, ) failed");
  notARegistry->Release();
}

}  // namespace
