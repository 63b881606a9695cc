#include "ObjectMediaDirectXGraphics.h"

#include <algorithm>
#include <climits>

#include "ComServer.h"
#include "Diagnostics.h"
#include "VodideCaptureRenderTargetDX9.h"
#include "VodideDX9PassState.h"
#include "VodideDirectX9Color.h"
#include "VodideDirectX9Present.h"
#include "VodideDisplayShader.h"
#include "VodideGetFrame.h"

namespace {

constexpr char kSourceFile[] = "src/ObjectMediaDirectXGraphics";
constexpr ClassDescriptor kDescriptor{&CLSID_MediaDirectXGraphics, "MediaDirectXGraphics"};

template <class I>
IUnknown* Cast(ObjectRoot* root) {
  return CastTo<MediaDirectXGraphics, I>(root);
}

struct PrimitiveKind {
  const GUID* id;
  D3DPRIMITIVETYPE type;
};
constexpr PrimitiveKind kPrimitiveKinds[] = {
    {&PrimitiveType_PointList, D3DPT_POINTLIST},         {&PrimitiveType_LineList, D3DPT_LINELIST},
    {&PrimitiveType_LineStrip, D3DPT_LINESTRIP},         {&PrimitiveType_TriangleList, D3DPT_TRIANGLELIST},
    {&PrimitiveType_TriangleStrip, D3DPT_TRIANGLESTRIP}, {&PrimitiveType_TriangleFan, D3DPT_TRIANGLEFAN},
};

// Primitives drawn for n vertices; below 1 nothing is drawn.
int64_t PrimitiveCount(uint32_t type, int64_t n) {
  switch (type) {
    case D3DPT_POINTLIST:
      return n;
    case D3DPT_LINELIST:
      return n / 2;
    case D3DPT_LINESTRIP:
      return n - 1;
    case D3DPT_TRIANGLELIST:
      return n / 3;
    case D3DPT_TRIANGLESTRIP:
    case D3DPT_TRIANGLEFAN:
      return n - 2;
    default:
      return 0;
  }
}

D3DCOLOR ToDiffuse(const float rgba[4]) {
  uint32_t color = 0;
  RgbaToD3DColor(&color, rgba);
  return color;
}

constexpr PCT4Vertex kDefaultVertex{0, 0, 0, 1.0f, 0xFFFFFFFF, 0, 0};
// The largest list whose bytes a vertex buffer size (32 bits) can hold.
constexpr uint64_t kMostVertices = UINT_MAX / sizeof(PCT4Vertex);
constexpr uint64_t kSmallestVertexBuffer = 64;

constexpr uint32_t kBlendBySourceAlpha[] = {
    D3DRS_ALPHABLENDENABLE, TRUE, D3DRS_SRCBLEND, D3DBLEND_SRCALPHA, D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA};
constexpr uint32_t kNoBlend[] = {D3DRS_ALPHABLENDENABLE, FALSE};

}  // namespace

ClassRegistration g_MediaDirectXGraphicsClass = {CLSID_MediaDirectXGraphics, nullptr,
                                                 &CreateComponentObject<MediaDirectXGraphics>, "MediaDirectXGraphics"};

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
          .ReadWrite<&G::ReadAlphaMatte, &G::WriteAlphaMatte>(GraphicsAlphaMatteProperty, GuidValueType)
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

HRESULT MediaDirectXGraphics::ReadAlphaMatte(GUID* out) {
  *out = alphaMatte_;
  return S_OK;
}

// The matte is kept only when the device took it (a surface without a device refuses it).
HRESULT MediaDirectXGraphics::WriteAlphaMatte(const GUID& matte) {
  const GUID previous = alphaMatte_;
  alphaMatte_ = matte;
  const HRESULT hr = AlphaMatte_UpdateDirectX();
  if (FAILED(hr)) alphaMatte_ = previous;
  return hr;
}

MediaDirectXGraphics::MediaDirectXGraphics()
    : ComponentObject(kDescriptor), CValueSetController(Properties(), Policy::WritableTableOnly) {}

// An open scene is ended so that the display's next surface can begin its own on the device.
MediaDirectXGraphics::~MediaDirectXGraphics() {
  if (inScene_ && context_.device) context_.device->EndScene();
}

