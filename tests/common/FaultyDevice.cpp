#include "FaultyDevice.h"

#include <cstring>

namespace vmdxtest {

// Counts a call of the operation the macro stands in, and returns the injected code when it is
// the call to fail.
#define FAULT_POINT(call) \
  if (injector_->Fails(call)) return injector_->Code()

// A counted call forwarded unchanged.
#define FORWARD(name, params, args)                \
  HRESULT STDMETHODCALLTYPE name params override { \
    FAULT_POINT(#name);                            \
    return real_->name args;                       \
  }
// A call that cannot fail (or gives something back) forwarded uncounted.
#define FORWARD_PLAIN(type, name, params, args) \
  type STDMETHODCALLTYPE name params override { return real_->name args; }

ULONG RefCount(IUnknown* object) {
  if (object == nullptr) return 0;
  object->AddRef();
  return object->Release();
}

// What every wrapper shares: its injector and the locks it holds on its real object.
class FaultWrapper {
 public:
  explicit FaultWrapper(FaultInjector* injector) : injector_(injector) {}
  virtual ~FaultWrapper() = default;
  int locks = 0;

 protected:
  FaultInjector* injector_;
};

void FaultInjector::Arm(uint32_t call, HRESULT code) {
  armed_ = call;
  code_ = code;
  trace_.clear();
  injected_.clear();
  failedAt_ = 0;
}

bool FaultInjector::Fails(const char* call) {
  trace_.push_back(call);
  if (armed_ == 0 || trace_.size() != armed_) return false;
  injected_ = call;
  failedAt_ = trace_.size();
  return true;
}

std::string FaultInjector::Trace() const {
  std::string text;
  for (size_t i = 0; i < trace_.size(); ++i) {
    if (i) text += ", ";
    text += trace_[i];
    if (i + 1 == failedAt_) text += " (failed)";
  }
  return text;
}

int FaultInjector::OpenLocks() const {
  int locks = 0;
  for (const auto& entry : byReal_) locks += entry.second->locks;
  return locks;
}

void FaultInjector::Register(void* wrapper, void* real, FaultWrapper* owner) {
  realOf_[wrapper] = real;
  byReal_[real] = owner;
}

void FaultInjector::Unregister(void* wrapper, void* real) {
  realOf_.erase(wrapper);
  byReal_.erase(real);
}

void FaultInjector::RegisterDevice(void* wrapper, void* real) {
  realOf_[wrapper] = real;
  ++liveDevices_;
}

void FaultInjector::UnregisterDevice(void* wrapper, bool realOutlivesWrapper) {
  realOf_.erase(wrapper);
  --liveDevices_;
  if (realOutlivesWrapper) ++devicesOutliving_;
  if (wrapper == device_) device_ = realDevice_ = nullptr;
}

namespace {

// IUnknown of a wrapped object of interface I. The wrapper holds one reference on its real
// object and one on the wrapped device that made it, as a real object holds its device.
template <class I>
class WrapperBase : public I, public FaultWrapper {
 public:
  WrapperBase(I* real, FaultInjector* injector, IDirect3DDevice9Ex* device)
      : FaultWrapper(injector), real_(real), device_(device) {
    device_->AddRef();
    injector->Register(static_cast<I*>(this), real, this);
  }
  ~WrapperBase() override {
    injector_->Unregister(static_cast<I*>(this), real_);
    real_->Release();
    device_->Release();
  }

  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG n = --refs_;
    if (n == 0) delete this;
    return n;
  }

  HRESULT STDMETHODCALLTYPE GetDevice(IDirect3DDevice9** device) override {
    FAULT_POINT("GetDevice");
    if (device == nullptr) return D3DERR_INVALIDCALL;
    *device = device_;
    device_->AddRef();
    return D3D_OK;
  }

 protected:
  // IUnknown, base and the identities the class adds.
  HRESULT Answer(REFIID iid, void** out, std::initializer_list<const IID*> own) {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    bool known = IsEqualGUID(iid, IID_IUnknown);
    for (const IID* id : own) known = known || IsEqualGUID(iid, *id);
    if (!known) return E_NOINTERFACE;
    *out = static_cast<I*>(this);
    AddRef();
    return S_OK;
  }

  I* real_;
  IDirect3DDevice9Ex* device_;

 private:
  ULONG refs_ = 1;
};

// IDirect3DResource9 of a wrapped resource.
template <class I>
class ResourceWrapper : public WrapperBase<I> {
 public:
  using WrapperBase<I>::WrapperBase;
  using WrapperBase<I>::real_;
  using WrapperBase<I>::injector_;
  FORWARD(SetPrivateData, (REFGUID guid, const void* data, DWORD size, DWORD flags), (guid, data, size, flags))
  FORWARD(GetPrivateData, (REFGUID guid, void* data, DWORD* size), (guid, data, size))
  FORWARD(FreePrivateData, (REFGUID guid), (guid))
  FORWARD_PLAIN(DWORD, SetPriority, (DWORD priority), (priority))
  FORWARD_PLAIN(DWORD, GetPriority, (), ())
  FORWARD_PLAIN(void, PreLoad, (), ())
  FORWARD_PLAIN(D3DRESOURCETYPE, GetType, (), ())
};

class FaultySurface final : public ResourceWrapper<IDirect3DSurface9> {
 public:
  using ResourceWrapper::ResourceWrapper;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    return Answer(iid, out, {&IID_IDirect3DResource9, &IID_IDirect3DSurface9});
  }
  HRESULT STDMETHODCALLTYPE GetContainer(REFIID iid, void** container) override {
    FAULT_POINT("GetContainer");
    if (container == nullptr) return D3DERR_INVALIDCALL;
    if (IsEqualGUID(iid, IID_IDirect3DDevice9) || IsEqualGUID(iid, IID_IDirect3DDevice9Ex))
      return device_->QueryInterface(iid, container);
    if (IsEqualGUID(iid, IID_IDirect3DTexture9) || IsEqualGUID(iid, IID_IDirect3DBaseTexture9)) {
      IDirect3DTexture9* texture = nullptr;
      const HRESULT hr = real_->GetContainer(IID_IDirect3DTexture9, reinterpret_cast<void**>(&texture));
      *container = SUCCEEDED(hr) ? injector_->Wrap(texture, device_) : nullptr;
      return hr;
    }
    return real_->GetContainer(iid, container);
  }
  FORWARD(GetDesc, (D3DSURFACE_DESC * desc), (desc))
  HRESULT STDMETHODCALLTYPE LockRect(D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) override {
    FAULT_POINT("LockRect");
    const HRESULT hr = real_->LockRect(locked, rect, flags);
    if (SUCCEEDED(hr)) ++locks;
    return hr;
  }
  HRESULT STDMETHODCALLTYPE UnlockRect() override {
    const HRESULT hr = real_->UnlockRect();
    if (SUCCEEDED(hr) && locks > 0) --locks;
    return hr;
  }
  HRESULT STDMETHODCALLTYPE GetDC(HDC* dc) override {
    FAULT_POINT("GetDC");
    const HRESULT hr = real_->GetDC(dc);
    if (SUCCEEDED(hr)) ++locks;
    return hr;
  }
  HRESULT STDMETHODCALLTYPE ReleaseDC(HDC dc) override {
    const HRESULT hr = real_->ReleaseDC(dc);
    if (SUCCEEDED(hr) && locks > 0) --locks;
    return hr;
  }
};

class FaultyTexture final : public ResourceWrapper<IDirect3DTexture9> {
 public:
  using ResourceWrapper::ResourceWrapper;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    return Answer(iid, out, {&IID_IDirect3DResource9, &IID_IDirect3DBaseTexture9, &IID_IDirect3DTexture9});
  }
  FORWARD_PLAIN(DWORD, SetLOD, (DWORD lod), (lod))
  FORWARD_PLAIN(DWORD, GetLOD, (), ())
  FORWARD_PLAIN(DWORD, GetLevelCount, (), ())
  FORWARD(SetAutoGenFilterType, (D3DTEXTUREFILTERTYPE filter), (filter))
  FORWARD_PLAIN(D3DTEXTUREFILTERTYPE, GetAutoGenFilterType, (), ())
  FORWARD_PLAIN(void, GenerateMipSubLevels, (), ())
  FORWARD(GetLevelDesc, (UINT level, D3DSURFACE_DESC* desc), (level, desc))
  HRESULT STDMETHODCALLTYPE GetSurfaceLevel(UINT level, IDirect3DSurface9** surface) override {
    FAULT_POINT("GetSurfaceLevel");
    const HRESULT hr = real_->GetSurfaceLevel(level, surface);
    if (SUCCEEDED(hr) && surface && *surface) *surface = injector_->Wrap(*surface, device_);
    return hr;
  }
  HRESULT STDMETHODCALLTYPE LockRect(UINT level, D3DLOCKED_RECT* locked, const RECT* rect, DWORD flags) override {
    FAULT_POINT("LockRect");
    const HRESULT hr = real_->LockRect(level, locked, rect, flags);
    if (SUCCEEDED(hr)) ++locks;
    return hr;
  }
  HRESULT STDMETHODCALLTYPE UnlockRect(UINT level) override {
    const HRESULT hr = real_->UnlockRect(level);
    if (SUCCEEDED(hr) && locks > 0) --locks;
    return hr;
  }
  FORWARD(AddDirtyRect, (const RECT* rect), (rect))
};

