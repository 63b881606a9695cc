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
  // Built once, with the first surface; every row is writable through its setter.
  static const PropertyTable table = [] {
    static PropertyTableColumns<10> c;
    auto row = [](int i, const GUID& key, const GUID& type, uint32_t size, PropertyGetter getter,
                  PropertySetter setter) {
      c.keys[i] = &key;
      c.types[i] = &type;
      c.sizes[i] = size;
      c.getChecks[i] = &StandardPropertyCheck;
      c.setChecks[i] = &StandardPropertyCheck;
      c.getters[i] = getter;
      c.setters[i] = setter;
    };
#define FIELD_GETTER(field)                                                 \
  [](CValueSetController* owner, void* data) {                              \
    auto* self = static_cast<MediaDirectXGraphics*>(owner);                 \
    std::memcpy(data, &self->field, sizeof self->field);                    \
    return S_OK;                                                            \
  }
#define FIELD_SETTER(field)                                                 \
  [](CValueSetController* owner, const void* data) {                        \
    auto* self = static_cast<MediaDirectXGraphics*>(owner);                 \
    std::memcpy(&self->field, data, sizeof self->field);                    \
    return S_OK;                                                            \
  }
    row(0, GraphicsUploadOptionsProperty, GraphicsUploadOptionsProperty, 2, FIELD_GETTER(uploadOptions_),
        FIELD_SETTER(uploadOptions_));
    row(1, GraphicsAlphaMatteProperty, GuidValueType, 16, FIELD_GETTER(alphaMatte_),
        [](CValueSetController* owner, const void* data) {
          auto* self = static_cast<MediaDirectXGraphics*>(owner);
          std::memcpy(&self->alphaMatte_, data, sizeof self->alphaMatte_);
          return self->AlphaMatte_UpdateDirectX();
        });
    row(2, GraphicsIpdProperty, FloatValueType, 4, FIELD_GETTER(ipd_), FIELD_SETTER(ipd_));
    row(3, GraphicsAngularRangeProperty, GraphicsAngularRangeProperty, 8, FIELD_GETTER(angularRange_),
        [](CValueSetController* owner, const void* data) {
          auto* self = static_cast<MediaDirectXGraphics*>(owner);
          float range[2];
          std::memcpy(range, data, sizeof range);
          // A span below one radian is taken as "not given": the full sphere.
          if (range[0] < 1.0f || range[1] < 1.0f) {
            range[0] = 6.2831855f;
            range[1] = 3.1415927f;
          }
          std::memcpy(self->angularRange_, range, sizeof range);
          return S_OK;
        });
    row(4, GraphicsViewMatrixProperty, FloatMatrix3x3ValueType, 36, FIELD_GETTER(viewMatrix_),
        FIELD_SETTER(viewMatrix_));
    row(5, GraphicsDisplayTypeProperty, GuidValueType, 16, FIELD_GETTER(displayType_), FIELD_SETTER(displayType_));
    row(6, GraphicsFramePackingProperty, GuidValueType, 16, FIELD_GETTER(framePacking_),
        FIELD_SETTER(framePacking_));
    row(7, GraphicsCameraTypeProperty, GuidValueType, 16, FIELD_GETTER(cameraType_), FIELD_SETTER(cameraType_));
    row(8, GraphicsViewSizeProperty, GraphicsViewSizeProperty, 8, FIELD_GETTER(viewSize_), FIELD_SETTER(viewSize_));
    row(9, GraphicsZeroParallaxProperty, FloatValueType, 4, FIELD_GETTER(zeroParallax_),
        FIELD_SETTER(zeroParallax_));
#undef FIELD_GETTER
#undef FIELD_SETTER
    return c.Table(true);
  }();
  return &table;
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