void MediaDirectXGraphics::ReleaseDisposableResources() {
  created_ = false;
  if (inScene_ && context_.device) context_.device->EndScene();
  inScene_ = false;
  copySurface_.Reset();
  presentSurface_.Reset();
  vertexBuffer_.Reset();
  context_.Close();
}

HRESULT MediaDirectXGraphics::Create0(const DX9Context* source, CDX9ResourceCache* cache) {
  return GuardedCall([&] {
    if (created_) ThrowError(E_FAIL, VLOC, "Already created");
    ThrowIfDisposed("Create0", VLOC);
    CheckPointer(source, VLOC, "pSource");
    CheckPointer(cache, VLOC, "pCache");
    // Every reference of the display's context is taken anew; the cache stays the display's.
    context_ = *source;
    cache_ = cache;
    CheckHr(AlphaMatte_UpdateDirectX(), VLOC, "AlphaMatte_UpdateDirectX");
    created_ = true;
    return S_OK;
  });
}

HRESULT MediaDirectXGraphics::AlphaMatte_UpdateDirectX() {
  const uint32_t* states = kNoBlend;
  uint32_t count = 1;
  if (varnica::SameGuid(alphaMatte_, AlphaMatteBlend)) {
    states = kBlendBySourceAlpha;
    count = 3;
  } else if (varnica::SameGuid(alphaMatte_, AlphaMatteKeep)) {
    states = kBlendBySourceAlpha;
    count = 0;
  }
  return GuardedCall([&] {
    // A matte that takes half way would blend neither as before nor as asked: when a state
    // fails, the ones already changed go back.
    DX9PassState restore(context_);
    for (uint32_t i = 0; i < count && context_.device; ++i)
      CheckHr(restore.SaveRenderState(static_cast<D3DRENDERSTATETYPE>(states[2 * i])), VLOC, "GetRenderState");
    CheckHr(context_.SetRenderStates(states, count), VLOC, "SetRenderStates");
    restore.KeepStates();
    return S_OK;
  });
}

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

HRESULT MediaDirectXGraphics::GetDecoderFrame(REFIID iid, void** ppFrame, IVideoDecoder* decoder,
                                              const VarnicaTimecode* timecode, const VarnicaFrameSize* frameSize,
                                              const GUID* format, const FieldSelect* field) {
  return GuardedCall([&] {
    CheckPointer(decoder, VLOC, "pDecoder");
    ThrowIfDisposed("GetDecoderFrame", VLOC);
    return CheckHr(GetDirectXFrame(&context_, iid, ppFrame, decoder, timecode, frameSize, format, field), VLOC,
                   "GetDirectXFrame");
  });
}

HRESULT MediaDirectXGraphics::SetTexture(uint32_t stage, IUnknown* frame) {
  return GuardedCall([&] {
    CheckPointer(frame, VLOC, "pFrame");
    ThrowIfDisposed("SetTexture", VLOC);
    CheckHr(context_.SetTexture(stage, frame, uint32_t{uploadOptions_}), VLOC, "SetTexture");
    return S_OK;
  });
}

HRESULT MediaDirectXGraphics::UnsetTexture(uint32_t stage) {
  return GuardedCall([&] {
    ThrowIfDisposed("UnsetTexture", VLOC);
    CheckHr(context_.UnsetTexture(stage), VLOC, "UnsetTexture");
    return S_OK;
  });
}

HRESULT MediaDirectXGraphics::SetShader(REFGUID program) {
  return GuardedCall([&] {
    ThrowIfDisposed("SetShader", VLOC);
    if (!varnica::SameGuid(program, DisplayShaderProgramId)) ThrowError(E_UNSUPPORTED, VLOC, "_prg_");
    // A surface that was never bound to a display has no device to read the texture from.
    if (!cache_) ThrowError(E_POINTER, VLOC, "GetTexture");
    DisplayViewProperties view;
    view.cameraType = cameraType_;
    view.framePacking = framePacking_;
    view.displayType = displayType_;
    view.ipd = ipd_;
    view.zeroParallax = zeroParallax_;
    view.angularRange[0] = angularRange_.longitude;
    view.angularRange[1] = angularRange_.latitude;
    std::copy(std::begin(viewSize_), std::end(viewSize_), view.viewSize);
    std::copy(std::begin(viewMatrix_), std::end(viewMatrix_), view.viewMatrix);
    return SetupDisplayShader(context_, *cache_, view);
  });
}

