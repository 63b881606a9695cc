#include "VodideDirectX9.h"

#include <atomic>

#include "Diagnostics.h"
#include "Error.h"

namespace {

constexpr char kSourceFile[] = "src/VodideDirectX9";
// The loader's first line names the module rather than this file.
constexpr char kModuleSource[] = "VarnicaMediaDirectX9";

constexpr GUID kIID_IDirect3D9 = {0x81BDCBCA, 0x64D4, 0x426D, {0xAE, 0x8D, 0xAD, 0x01, 0x47, 0xF4, 0x27, 0x5C}};

typedef HRESULT(WINAPI* Direct3DCreate9ExFn)(UINT sdkVersion, IDirect3D9Ex** direct3D);

// Both constant-initialised: the loader hooks alone decide when they are filled.
constinit HMODULE g_d3d9Library = nullptr;
constinit CDirectX9 g_directX9;

constexpr DWORD kHardwareFlags =
    D3DCREATE_HARDWARE_VERTEXPROCESSING | D3DCREATE_MULTITHREADED | D3DCREATE_FPU_PRESERVE;  // 0x46
constexpr DWORD kSoftwareFlags =
    D3DCREATE_SOFTWARE_VERTEXPROCESSING | D3DCREATE_MULTITHREADED | D3DCREATE_FPU_PRESERVE;  // 0x26

std::atomic<OffscreenDeviceHook> g_deviceHook{nullptr};
std::atomic<void*> g_deviceHookUser{nullptr};

}  // namespace

void CDirectX9::GetCrtParam(HMODULE library) {
  if (library == nullptr) {
    LogPrint(LOG_TRACE, VLOC, "Direct X9 DLL not found\n");
  } else if (FARPROC entry = GetProcAddress(library, "Direct3DCreate9Ex"); entry == nullptr) {
    LogPrint(LOG_TRACE, VLOC, "Direct3DCreate9Ex member not found\n");
  } else {
    auto create = reinterpret_cast<Direct3DCreate9ExFn>(reinterpret_cast<void*>(entry));
    LogPrint(LOG_TRACE, VLOC, "Call Direct3DCreate9ExPtr\n");
    IDirect3D9Ex* direct3DEx = nullptr;
    if (FAILED(create(D3D_SDK_VERSION, &direct3DEx)) || direct3DEx == nullptr) {
      LogPrint(LOG_TRACE, VLOC, "Direct3DCreate9Ex failed\n");
    } else {
      IDirect3D9* direct3D = nullptr;
      if (FAILED(direct3DEx->QueryInterface(kIID_IDirect3D9, reinterpret_cast<void**>(&direct3D)))) {
        LogPrint(LOG_TRACE, VLOC, "Query IDirect3DCreate9 failed\n");
        direct3DEx->Release();
      } else {
        direct3DEx_ = direct3DExPlain_ = direct3DEx;
        direct3D_ = direct3DPlain_ = direct3D;
      }
    }
  }
  LogPrint(LOG_TRACE, VLOC, "Leave CDirectX9::GetCrtParam\n");
}

void CDirectX9::Release() {
  direct3DExPlain_ = nullptr;
  direct3DPlain_ = nullptr;
  if (IDirect3D9* p = direct3D_) {
    direct3D_ = nullptr;
    p->Release();
  }
  if (IDirect3D9Ex* p = direct3DEx_) {
    direct3DEx_ = nullptr;
    p->Release();
  }
}

const CDirectX9& DirectX9() { return g_directX9; }

void SetOffscreenDeviceHook(OffscreenDeviceHook hook, void* user) {
  g_deviceHook.store(nullptr);
  g_deviceHookUser.store(user);
  g_deviceHook.store(hook);
}

void InitializeDirectX9Loader() {
  LogPrint(LOG_TRACE, SourceLocation{kModuleSource, __LINE__}, "Try to open d3d9.dll\n");
  g_d3d9Library = LoadLibraryA("d3d9.dll");
  g_directX9.GetCrtParam(g_d3d9Library);
}

void TerminateDirectX9Loader() {
  g_directX9.Release();
  if (g_d3d9Library != nullptr) {
    FreeLibrary(g_d3d9Library);
    g_d3d9Library = nullptr;
  }
}

HRESULT CreateOffscreenDirectX9ExDevice(IDirect3D9Ex* direct3D, IDirect3DDevice9Ex** device,
                                        const OffscreenDeviceSettings* settings) {
  return GuardedCall([&]() -> HRESULT {
    CheckPointer(device, VLOC, "ppDevice");
    CheckPointer(direct3D, VLOC, "p3D");
    OffscreenDeviceSettings s = settings ? *settings : OffscreenDeviceSettings{};
    const UINT adapterCount = direct3D->GetAdapterCount();
    if (s.width <= 0 || s.height <= 0) {
      s.width = 128;
      s.height = 128;
    }

    DWORD flags = kHardwareFlags;
    IDirect3DDevice9Ex* newDevice = nullptr;
    for (int pass = 0; pass < 2 && newDevice == nullptr; ++pass) {
      if (pass == 1) {
        // Second pass: any adapter, with the format and multisampling every adapter can show.
        s.adapterIdentity = nullptr;
        s.backBufferFormat = D3DFMT_X8R8G8B8;
        s.multiSampleType = D3DMULTISAMPLE_NONE;
        s.multiSampleQuality = 0;
      }
      for (UINT adapter = 0; adapter < adapterCount && newDevice == nullptr; ++adapter) {
        D3DADAPTER_IDENTIFIER9 identifier{};
        CheckHr(direct3D->GetAdapterIdentifier(adapter, 0, &identifier), VLOC, "GetAdapterIdentifier");
        D3DCAPS9 caps{};
        CheckHr(direct3D->GetDeviceCaps(adapter, D3DDEVTYPE_HAL, &caps), VLOC, "GetDeviceCaps");
        if (s.adapterIdentity != nullptr && !varnica::SameGuid(*s.adapterIdentity, identifier.DeviceIdentifier)) {
          continue;
        }
        if ((caps.DevCaps & D3DDEVCAPS_HWTRANSFORMANDLIGHT) == 0) {
          flags = caps.VertexProcessingCaps != 0 ? kHardwareFlags : kSoftwareFlags;
        }
        // Fails when the adapter cannot show the back-buffer format; the mode itself is not used.
        D3DDISPLAYMODE mode{};
        CheckHr(direct3D->EnumAdapterModes(adapter, s.backBufferFormat, 0, &mode), VLOC, "EnumAdapterModes");

        D3DPRESENT_PARAMETERS present{};
        present.BackBufferWidth = static_cast<UINT>(s.width);
        present.BackBufferHeight = static_cast<UINT>(s.height);
        present.BackBufferFormat = s.backBufferFormat;
        present.BackBufferCount = 1;
        present.MultiSampleType = s.multiSampleType;
        present.MultiSampleQuality = s.multiSampleQuality;
        present.SwapEffect = s.swapEffect;
        present.hDeviceWindow = s.deviceWindow;
        present.Windowed = TRUE;
        // The failure code is not reported: the next adapter, or the second pass, may succeed.
        if (FAILED(direct3D->CreateDeviceEx(adapter, D3DDEVTYPE_HAL, GetDesktopWindow(), flags, &present, nullptr,
                                            &newDevice))) {
          newDevice = nullptr;
          flags = kHardwareFlags;
        }
      }
    }
    if (const OffscreenDeviceHook hook = g_deviceHook.load(); hook != nullptr && newDevice != nullptr)
      newDevice = hook(newDevice, g_deviceHookUser.load());
    *device = newDevice;
    return S_OK;
  });
}