class FaultyVertexBuffer final : public ResourceWrapper<IDirect3DVertexBuffer9> {
 public:
  using ResourceWrapper::ResourceWrapper;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    return Answer(iid, out, {&IID_IDirect3DResource9, &IID_IDirect3DVertexBuffer9});
  }
  HRESULT STDMETHODCALLTYPE Lock(UINT offset, UINT size, void** data, DWORD flags) override {
    FAULT_POINT("Lock");
    const HRESULT hr = real_->Lock(offset, size, data, flags);
    if (SUCCEEDED(hr)) ++locks;
    return hr;
  }
  HRESULT STDMETHODCALLTYPE Unlock() override {
    const HRESULT hr = real_->Unlock();
    if (SUCCEEDED(hr) && locks > 0) --locks;
    return hr;
  }
  FORWARD(GetDesc, (D3DVERTEXBUFFER_DESC * desc), (desc))
};

// A state block: capturing and applying it are counted calls.
class FaultyStateBlock final : public WrapperBase<IDirect3DStateBlock9> {
 public:
  using WrapperBase::WrapperBase;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    return Answer(iid, out, {&IID_IDirect3DStateBlock9});
  }
  FORWARD(Capture, (), ())
  FORWARD(Apply, (), ())
};

// The device: resources in and out are translated, everything else forwarded. An adopted device
// owns the only reference on its real device.
class FaultyDevice final : public IDirect3DDevice9Ex {
 public:
  FaultyDevice(IDirect3DDevice9Ex* real, FaultInjector* injector, bool adopted)
      : real_(real), injector_(injector), adopted_(adopted) {
    if (!adopted_) real_->AddRef();
    injector_->RegisterDevice(static_cast<IDirect3DDevice9Ex*>(this), real_);
  }
  ~FaultyDevice() {
    const ULONG left = real_->Release();
    injector_->UnregisterDevice(static_cast<IDirect3DDevice9Ex*>(this), adopted_ && left != 0);
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (!IsEqualGUID(iid, IID_IUnknown) && !IsEqualGUID(iid, IID_IDirect3DDevice9) &&
        !IsEqualGUID(iid, IID_IDirect3DDevice9Ex))
      return E_NOINTERFACE;
    *out = static_cast<IDirect3DDevice9Ex*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG n = --refs_;
    if (n == 0) delete this;
    return n;
  }