HRESULT MediaDirectXGraphics::UnsetShader() {
  return GuardedCall([&] {
    ThrowIfDisposed("UnsetShader", VLOC);
    CheckHr(context_.UnsetPixelShader(), VLOC, "UnsetPixelShader");
    return S_OK;
  });
}

HRESULT MediaDirectXGraphics::BeginVertex(REFGUID type, uint64_t count) {
  return GuardedCall([&] {
    const auto kind = std::find_if(std::begin(kPrimitiveKinds), std::end(kPrimitiveKinds),
                                   [&](const PrimitiveKind& k) { return varnica::SameGuid(*k.id, type); });
    if (kind == std::end(kPrimitiveKinds)) ThrowError(E_VALUE_NOT_FOUND, VLOC, "Unknown type");
    primitiveType_ = kind->type;
    ThrowIfDisposed("BeginVertex", VLOC);
    vertices_.resize(count);  // a count no array can hold ends in the guard as a failure
    std::fill(vertices_.begin(), vertices_.end(), kDefaultVertex);
    return S_OK;
  });
}

HRESULT MediaDirectXGraphics::EndVertex() {
  return GuardedCall([&] {
    ThrowIfDisposed("EndVertex", VLOC);
    return S_OK;
  });
}

PCT4Vertex& MediaDirectXGraphics::VertexAt(uint64_t index, const char* operation, const SourceLocation& location) {
  if (index >= vertices_.size()) ThrowError(E_INVALIDARG, location, "vertexIndex");
  ThrowIfDisposed(operation, location);
  return vertices_[index];
}

PCT4Vertex* MediaDirectXGraphics::VertexRun(uint64_t index, uint64_t count, const void* data, const char* operation,
                                            const SourceLocation& location) {
  CheckPointer(data, location, "pv");
  // Compared without forming index + count, which could wrap.
  if (count > vertices_.size() || index > vertices_.size() - count)
    ThrowError(E_INVALIDARG, location, "vertexIndex, count");
  ThrowIfDisposed(operation, location);
  return vertices_.data() + index;
}

HRESULT MediaDirectXGraphics::VertexSetPos(uint64_t index, const float xyz[3]) {
  return GuardedCall([&] {
    PCT4Vertex& v = VertexAt(index, "VertexSetPos", VLOC);
    CheckPointer(xyz, VLOC, "pv");
    v.x = xyz[0], v.y = xyz[1], v.z = xyz[2];
    return S_OK;
  });
}

HRESULT MediaDirectXGraphics::VertexSetPosV(uint64_t index, const float* xyz, uint64_t count) {
  return GuardedCall([&] {
    PCT4Vertex* v = VertexRun(index, count, xyz, "VertexSetPosV", VLOC);
    for (uint64_t i = 0; i < count; ++i, ++v, xyz += 3) {
      v->x = xyz[0], v->y = xyz[1], v->z = xyz[2];
      v->rhw = 1.0f;
    }
    return S_OK;
  });
}

HRESULT MediaDirectXGraphics::VertexSetTextureUV(uint64_t index, uint32_t, const float uv[2]) {
  return GuardedCall([&] {
    PCT4Vertex& v = VertexAt(index, "VertexSetTextureUV", VLOC);
    CheckPointer(uv, VLOC, "pv");
    v.u = uv[0], v.v = uv[1];
    return S_OK;
  });
}

HRESULT MediaDirectXGraphics::VertexSetTextureUVV(uint64_t index, uint32_t, const float* uv, uint64_t count) {
  return GuardedCall([&] {
    PCT4Vertex* v = VertexRun(index, count, uv, "VertexSetTextureUVV", VLOC);
    for (uint64_t i = 0; i < count; ++i, ++v, uv += 2) v->u = uv[0], v->v = uv[1];
    return S_OK;
  });
}

