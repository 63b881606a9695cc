#include "VarnicaFrameAccess.h"
#include "ObjectMediaDirectXDisplay.h"

#include "ComServer.h"
#include "Diagnostics.h"
#include "IMediaDirectXGraphics.h"

namespace {

constexpr char kSourceFile[] = "src/ObjectMediaDirectXDisplay";
constexpr ClassDescriptor kDescriptor{&CLSID_MediaDirectXDisplay, "MediaDirectXDisplay"};

template <class I>
IUnknown* Cast(ObjectRoot* root) {
  return CastTo<MediaDirectXDisplay, I>(root);
}

}  // namespace

ClassRegistration g_MediaDirectXDisplayClass = {CLSID_MediaDirectXDisplay, nullptr,
                                                &CreateComponentObject<MediaDirectXDisplay>,
                                                "MediaDirectXDisplay"};

const ObjectRoot::InterfaceEntry MediaDirectXDisplay::kInterfaces[] = {
    {&IID_IMediaDirectXDisplay, &Cast<IMediaDirectXDisplay>},
    {&IID_IMediaDirectXDisplay2, &Cast<IMediaDirectXDisplay>},
    {&IID_IVarnicaObject, &Cast<IMediaDirectXDisplay>},
    {&IID_IVarnicaObjectBase, &Cast<IMediaDirectXDisplay>},
    {&IID_IDisposable, &Cast<IDisposable>},
    {&IID_IClassInfo, &Cast<IClassInfo>},
    {&IID_IObjectName, &Cast<IObjectName>},
};

VARNICA_QUERY_INTERFACE(MediaDirectXDisplay)

MediaDirectXDisplay::MediaDirectXDisplay() : ComponentObject(kDescriptor) {}

MediaDirectXDisplay::~MediaDirectXDisplay() = default;

void MediaDirectXDisplay::ReleaseDisposableResources() { created_ = false; }

HRESULT MediaDirectXDisplay::GetObject(REFGUID, REFIID iid, void** ppv) {
  return GuardedCall([&]() -> HRESULT {
    CheckPointer(ppv, VLOC, "ppv");
    if (!created_) ThrowError(E_FAIL, VLOC, "Not created: see Create()");
    ThrowIfDisposed("GetObject", VLOC);
    const bool surface =
        varnica::SameGuid(iid, IID_IMediaDirectXGraphics3) || varnica::SameGuid(iid, IID_IMediaDirectXGraphics2);
    if (!surface && !varnica::SameGuid(iid, MediaDisplaySphericalMetricId)) return E_UNSUPPORTED;
    // Surfaces and the spherical metric need the display's device; they arrive with the display work.
    return E_NOTIMPL;
  });
}

HRESULT MediaDirectXDisplay::GetValueSet(IValueSet** valueSet) {
  return GuardedCall([&]() -> HRESULT {
    CheckPointer(valueSet, VLOC, "valueSet");
    ThrowIfDisposed("GetValueSet", VLOC);
    ThrowError(E_NOTIMPL, VLOC, "GetValueSet");
  });
}

HRESULT MediaDirectXDisplay::Create0(IValueSet* settings) {
  return GuardedCall([&] {
    CheckPointer(settings, VLOC, "pSettings");
    if (created_) ThrowError(E_FAIL, VLOC, "Already created");
    ThrowIfDisposed("Create0", VLOC);
    HWND window = nullptr;
    CheckHr(vmdx::GetValue(settings, CHwndProperty, CHwndProperty, &window), VLOC,
            "CHwndProperty required");
    if (!IsWindow(window)) ThrowError(E_INVALIDARG, VLOC, "CHwndProperty with invalid hwnd");
    deviceWindow_ = window;
    multisampleType_ = 4;
    created_ = true;
    return S_OK;
  });
}