  FORWARD(TestCooperativeLevel, (), ())
  FORWARD_PLAIN(UINT, GetAvailableTextureMem, (), ())
  FORWARD(EvictManagedResources, (), ())
  FORWARD(GetDirect3D, (IDirect3D9 * *d3d), (d3d))
  FORWARD(GetDeviceCaps, (D3DCAPS9 * caps), (caps))
  FORWARD(GetDisplayMode, (UINT swapchain, D3DDISPLAYMODE* mode), (swapchain, mode))
  FORWARD(GetCreationParameters, (D3DDEVICE_CREATION_PARAMETERS * parameters), (parameters))
  FORWARD(SetCursorProperties, (UINT x, UINT y, IDirect3DSurface9* bitmap), (x, y, Real(bitmap)))
  FORWARD_PLAIN(void, SetCursorPosition, (int x, int y, DWORD flags), (x, y, flags))
  FORWARD_PLAIN(WINBOOL, ShowCursor, (WINBOOL show), (show))
  FORWARD(CreateAdditionalSwapChain, (D3DPRESENT_PARAMETERS * parameters, IDirect3DSwapChain9** swapchain),
          (parameters, swapchain))
  FORWARD(GetSwapChain, (UINT swapchain, IDirect3DSwapChain9** out), (swapchain, out))
  FORWARD_PLAIN(UINT, GetNumberOfSwapChains, (), ())
  FORWARD(Reset, (D3DPRESENT_PARAMETERS * parameters), (parameters))
  FORWARD(Present, (const RECT* src, const RECT* dst, HWND window, const RGNDATA* dirty), (src, dst, window, dirty))
  HRESULT STDMETHODCALLTYPE GetBackBuffer(UINT swapchain, UINT index, D3DBACKBUFFER_TYPE type,
                                          IDirect3DSurface9** surface) override {
    FAULT_POINT("GetBackBuffer");
    return Out(real_->GetBackBuffer(swapchain, index, type, surface), surface);
  }
  FORWARD(GetRasterStatus, (UINT swapchain, D3DRASTER_STATUS* status), (swapchain, status))
  FORWARD(SetDialogBoxMode, (WINBOOL enable), (enable))
  FORWARD_PLAIN(void, SetGammaRamp, (UINT swapchain, DWORD flags, const D3DGAMMARAMP* ramp), (swapchain, flags, ramp))
  FORWARD_PLAIN(void, GetGammaRamp, (UINT swapchain, D3DGAMMARAMP* ramp), (swapchain, ramp))
  HRESULT STDMETHODCALLTYPE CreateTexture(UINT width, UINT height, UINT levels, DWORD usage, D3DFORMAT format,
                                          D3DPOOL pool, IDirect3DTexture9** texture, HANDLE* shared) override {
    FAULT_POINT("CreateTexture");
    return Out(real_->CreateTexture(width, height, levels, usage, format, pool, texture, shared), texture);
  }
  FORWARD(CreateVolumeTexture,
          (UINT width, UINT height, UINT depth, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool,
           IDirect3DVolumeTexture9** texture, HANDLE* shared),
          (width, height, depth, levels, usage, format, pool, texture, shared))
  FORWARD(CreateCubeTexture,
          (UINT edge, UINT levels, DWORD usage, D3DFORMAT format, D3DPOOL pool, IDirect3DCubeTexture9** texture,
           HANDLE* shared),
          (edge, levels, usage, format, pool, texture, shared))
  HRESULT STDMETHODCALLTYPE CreateVertexBuffer(UINT size, DWORD usage, DWORD fvf, D3DPOOL pool,
                                               IDirect3DVertexBuffer9** buffer, HANDLE* shared) override {
    FAULT_POINT("CreateVertexBuffer");
    return Out(real_->CreateVertexBuffer(size, usage, fvf, pool, buffer, shared), buffer);
  }
  FORWARD(CreateIndexBuffer,
          (UINT size, DWORD usage, D3DFORMAT format, D3DPOOL pool, IDirect3DIndexBuffer9** buffer, HANDLE* shared),
          (size, usage, format, pool, buffer, shared))
  HRESULT STDMETHODCALLTYPE CreateRenderTarget(UINT width, UINT height, D3DFORMAT format, D3DMULTISAMPLE_TYPE ms,
                                               DWORD quality, WINBOOL lockable, IDirect3DSurface9** surface,
                                               HANDLE* shared) override {
    FAULT_POINT("CreateRenderTarget");
    return Out(real_->CreateRenderTarget(width, height, format, ms, quality, lockable, surface, shared), surface);
  }
  HRESULT STDMETHODCALLTYPE CreateDepthStencilSurface(UINT width, UINT height, D3DFORMAT format, D3DMULTISAMPLE_TYPE ms,
                                                      DWORD quality, WINBOOL discard, IDirect3DSurface9** surface,
                                                      HANDLE* shared) override {
    FAULT_POINT("CreateDepthStencilSurface");
    return Out(real_->CreateDepthStencilSurface(width, height, format, ms, quality, discard, surface, shared), surface);
  }
  FORWARD(UpdateSurface, (IDirect3DSurface9 * src, const RECT* rect, IDirect3DSurface9* dst, const POINT* point),
          (Real(src), rect, Real(dst), point))
  FORWARD(UpdateTexture, (IDirect3DBaseTexture9 * src, IDirect3DBaseTexture9* dst), (Real(src), Real(dst)))
  FORWARD(GetRenderTargetData, (IDirect3DSurface9 * target, IDirect3DSurface9* dst), (Real(target), Real(dst)))
  FORWARD(GetFrontBufferData, (UINT swapchain, IDirect3DSurface9* dst), (swapchain, Real(dst)))
  FORWARD(StretchRect,
          (IDirect3DSurface9 * src, const RECT* srcRect, IDirect3DSurface9* dst, const RECT* dstRect,
           D3DTEXTUREFILTERTYPE filter),
          (Real(src), srcRect, Real(dst), dstRect, filter))
  FORWARD(ColorFill, (IDirect3DSurface9 * surface, const RECT* rect, D3DCOLOR color), (Real(surface), rect, color))
  HRESULT STDMETHODCALLTYPE CreateOffscreenPlainSurface(UINT width, UINT height, D3DFORMAT format, D3DPOOL pool,
                                                        IDirect3DSurface9** surface, HANDLE* shared) override {
    FAULT_POINT("CreateOffscreenPlainSurface");
    return Out(real_->CreateOffscreenPlainSurface(width, height, format, pool, surface, shared), surface);
  }
  FORWARD(SetRenderTarget, (DWORD index, IDirect3DSurface9* surface), (index, Real(surface)))
  HRESULT STDMETHODCALLTYPE GetRenderTarget(DWORD index, IDirect3DSurface9** surface) override {
    FAULT_POINT("GetRenderTarget");
    return Out(real_->GetRenderTarget(index, surface), surface);
  }
  FORWARD(SetDepthStencilSurface, (IDirect3DSurface9 * surface), (Real(surface)))
  HRESULT STDMETHODCALLTYPE GetDepthStencilSurface(IDirect3DSurface9** surface) override {
    FAULT_POINT("GetDepthStencilSurface");
    return Out(real_->GetDepthStencilSurface(surface), surface);
  }
  HRESULT STDMETHODCALLTYPE BeginScene() override {
    FAULT_POINT("BeginScene");
    const HRESULT hr = real_->BeginScene();
    if (SUCCEEDED(hr)) injector_->SceneBegun();
    return hr;
  }
  HRESULT STDMETHODCALLTYPE EndScene() override {
    const HRESULT hr = real_->EndScene();
    if (SUCCEEDED(hr)) injector_->SceneEnded();
    return hr;
  }
  FORWARD(Clear, (DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z, DWORD stencil),
          (count, rects, flags, color, z, stencil))
  FORWARD(SetTransform, (D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix), (state, matrix))
  FORWARD(GetTransform, (D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix), (state, matrix))
  FORWARD(MultiplyTransform, (D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix), (state, matrix))
  FORWARD(SetViewport, (const D3DVIEWPORT9* viewport), (viewport))
  FORWARD(GetViewport, (D3DVIEWPORT9 * viewport), (viewport))
  FORWARD(SetMaterial, (const D3DMATERIAL9* material), (material))
  FORWARD(GetMaterial, (D3DMATERIAL9 * material), (material))
  FORWARD(SetLight, (DWORD index, const D3DLIGHT9* light), (index, light))
  FORWARD(GetLight, (DWORD index, D3DLIGHT9* light), (index, light))
  FORWARD(LightEnable, (DWORD index, WINBOOL enable), (index, enable))
  FORWARD(GetLightEnable, (DWORD index, WINBOOL* enable), (index, enable))
  FORWARD(SetClipPlane, (DWORD index, const float* plane), (index, plane))
  FORWARD(GetClipPlane, (DWORD index, float* plane), (index, plane))
  FORWARD(SetRenderState, (D3DRENDERSTATETYPE state, DWORD value), (state, value))
  FORWARD(GetRenderState, (D3DRENDERSTATETYPE state, DWORD* value), (state, value))
  HRESULT STDMETHODCALLTYPE CreateStateBlock(D3DSTATEBLOCKTYPE type, IDirect3DStateBlock9** block) override {
    FAULT_POINT("CreateStateBlock");
    return Out(real_->CreateStateBlock(type, block), block);
  }
  FORWARD(BeginStateBlock, (), ())
  HRESULT STDMETHODCALLTYPE EndStateBlock(IDirect3DStateBlock9** block) override {
    FAULT_POINT("EndStateBlock");
    return Out(real_->EndStateBlock(block), block);
  }
  FORWARD(SetClipStatus, (const D3DCLIPSTATUS9* status), (status))
  FORWARD(GetClipStatus, (D3DCLIPSTATUS9 * status), (status))
  HRESULT STDMETHODCALLTYPE GetTexture(DWORD stage, IDirect3DBaseTexture9** texture) override {
    FAULT_POINT("GetTexture");
    return Out(real_->GetTexture(stage, texture), texture);
  }
  FORWARD(SetTexture, (DWORD stage, IDirect3DBaseTexture9* texture), (stage, Real(texture)))
  FORWARD(GetTextureStageState, (DWORD stage, D3DTEXTURESTAGESTATETYPE state, DWORD* value), (stage, state, value))
  FORWARD(SetTextureStageState, (DWORD stage, D3DTEXTURESTAGESTATETYPE state, DWORD value), (stage, state, value))
  FORWARD(GetSamplerState, (DWORD sampler, D3DSAMPLERSTATETYPE state, DWORD* value), (sampler, state, value))
  FORWARD(SetSamplerState, (DWORD sampler, D3DSAMPLERSTATETYPE state, DWORD value), (sampler, state, value))
  FORWARD(ValidateDevice, (DWORD * passes), (passes))
  FORWARD(SetPaletteEntries, (UINT palette, const PALETTEENTRY* entries), (palette, entries))
  FORWARD(GetPaletteEntries, (UINT palette, PALETTEENTRY* entries), (palette, entries))
  FORWARD(SetCurrentTexturePalette, (UINT palette), (palette))
  FORWARD(GetCurrentTexturePalette, (UINT * palette), (palette))
  FORWARD(SetScissorRect, (const RECT* rect), (rect))
  FORWARD(GetScissorRect, (RECT * rect), (rect))
  FORWARD(SetSoftwareVertexProcessing, (WINBOOL software), (software))
  FORWARD_PLAIN(WINBOOL, GetSoftwareVertexProcessing, (), ())
  FORWARD(SetNPatchMode, (float segments), (segments))
  FORWARD_PLAIN(float, GetNPatchMode, (), ())
  FORWARD(DrawPrimitive, (D3DPRIMITIVETYPE type, UINT start, UINT count), (type, start, count))
  FORWARD(DrawIndexedPrimitive, (D3DPRIMITIVETYPE type, INT base, UINT minIndex, UINT vertices, UINT start, UINT count),
          (type, base, minIndex, vertices, start, count))
  FORWARD(DrawPrimitiveUP, (D3DPRIMITIVETYPE type, UINT count, const void* data, UINT stride),
          (type, count, data, stride))
  FORWARD(DrawIndexedPrimitiveUP,
          (D3DPRIMITIVETYPE type, UINT minIndex, UINT vertices, UINT count, const void* indices, D3DFORMAT format,
           const void* data, UINT stride),
          (type, minIndex, vertices, count, indices, format, data, stride))
  FORWARD(ProcessVertices,
          (UINT src, UINT dst, UINT count, IDirect3DVertexBuffer9* buffer, IDirect3DVertexDeclaration9* declaration,
           DWORD flags),
          (src, dst, count, Real(buffer), declaration, flags))
  FORWARD(CreateVertexDeclaration, (const D3DVERTEXELEMENT9* elements, IDirect3DVertexDeclaration9** declaration),
          (elements, declaration))
  FORWARD(SetVertexDeclaration, (IDirect3DVertexDeclaration9 * declaration), (declaration))
  FORWARD(GetVertexDeclaration, (IDirect3DVertexDeclaration9 * *declaration), (declaration))
  FORWARD(SetFVF, (DWORD fvf), (fvf))
  FORWARD(GetFVF, (DWORD * fvf), (fvf))
  FORWARD(CreateVertexShader, (const DWORD* code, IDirect3DVertexShader9** shader), (code, shader))
  FORWARD(SetVertexShader, (IDirect3DVertexShader9 * shader), (shader))
  FORWARD(GetVertexShader, (IDirect3DVertexShader9 * *shader), (shader))
  FORWARD(SetVertexShaderConstantF, (UINT reg, const float* data, UINT count), (reg, data, count))
  FORWARD(GetVertexShaderConstantF, (UINT reg, float* data, UINT count), (reg, data, count))
  FORWARD(SetVertexShaderConstantI, (UINT reg, const int* data, UINT count), (reg, data, count))
  FORWARD(GetVertexShaderConstantI, (UINT reg, int* data, UINT count), (reg, data, count))
  FORWARD(SetVertexShaderConstantB, (UINT reg, const WINBOOL* data, UINT count), (reg, data, count))
  FORWARD(GetVertexShaderConstantB, (UINT reg, WINBOOL* data, UINT count), (reg, data, count))
  FORWARD(SetStreamSource, (UINT stream, IDirect3DVertexBuffer9* buffer, UINT offset, UINT stride),
          (stream, Real(buffer), offset, stride))
  HRESULT STDMETHODCALLTYPE GetStreamSource(UINT stream, IDirect3DVertexBuffer9** buffer, UINT* offset,
                                            UINT* stride) override {
    FAULT_POINT("GetStreamSource");
    return Out(real_->GetStreamSource(stream, buffer, offset, stride), buffer);
  }
  FORWARD(SetStreamSourceFreq, (UINT stream, UINT frequency), (stream, frequency))
  FORWARD(GetStreamSourceFreq, (UINT stream, UINT* frequency), (stream, frequency))
  FORWARD(SetIndices, (IDirect3DIndexBuffer9 * buffer), (buffer))
  FORWARD(GetIndices, (IDirect3DIndexBuffer9 * *buffer), (buffer))
  FORWARD(CreatePixelShader, (const DWORD* code, IDirect3DPixelShader9** shader), (code, shader))
  FORWARD(SetPixelShader, (IDirect3DPixelShader9 * shader), (shader))
  FORWARD(GetPixelShader, (IDirect3DPixelShader9 * *shader), (shader))
  FORWARD(SetPixelShaderConstantF, (UINT reg, const float* data, UINT count), (reg, data, count))
  FORWARD(GetPixelShaderConstantF, (UINT reg, float* data, UINT count), (reg, data, count))
  FORWARD(SetPixelShaderConstantI, (UINT reg, const int* data, UINT count), (reg, data, count))
  FORWARD(GetPixelShaderConstantI, (UINT reg, int* data, UINT count), (reg, data, count))
  FORWARD(SetPixelShaderConstantB, (UINT reg, const WINBOOL* data, UINT count), (reg, data, count))
  FORWARD(GetPixelShaderConstantB, (UINT reg, WINBOOL* data, UINT count), (reg, data, count))
  FORWARD(DrawRectPatch, (UINT handle, const float* segments, const D3DRECTPATCH_INFO* info), (handle, segments, info))
  FORWARD(DrawTriPatch, (UINT handle, const float* segments, const D3DTRIPATCH_INFO* info), (handle, segments, info))
  FORWARD(DeletePatch, (UINT handle), (handle))
  FORWARD(CreateQuery, (D3DQUERYTYPE type, IDirect3DQuery9** query), (type, query))
  FORWARD(SetConvolutionMonoKernel, (UINT width, UINT height, float* rows, float* columns),
          (width, height, rows, columns))
  FORWARD(ComposeRects,
          (IDirect3DSurface9 * src, IDirect3DSurface9* dst, IDirect3DVertexBuffer9* srcDescs, UINT count,
           IDirect3DVertexBuffer9* dstDescs, D3DCOMPOSERECTSOP op, INT x, INT y),
          (Real(src), Real(dst), Real(srcDescs), count, Real(dstDescs), op, x, y))
  FORWARD(PresentEx, (const RECT* src, const RECT* dst, HWND window, const RGNDATA* dirty, DWORD flags),
          (src, dst, window, dirty, flags))
  FORWARD(GetGPUThreadPriority, (INT * priority), (priority))
  FORWARD(SetGPUThreadPriority, (INT priority), (priority))
  FORWARD(WaitForVBlank, (UINT swapchain), (swapchain))
  HRESULT STDMETHODCALLTYPE CheckResourceResidency(IDirect3DResource9** resources, UINT32 count) override {
    FAULT_POINT("CheckResourceResidency");
    std::vector<IDirect3DResource9*> real(resources ? count : 0);
    for (size_t i = 0; i < real.size(); ++i) real[i] = Real(resources[i]);
    return real_->CheckResourceResidency(resources ? real.data() : nullptr, count);
  }
  FORWARD(SetMaximumFrameLatency, (UINT latency), (latency))
  FORWARD(GetMaximumFrameLatency, (UINT * latency), (latency))
  FORWARD(CheckDeviceState, (HWND window), (window))
  HRESULT STDMETHODCALLTYPE CreateRenderTargetEx(UINT width, UINT height, D3DFORMAT format, D3DMULTISAMPLE_TYPE ms,
                                                 DWORD quality, WINBOOL lockable, IDirect3DSurface9** surface,
                                                 HANDLE* shared, DWORD usage) override {
    FAULT_POINT("CreateRenderTargetEx");
    return Out(real_->CreateRenderTargetEx(width, height, format, ms, quality, lockable, surface, shared, usage),
               surface);
  }
  HRESULT STDMETHODCALLTYPE CreateOffscreenPlainSurfaceEx(UINT width, UINT height, D3DFORMAT format, D3DPOOL pool,
                                                          IDirect3DSurface9** surface, HANDLE* shared,
                                                          DWORD usage) override {
    FAULT_POINT("CreateOffscreenPlainSurfaceEx");
    return Out(real_->CreateOffscreenPlainSurfaceEx(width, height, format, pool, surface, shared, usage), surface);
  }
  HRESULT STDMETHODCALLTYPE CreateDepthStencilSurfaceEx(UINT width, UINT height, D3DFORMAT format,
                                                        D3DMULTISAMPLE_TYPE ms, DWORD quality, WINBOOL discard,
                                                        IDirect3DSurface9** surface, HANDLE* shared,
                                                        DWORD usage) override {
    FAULT_POINT("CreateDepthStencilSurfaceEx");
    return Out(real_->CreateDepthStencilSurfaceEx(width, height, format, ms, quality, discard, surface, shared, usage),
               surface);
  }
  FORWARD(ResetEx, (D3DPRESENT_PARAMETERS * parameters, D3DDISPLAYMODEEX* mode), (parameters, mode))
  FORWARD(GetDisplayModeEx, (UINT swapchain, D3DDISPLAYMODEEX* mode, D3DDISPLAYROTATION* rotation),
          (swapchain, mode, rotation))

