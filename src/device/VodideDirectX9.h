// Direct3D 9 loader: d3d9.dll and the process-wide IDirect3D9Ex factory, made at module load,
// and the routine that makes windowless offscreen devices from it.
#pragma once
#include <cstdint>
#include <d3d9.h>

// Called from the module's static initialisation (first) and at exit (last).
void InitializeDirectX9Loader();
void TerminateDirectX9Loader();

// The process-wide factory. The owning references are released at module unload; device
// contexts copy the plain pointers and take their own references.
class CDirectX9 {
 public:
  constexpr CDirectX9() = default;

  IDirect3D9Ex* Direct3DEx() const { return direct3DExPlain_; }
  IDirect3D9* Direct3D() const { return direct3DPlain_; }

 private:
  friend void InitializeDirectX9Loader();
  friend void TerminateDirectX9Loader();
  void GetCrtParam(HMODULE library);
  void Release();

  IDirect3D9Ex* direct3DEx_ = nullptr;  // owning
  IDirect3D9* direct3D_ = nullptr;      // owning, the same object as IDirect3D9
  IDirect3D9Ex* direct3DExPlain_ = nullptr;
  IDirect3D9* direct3DPlain_ = nullptr;
};

// The module's one factory holder (null references when d3d9.dll or its export is missing).
const CDirectX9& DirectX9();

// Argument block of CreateOffscreenDirectX9ExDevice.
struct OffscreenDeviceSettings {
  const GUID* adapterIdentity = nullptr;  // first pass: only the adapter with this DeviceIdentifier
  int32_t width = 0;                      // 0 or less (either one): 128 by 128
  int32_t height = 0;
  D3DFORMAT backBufferFormat = D3DFMT_X8R8G8B8;
  D3DSWAPEFFECT swapEffect = D3DSWAPEFFECT_DISCARD;
  D3DMULTISAMPLE_TYPE multiSampleType = D3DMULTISAMPLE_NONE;
  DWORD multiSampleQuality = 0;
  HWND deviceWindow = nullptr;
};

// Makes a windowless device: a first pass with the settings as given, then, when no adapter
// made one, a second pass on any adapter with X8R8G8B8 and no multisampling. Success with a
// null device when no adapter could make one.
HRESULT CreateOffscreenDirectX9ExDevice(IDirect3D9Ex* direct3D, IDirect3DDevice9Ex** device,
                                        const OffscreenDeviceSettings* settings);

// Test hook, not exported from the DLL (test programs that link the module's objects reach it):
// every device CreateOffscreenDirectX9ExDevice makes is handed to hook(device, user), which takes
// over its reference and returns the device handed on in its place (a wrapper that fails calls on
// purpose). Null: devices are handed on as made.
using OffscreenDeviceHook = IDirect3DDevice9Ex* (*)(IDirect3DDevice9Ex* device, void* user);
void SetOffscreenDeviceHook(OffscreenDeviceHook hook, void* user);
