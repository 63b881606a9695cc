#include "ObjectMediaDirectXGraphics.h"

#include <cstring>

#include "ComServer.h"
#include "Diagnostics.h"

namespace {

constexpr char kSourceFile[] = "src/ObjectMediaDirectXGraphics";
constexpr ClassDescriptor kDescriptor{&CLSID_MediaDirectXGraphics, "MediaDirectXGraphics"};

template <class I>
IUnknown* Cast(ObjectRoot* root) {
  return CastTo<MediaDirectXGraphics, I>(root);
}

}  // namespace

ClassRegistration g_MediaDirectXGraphicsClass = {CLSID_MediaDirectXGraphics, nullptr,
                                                 &CreateComponentObject<MediaDirectXGraphics>,
                                                 "MediaDirectXGraphics"};

const ObjectRoot::InterfaceEntry MediaDirectXGraphics::kInterfaces[] = {
    {&IID_IMediaDirectXGraphics, &Cast<IMediaDirectXGraphics>},
    {&IID_IMediaDirectXGraphics3, &Cast<IMediaDirectXGraphics>},
    {&IID_IMediaDirectXGraphics2, &Cast<IMediaDirectXGraphics>},
    {&IID_IVarnicaObject, &Cast<IMediaDirectXGraphics>},
    {&IID_IVarnicaObjectBase, &Cast<IMediaDirectXGraphics>},
    {&IID_IDisposable, &Cast<IDisposable>},
    {&IID_IClassInfo, &Cast<IClassInfo>},
    {&IID_IObjectName, &Cast<IObjectName>},
};

VARNICA_QUERY_INTERFACE(MediaDirectXGraphics)

const PropertyTable* MediaDirectXGraphics::Properties() {
  // Built once, with the first surface; every row is writable.
  using G = MediaDirectXGraphics;
  static const auto rows =
      PropertyTableBuilder<10>()
          .Field<&G::uploadOptions_>(GraphicsUploadOptionsProperty, GraphicsUploadOptionsProperty)
          .Field<&G::alphaMatte_, &G::AlphaMatte_UpdateDirectX>(GraphicsAlphaMatteProperty, GuidValueType)
          .Field<&G::ipd_>(GraphicsIpdProperty, FloatValueType)
          .ReadWrite<&G::ReadAngularRange, &G::WriteAngularRange>(GraphicsAngularRangeProperty,
                                                                  GraphicsAngularRangeProperty)
          .Field<&G::viewMatrix_>(GraphicsViewMatrixProperty, FloatMatrix3x3ValueType)
          .Field<&G::displayType_>(GraphicsDisplayTypeProperty, GuidValueType)
          .Field<&G::framePacking_>(GraphicsFramePackingProperty, GuidValueType)
          .Field<&G::cameraType_>(GraphicsCameraTypeProperty, GuidValueType)
          .Field<&G::viewSize_>(GraphicsViewSizeProperty, GraphicsViewSizeProperty)
          .Field<&G::zeroParallax_>(GraphicsZeroParallaxProperty, FloatValueType);
  static const PropertyTable table = rows.Table(true);
  return &table;
}

HRESULT MediaDirectXGraphics::ReadAngularRange(AngularRange* out) {
  *out = angularRange_;
  return S_OK;
}

HRESULT MediaDirectXGraphics::WriteAngularRange(const AngularRange& range) {
  // A span below one radian is taken as "not given": the full sphere.
  angularRange_ = range.longitude < 1.0f || range.latitude < 1.0f ? AngularRange{} : range;
  return S_OK;
}

MediaDirectXGraphics::MediaDirectXGraphics()
    : ComponentObject(kDescriptor), CValueSetController(Properties(), Policy::WritableTableOnly) {}

MediaDirectXGraphics::~MediaDirectXGraphics() = default;

HRESULT MediaDirectXGraphics::AlphaMatte_UpdateDirectX() { return S_OK; }

HRESULT MediaDirectXGraphics::GetObject(REFGUID, REFIID, void**) { return E_UNSUPPORTED; }

HRESULT MediaDirectXGraphics::GetValueSet(IValueSet** valueSet) {
  return GuardedCall([&] {
    CheckPointer(valueSet, VLOC, "valueSet");
    ThrowIfDisposed("GetValueSet", VLOC);
    *valueSet = static_cast<IValueSet*>(this);
    (*valueSet)->AddRef();
    return S_OK;
  });
}

// Drawing needs the display's device; these arrive with the drawing-surface work.
HRESULT MediaDirectXGraphics::GetDecoderFrame(REFIID, void**, IVideoDecoder*, const VarnicaTimecode*,
                                              const VarnicaFrameSize*, const GUID*, const FieldSelect*) {
  return E_NOTIMPL;
}
HRESULT MediaDirectXGraphics::SetTexture(uint32_t, IUnknown*) { return E_NOTIMPL; }
HRESULT MediaDirectXGraphics::UnsetTexture(uint32_t) { return E_NOTIMPL; }
HRESULT MediaDirectXGraphics::SetShader(REFGUID) { return E_NOTIMPL; }
HRESULT MediaDirectXGraphics::UnsetShader() { return E_NOTIMPL; }
HRESULT MediaDirectXGraphics::BeginVertex(REFGUID, uint64_t) { return E_NOTIMPL; }
HRESULT MediaDirectXGraphics::EndVertex() { return E_NOTIMPL; }
HRESULT MediaDirectXGraphics::VertexSetPos(uint64_t, const float*) { return E_NOTIMPL; }
HRESULT MediaDirectXGraphics::VertexSetPosV(uint64_t, const float*, uint64_t) { return E_NOTIMPL; }
HRESULT MediaDirectXGraphics::VertexSetTextureUV(uint64_t, uint32_t, const float*) { return E_NOTIMPL; }
HRESULT MediaDirectXGraphics::VertexSetTextureUVV(uint64_t, uint32_t, const float*, uint64_t) { return E_NOTIMPL; }
HRESULT MediaDirectXGraphics::VertexSetColor(uint64_t, const float*) { return E_NOTIMPL; }
HRESULT MediaDirectXGraphics::VertexSetColorV(uint64_t, const float*, uint64_t) { return E_NOTIMPL; }
HRESULT MediaDirectXGraphics::DrawPrimitive() { return E_NOTIMPL; }
HRESULT MediaDirectXGraphics::Present() { return E_NOTIMPL; }
HRESULT MediaDirectXGraphics::CaptureFrame(uint32_t, REFIID, void**) { return E_NOTIMPL; }
HRESULT MediaDirectXGraphics::GetHDC(HDC*) { return E_NOTIMPL; }
HRESULT MediaDirectXGraphics::ReleaseHDC(HDC) { return E_NOTIMPL; }
HRESULT MediaDirectXGraphics::Create0(const DX9Context*, CDX9ResourceCache*) { return E_NOTIMPL; }