 private:
  template <class I>
  I* Real(I* object) const {
    return injector_->Unwrap(object);
  }
  // A resource handed out by the real device, replaced by its wrapper.
  template <class I>
  HRESULT Out(HRESULT hr, I** out) {
    if (SUCCEEDED(hr) && out != nullptr && *out != nullptr) *out = injector_->Wrap(*out, this);
    return hr;
  }

  IDirect3DDevice9Ex* real_;
  FaultInjector* injector_;
  bool adopted_;
  ULONG refs_ = 1;
};

}  // namespace

template <class W, class I>
I* FaultInjector::WrapWith(I* real, IDirect3DDevice9Ex* device) {
  auto it = byReal_.find(real);
  if (it != byReal_.end()) {
    // One wrapper per real object: the reference passed in is the wrapper's one more.
    I* wrapper = static_cast<W*>(it->second);
    wrapper->AddRef();
    real->Release();
    return wrapper;
  }
  return new W(real, this, device);
}

IDirect3DSurface9* FaultInjector::Wrap(IDirect3DSurface9* real, IDirect3DDevice9Ex* device) {
  return WrapWith<FaultySurface>(real, device);
}
IDirect3DTexture9* FaultInjector::Wrap(IDirect3DTexture9* real, IDirect3DDevice9Ex* device) {
  return WrapWith<FaultyTexture>(real, device);
}
IDirect3DVertexBuffer9* FaultInjector::Wrap(IDirect3DVertexBuffer9* real, IDirect3DDevice9Ex* device) {
  return WrapWith<FaultyVertexBuffer>(real, device);
}
IDirect3DStateBlock9* FaultInjector::Wrap(IDirect3DStateBlock9* real, IDirect3DDevice9Ex* device) {
  return WrapWith<FaultyStateBlock>(real, device);
}

IDirect3DBaseTexture9* FaultInjector::Wrap(IDirect3DBaseTexture9* real, IDirect3DDevice9Ex* device) {
  IDirect3DTexture9* texture = nullptr;
  if (FAILED(real->QueryInterface(IID_IDirect3DTexture9, reinterpret_cast<void**>(&texture)))) return real;
  real->Release();
  return Wrap(texture, device);
}

Microsoft::WRL::ComPtr<IDirect3DDevice9Ex> WrapDevice(IDirect3DDevice9Ex* real, FaultInjector* injector) {
  Microsoft::WRL::ComPtr<IDirect3DDevice9Ex> device;
  *device.GetAddressOf() = new FaultyDevice(real, injector, false);  // mingw's Attach would add a reference
  injector->device_ = device.Get();
  injector->realDevice_ = real;
  return device;
}

IDirect3DDevice9Ex* AdoptDevice(IDirect3DDevice9Ex* real, FaultInjector* injector) {
  return new FaultyDevice(real, injector, true);
}

}  // namespace vmdxtest
