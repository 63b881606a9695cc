// Fault injection over Direct3D: a wrapper of a real IDirect3DDevice9Ex, and of the textures,
// surfaces, vertex buffers and state blocks it hands out, that forwards every call and makes the
// k-th counted call fail with a chosen code. The real device always receives real objects
// (SetTexture, SetRenderTarget, StretchRect, GetRenderTargetData, ...), and one real object always
// has one wrapper, so identities compare as they do on a real device. One injector counts the
// calls of every device it wraps (a test's own device and the ones the module makes itself).
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include <d3d9.h>
#include <wrl/client.h>

namespace vmdxtest {

class FaultWrapper;

class FaultInjector {
 public:
  FaultInjector() = default;
  FaultInjector(const FaultInjector&) = delete;
  FaultInjector& operator=(const FaultInjector&) = delete;

  // From now on the call-th counted call fails with code without reaching the real object
  // (call 0: none fails); counting starts again. Calls that give something back (UnlockRect,
  // Unlock, ReleaseDC, EndScene) are never counted: a caller cannot undo their failure, so
  // failing them would test the driver, not the caller.
  void Arm(uint32_t call, HRESULT code);
  // Nothing fails any more; what the armed run met stays readable.
  void Disarm() { armed_ = 0; }
  uint32_t Calls() const { return static_cast<uint32_t>(trace_.size()); }
  bool Injected() const { return !injected_.empty(); }
  const std::string& InjectedCall() const { return injected_; }
  // The counted calls since Arm, in order, the failed one marked.
  std::string Trace() const;

  // Resource wrappers alive, and the locks (LockRect, Lock, GetDC) they hold.
  int LiveWrappers() const { return static_cast<int>(byReal_.size()); }
  int OpenLocks() const;
  // Device wrappers alive; scenes begun and not ended on them.
  int LiveDevices() const { return liveDevices_; }
  int OpenScenes() const { return openScenes_; }
  // Adopted devices (AdoptDevice) that something still held when their wrapper went.
  int DevicesOutlivingWrapper() const { return devicesOutliving_; }

  // The device wrapped by WrapDevice, and the real one behind it for uncounted looks.
  IDirect3DDevice9Ex* Device() const { return device_; }
  IDirect3DDevice9Ex* RealDevice() const { return realDevice_; }

  // For the wrappers. Fails counts a call and answers whether it is the one to fail.
  bool Fails(const char* call);
  HRESULT Code() const { return code_; }
  // The one wrapper of a real object of the wrapped device (made on first sight); takes over the
  // reference passed in.
  IDirect3DSurface9* Wrap(IDirect3DSurface9* real, IDirect3DDevice9Ex* device);
  IDirect3DTexture9* Wrap(IDirect3DTexture9* real, IDirect3DDevice9Ex* device);
  IDirect3DVertexBuffer9* Wrap(IDirect3DVertexBuffer9* real, IDirect3DDevice9Ex* device);
  IDirect3DStateBlock9* Wrap(IDirect3DStateBlock9* real, IDirect3DDevice9Ex* device);
  // Textures wrapped, other kinds as they are.
  IDirect3DBaseTexture9* Wrap(IDirect3DBaseTexture9* real, IDirect3DDevice9Ex* device);
  // Every wrapper registers itself while it lives.
  void Register(void* wrapper, void* real, FaultWrapper* owner);
  void Unregister(void* wrapper, void* real);
  void RegisterDevice(void* wrapper, void* real);
  void UnregisterDevice(void* wrapper, bool realOutlivesWrapper);
  void SceneBegun() { ++openScenes_; }
  void SceneEnded() { --openScenes_; }
  // The real object behind a wrapper; anything else as it is.
  template <class I>
  I* Unwrap(I* object) const {
    auto it = realOf_.find(object);
    return it == realOf_.end() ? object : static_cast<I*>(it->second);
  }

 private:
  friend Microsoft::WRL::ComPtr<IDirect3DDevice9Ex> WrapDevice(IDirect3DDevice9Ex*, FaultInjector*);
  template <class W, class I>
  I* WrapWith(I* real, IDirect3DDevice9Ex* device);

  uint32_t armed_ = 0;
  size_t failedAt_ = 0;  // 1-based index into trace_ of the failed call, 0 for none
  HRESULT code_ = S_OK;
  std::vector<const char*> trace_;
  std::string injected_;
  std::map<const void*, void*> realOf_;          // wrapper interface -> real interface
  std::map<const void*, FaultWrapper*> byReal_;  // real interface -> its wrapper
  IDirect3DDevice9Ex* device_ = nullptr;         // the wrapper, not owned
  IDirect3DDevice9Ex* realDevice_ = nullptr;     // held by the wrapper
  int liveDevices_ = 0;
  int openScenes_ = 0;
  int devicesOutliving_ = 0;
};

// The wrapper of real (which it holds a reference on); the injector must outlive it and every
// object it hands out. It becomes the injector's Device().
Microsoft::WRL::ComPtr<IDirect3DDevice9Ex> WrapDevice(IDirect3DDevice9Ex* real, FaultInjector* injector);
// The wrapper of a device nothing else holds: it takes over the reference passed in, and when it
// goes, real must go with it (else DevicesOutlivingWrapper counts it).
IDirect3DDevice9Ex* AdoptDevice(IDirect3DDevice9Ex* real, FaultInjector* injector);

// A COM object's reference count, read without changing it.
ULONG RefCount(IUnknown* object);

}  // namespace vmdxtest
