// The object model of the three classes: identities, reference counts, side interfaces,
// disposal.
#include <wrl/client.h>
#include <cstring>
#include <string>

#include "IMediaDirectX9VideoFrame.h"
#include "IMediaDirectXDisplay.h"
#include "IMediaDirectXGraphics.h"
#include "TestSupport.h"
#include "VarnicaFrameAccess.h"

using Microsoft::WRL::ComPtr;
using namespace vmdxtest;

namespace {

struct ClassCase {
  const char* name;
  GUID clsid;
  std::vector<GUID> identities;  // every identity the object must answer besides IID_IUnknown
  std::vector<GUID> refused;
};

std::vector<ClassCase> Classes() {
  return {
      {"MediaDirectX9VideoFrame",
       CLSID_MediaDirectX9VideoFrame,
       {IID_IMediaDirectX9VideoFrame, IID_IVideoFrame, IID_IVarnicaObject, IID_IVarnicaObjectBase, IID_ILockObject,
        IID_IDisposable, IID_IClassInfo, IID_IObjectName, IID_IValueSet},
       {IID_IMediaDirectXDisplay, IID_IEnumerator}},
      {"MediaDirectXDisplay",
       CLSID_MediaDirectXDisplay,
       {IID_IMediaDirectXDisplay, IID_IMediaDirectXDisplay2, IID_IVarnicaObject, IID_IVarnicaObjectBase,
        IID_IDisposable, IID_IClassInfo, IID_IObjectName},
       {IID_IValueSet, IID_ILockObject}},
      {"MediaDirectXGraphics",
       CLSID_MediaDirectXGraphics,
       {IID_IMediaDirectXGraphics, IID_IMediaDirectXGraphics2, IID_IMediaDirectXGraphics3, IID_IVarnicaObject,
        IID_IVarnicaObjectBase, IID_IDisposable, IID_IClassInfo, IID_IObjectName},
       {IID_IValueSet, IID_ILockObject}},
  };
}

struct ObjectModel : ::testing::TestWithParam<ClassCase> {
  void SetUp() override {
    openAtStart = OpenObjects();
    ASSERT_HR(S_OK, Exports().DllGetClassObject(GetParam().clsid, IID_IUnknown, &object));
  }
  void TearDown() override {
    object.Reset();
    EXPECT_EQ(openAtStart, OpenObjects());
  }
  int openAtStart = 0;
  ComPtr<IUnknown> object;
};

TEST_P(ObjectModel, AnswersItsIdentitiesWithOneIdentityUnknown) {
  for (const GUID& iid : GetParam().identities) {
    ComPtr<IUnknown> itf, identity;
    ASSERT_HR(S_OK, object->QueryInterface(iid, &itf)) << VarnicaNameOf(&iid, 0, 0);
    ASSERT_HR(S_OK, itf->QueryInterface(IID_IUnknown, &identity));
    EXPECT_EQ(object.Get(), identity.Get()) << VarnicaNameOf(&iid, 0, 0);
  }
  for (const GUID& iid : GetParam().refused) {
    void* p = reinterpret_cast<void*>(1);
    EXPECT_HR(E_NOINTERFACE, object->QueryInterface(iid, &p));
    EXPECT_EQ(nullptr, p);
  }
  EXPECT_HR(E_POINTER, object->QueryInterface(IID_IUnknown, nullptr));
}

TEST_P(ObjectModel, CountsThroughEveryInterfaceAndDiesAtTheLastRelease) {
  ComPtr<IClassInfo> info;
  ASSERT_HR(S_OK, object.As(&info));
  EXPECT_EQ(3u, info->AddRef());  // object, info, and this one
  EXPECT_EQ(2u, object->Release());
  EXPECT_EQ(openAtStart + 1, OpenObjects());
  info.Reset();
  EXPECT_EQ(0u, object.Detach()->Release());
  EXPECT_EQ(openAtStart, OpenObjects());
}

TEST_P(ObjectModel, ClassInfoFollowsTheTextRule) {
  ComPtr<IClassInfo> info;
  ASSERT_HR(S_OK, object.As(&info));
  GUID clsid{};
  ASSERT_HR(S_OK, info->GetClassID(&clsid));
  EXPECT_TRUE(IsEqualGUID(GetParam().clsid, clsid));
  EXPECT_HR(E_POINTER, info->GetClassID(nullptr));

  const std::string name = GetParam().name;
  const auto length = static_cast<int32_t>(name.size());
  EXPECT_EQ(length, info->GetClassName(nullptr, 0));
  char buffer[40];
  std::memset(buffer, '#', sizeof buffer);
  EXPECT_HR(E_INVALIDARG, info->GetClassName(buffer, length - 1));
  EXPECT_EQ('#', buffer[0]);
  EXPECT_EQ(length, info->GetClassName(buffer, length));  // exact: no terminator
  EXPECT_EQ(name, std::string(buffer, static_cast<size_t>(length)));
  EXPECT_EQ('#', buffer[length]);
  EXPECT_EQ(length, info->GetClassName(buffer, sizeof buffer));
  EXPECT_STREQ(name.c_str(), buffer);
}

TEST_P(ObjectModel, NamesFollowTheTextRule) {
  ComPtr<IObjectName> named;
  ASSERT_HR(S_OK, object.As(&named));
  EXPECT_EQ(0, named->GetName(nullptr, 0));
  ASSERT_HR(S_OK, named->SetName("left eye"));
  EXPECT_EQ(8, named->GetName(nullptr, 0));
  char buffer[16];
  std::memset(buffer, '#', sizeof buffer);
  EXPECT_HR(E_INVALIDARG, named->GetName(buffer, 7));
  EXPECT_EQ('\0', buffer[0]);  // a short buffer is emptied
  EXPECT_EQ(8, named->GetName(buffer, sizeof buffer));
  EXPECT_STREQ("left eye", buffer);
  ASSERT_HR(S_OK, named->SetName(nullptr));
  EXPECT_EQ(0, named->GetName(nullptr, 0));
}

TEST_P(ObjectModel, DisposedObjectRefusesGuardedOperationsButKeepsItsSideInterfaces) {
  ComPtr<IDisposable> disposable;
  ASSERT_HR(S_OK, object.As(&disposable));
  EXPECT_HR(S_FALSE, disposable->IsDisposed());
  ASSERT_HR(S_OK, disposable->Dispose());
  EXPECT_HR(S_OK, disposable->IsDisposed());
  EXPECT_HR(S_OK, disposable->Dispose());  // nothing left to release

  ComPtr<IVarnicaObject> main;
  ASSERT_HR(S_OK, object.As(&main));
  ObserverCapture capture;
  IValueSet* set = reinterpret_cast<IValueSet*>(1);
  EXPECT_HR_LOGGED(capture, E_DISPOSED, main->GetValueSet(&set),
                   std::string("GetValueSet: ") + GetParam().name + " is disposed");
  EXPECT_HR(E_POINTER, main->GetValueSet(nullptr));  // the pointer check comes first
  EXPECT_TRUE(capture.Contains("valueSet")) << capture.Text();

  ComPtr<IClassInfo> info;
  ASSERT_HR(S_OK, object.As(&info));
  GUID clsid{};
  EXPECT_HR(S_OK, info->GetClassID(&clsid));
}

INSTANTIATE_TEST_SUITE_P(Classes, ObjectModel, ::testing::ValuesIn(Classes()),
                         [](const auto& info) { return std::string(info.param.name); });

// A fresh frame has neither texture nor surface; GetObject checks its pointer, then disposal,
// before refusing; after Dispose every operation names itself.
TEST(ObjectModelFrame, FreshAndDisposedFramesAnswerAsTheyShould) {
  auto frame = NewObject<IMediaDirectX9VideoFrame>(CLSID_MediaDirectX9VideoFrame, IID_IMediaDirectX9VideoFrame);
  IDirect3DTexture9* texture = reinterpret_cast<IDirect3DTexture9*>(1);
  EXPECT_HR(S_FALSE, frame->GetTexture(&texture));
  EXPECT_EQ(nullptr, texture);
  IDirect3DSurface9* surface = reinterpret_cast<IDirect3DSurface9*>(1);
  EXPECT_HR(S_FALSE, frame->GetSurface(&surface));
  EXPECT_EQ(nullptr, surface);
  EXPECT_HR(E_POINTER, frame->GetSurface(nullptr));
  void* p = nullptr;
  EXPECT_HR(E_UNSUPPORTED, frame->GetObject(GUID{}, IID_IUnknown, &p));
  EXPECT_HR(E_POINTER, frame->GetObject(GUID{}, IID_IUnknown, nullptr));
  const VarnicaTimecode timecode{};
  ASSERT_HR(S_OK, frame->SetTimecode(&timecode));
  const GUID packing = {0x1, 0x2, 0x3, {4, 5, 6, 7, 8, 9, 10, 11}};
  ASSERT_HR(S_OK, frame->SetFramePacking(&packing));

  ASSERT_HR(S_OK, Dispose(frame.Get()));
  ObserverCapture capture;
  EXPECT_HR(E_DISPOSED, frame->GetObject(GUID{}, IID_IUnknown, &p));
  EXPECT_HR(E_DISPOSED, frame->SetTimecode(&timecode));
  EXPECT_HR(E_DISPOSED, frame->SetFrameRate(nullptr));
  EXPECT_HR(E_DISPOSED, frame->SetFramePacking(&packing));
  EXPECT_HR(E_DISPOSED, frame->GetTexture(&texture));
  for (const char* operation : {"GetObject", "SetTimecode", "SetFrameRate", "SetFramePacking", "GetTexture"})
    EXPECT_TRUE(capture.Contains(std::string(operation) + ": MediaDirectX9VideoFrame is disposed")) << operation;
}

struct DisplayCreate : ::testing::Test {
  void SetUp() override {
    display = NewObject<IMediaDirectXDisplay>(CLSID_MediaDirectXDisplay, IID_IMediaDirectXDisplay);
    settings = NewObject<IValueSet>(CLSID_ValueSet, IID_IValueSet);
  }
  ComPtr<IMediaDirectXDisplay> display;
  ComPtr<IValueSet> settings;
};

TEST_F(DisplayCreate, ChecksSettingsWindowAndStateInOrder) {
  ObserverCapture capture;
  EXPECT_HR_LOGGED(capture, E_POINTER, display->Create0(nullptr), "pSettings");
  EXPECT_HR_LOGGED(capture, E_VALUE_NOT_FOUND, display->Create0(settings.Get()), "CHwndProperty required");

  HWND bogus = reinterpret_cast<HWND>(static_cast<intptr_t>(0x7FFF0001));
  ASSERT_HR(S_OK, vmdx::SetValue(settings, CHwndProperty, CHwndProperty, bogus));
  EXPECT_HR_LOGGED(capture, E_INVALIDARG, display->Create0(settings.Get()), "CHwndProperty with invalid hwnd");

  void* surface = nullptr;
  EXPECT_HR_LOGGED(capture, E_FAIL, display->GetObject(GUID{}, IID_IMediaDirectXGraphics3, &surface),
                   "Not created: see Create()");

  HWND desktop = GetDesktopWindow();
  ASSERT_HR(S_OK, vmdx::SetValue(settings, CHwndProperty, CHwndProperty, desktop));
  EXPECT_HR(S_OK, display->Create0(settings.Get()));
  EXPECT_HR_LOGGED(capture, E_FAIL, display->Create0(settings.Get()), "Already created");
  // Identities other than the surface's and the spherical metric's are simply unsupported.
  capture.Clear();
  EXPECT_HR(E_UNSUPPORTED, display->GetObject(GUID{}, IID_IValueSet, &surface));
  EXPECT_EQ("", capture.Text());

  ASSERT_HR(S_OK, Dispose(display.Get()));
  EXPECT_HR(E_FAIL, display->GetObject(GUID{}, IID_IMediaDirectXGraphics3, &surface));  // created is cleared
  EXPECT_HR_LOGGED(capture, E_DISPOSED, display->Create0(settings.Get()), "Create0: MediaDirectXDisplay is disposed");
}

TEST_F(DisplayCreate, HasNoValueSet) {
  ObserverCapture capture;
  IValueSet* set = reinterpret_cast<IValueSet*>(1);
  EXPECT_HR_LOGGED(capture, E_NOTIMPL, display->GetValueSet(&set), "GetValueSet");
}

}  // namespace