HRESULT MediaDirectXGraphics::VertexSetColor(uint64_t index, const float rgba[4]) {
  return GuardedCall([&] {
    PCT4Vertex& v = VertexAt(index, "VertexSetColor", VLOC);
    CheckPointer(rgba, VLOC, "pv");
    v.diffuse = ToDiffuse(rgba);
    return S_OK;
  });
}

HRESULT MediaDirectXGraphics::VertexSetColorV(uint64_t index, const float* rgba, uint64_t count) {
  return GuardedCall([&] {
    PCT4Vertex* v = VertexRun(index, count, rgba, "VertexSetColorV", VLOC);
    for (uint64_t i = 0; i < count; ++i, ++v, rgba += 4) v->diffuse = ToDiffuse(rgba);
    return S_OK;
  });
}

HRESULT MediaDirectXGraphics::DrawPrimitive() {
  return GuardedCall([&] {
    ThrowIfDisposed("DrawPrimitive", VLOC);
    if (vertices_.empty()) return S_OK;
    if (vertices_.size() > kMostVertices) ThrowError(E_INVALIDARG, VLOC, "CreateVertexBuffer");
    const uint32_t n = static_cast<uint32_t>(vertices_.size());
    if (vertexBufferCapacity_ < n) {
      vertexBuffer_.Reset();
      // The capacity is raised before the creation, as hosts know it: after a failed creation a
      // draw of the same length finds no buffer and fails with "pVB".
      vertexBufferCapacity_ = std::max<uint64_t>(n, kSmallestVertexBuffer);
      if (!context_.device) ThrowError(E_POINTER, VLOC, "CreateVertexBuffer");
      CheckHr(
          context_.device->CreateVertexBuffer(static_cast<UINT>(vertexBufferCapacity_ * sizeof(PCT4Vertex)),
                                              context_.usage, kPCT4VertexFVF, context_.pool, &vertexBuffer_, nullptr),
          VLOC, "CreateVertexBuffer");
    }
    const int64_t primitives = PrimitiveCount(primitiveType_, n);
    if (primitives < 1) return S_OK;  // too few vertices for one primitive of the type
    const bool sceneWasOpen = inScene_;
    BeginScene();
    const HRESULT drawn =
        context_.DrawPCT4Primitive(vertexBuffer_.Get(), vertices_.data(), n,
                                   static_cast<D3DPRIMITIVETYPE>(primitiveType_), static_cast<uint32_t>(primitives));
    // A draw that fails leaves the scene as it found it: one it began it ends again (the draw's
    // failure is the one reported).
    if (FAILED(drawn) && !sceneWasOpen) {
      inScene_ = false;
      context_.EndScene();
    }
    CheckHr(drawn, VLOC, "DrawPrimitive");
    return S_OK;
  });
}

void MediaDirectXGraphics::BeginScene() {
  if (inScene_) return;
  if (copySurface_) ThrowError(E_FAIL, VLOC, "Not allowed: after GetDC, ...");
  CheckHr(context_.BeginScene(), VLOC, "BeginScene");
  inScene_ = true;
}

void MediaDirectXGraphics::EndScene() {
  if (!inScene_) return;
  inScene_ = false;
  CheckHr(context_.EndScene(), VLOC, "EndScene");
}

void MediaDirectXGraphics::EnsureCopySurface() {
  EndScene();
  if (copySurface_) return;
  IDirect3DDevice9Ex* device = context_.device.Get();
  if (!device) ThrowError(E_POINTER, VLOC, "GetRenderTarget");
  Microsoft::WRL::ComPtr<IDirect3DSurface9> target;
  CheckHr(device->GetRenderTarget(0, &target), VLOC, "GetRenderTarget");
  D3DSURFACE_DESC desc{};
  CheckHr(target->GetDesc(&desc), VLOC, "GetDesc");
  CheckHr(device->CreateRenderTarget(desc.Width, desc.Height, desc.Format, D3DMULTISAMPLE_NONE, 0, TRUE, &copySurface_,
                                     nullptr),
          VLOC, "CreateRenderTarget");
  // Also resolves the display's multisampled back buffer. A failure here leaves the copy made
  // and empty, and later calls use it as it is, as hosts know the copy: made once, then kept.
  CheckHr(device->StretchRect(target.Get(), nullptr, copySurface_.Get(), nullptr, D3DTEXF_LINEAR), VLOC, "StretchRect");
}

void MediaDirectXGraphics::ShowCopy() {
  IDirect3DDevice9Ex* device = context_.device.Get();
  if (!device) ThrowError(E_POINTER, VLOC, "GetRenderTarget");
  Microsoft::WRL::ComPtr<IDirect3DSurface9> target;
  CheckHr(device->GetRenderTarget(0, &target), VLOC, "GetRenderTarget");
  D3DSURFACE_DESC desc{};
  CheckHr(target->GetDesc(&desc), VLOC, "GetDesc");
  IDirect3DSurface9* source = copySurface_.Get();
  if (desc.MultiSampleType != D3DMULTISAMPLE_NONE) {
    // Wine drops a blit into a multisampled target from a surface the CPU touched last (GDI, a
    // lock) without a word; from a plain render target it works, so the copy goes through one.
    if (!presentSurface_) {
      CheckHr(device->CreateRenderTarget(desc.Width, desc.Height, desc.Format, D3DMULTISAMPLE_NONE, 0, FALSE,
                                         &presentSurface_, nullptr),
              VLOC, "CreateRenderTarget");
    }
    CheckHr(device->StretchRect(source, nullptr, presentSurface_.Get(), nullptr, D3DTEXF_LINEAR), VLOC, "StretchRect");
    source = presentSurface_.Get();
  }
  CheckHr(device->StretchRect(source, nullptr, target.Get(), nullptr, D3DTEXF_LINEAR), VLOC, "StretchRect");
}

void MediaDirectXGraphics::RefuseWhileDCLent(const char* operation, const SourceLocation& location) const {
  if (heldDC_) ThrowErrorF(E_ACCESSDENIED, location, "%s: HDC is not released, see ReleaseHDC()", operation);
}

HRESULT MediaDirectXGraphics::Present() {
  return GuardedCall([&] {
    ThrowIfDisposed("Present", VLOC);
    RefuseWhileDCLent("Present", VLOC);
    EndScene();
    if (copySurface_) {
      ShowCopy();
    } else {
      CheckHr(CopyRenderTargetToPresentSurface(context_), VLOC, "CopyRenderTargetToPresentSurface");
    }
    IDirect3DDevice9Ex* device = context_.device.Get();
    if (!device) ThrowError(E_POINTER, VLOC, "Present");
    CheckHr(device->Present(nullptr, nullptr, nullptr, nullptr), VLOC, "Present");
    return S_OK;
  });
}

HRESULT MediaDirectXGraphics::CaptureFrame(uint32_t, REFIID iid, void** ppFrame) {
  return GuardedCall([&] {
    ThrowIfDisposed("CaptureFrame", VLOC);
    RefuseWhileDCLent("CaptureFrame", VLOC);
    EnsureCopySurface();
    CheckHr(CaptureRenderTargetAsDirectXFrame(context_.device.Get(), copySurface_.Get(), iid, ppFrame, nullptr), VLOC,
            "CaptureRenderTargetAsDirectXFrame");
    return S_OK;
  });
}

HRESULT MediaDirectXGraphics::GetHDC(HDC* dc) {
  return GuardedCall([&] {
    CheckPointer(dc, VLOC, "pv");
    ThrowIfDisposed("GetHDC", VLOC);
    if (heldDC_) ThrowError(E_ACCESSDENIED, VLOC, "HDC is already getted");
    EnsureCopySurface();
    HDC lent = nullptr;
    CheckHr(copySurface_->GetDC(&lent), VLOC, "GetDC");
    heldDC_ = lent;
    *dc = lent;
    return S_OK;
  });
}

HRESULT MediaDirectXGraphics::ReleaseHDC(HDC dc) {
  return GuardedCall([&] {
    ThrowIfDisposed("ReleaseHDC", VLOC);
    if (heldDC_ && heldDC_ == dc) {
      CheckHr(copySurface_->ReleaseDC(dc), VLOC, "ReleaseDC");
      heldDC_ = nullptr;
    }
    return S_OK;
  });
}
