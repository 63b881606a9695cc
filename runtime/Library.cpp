// Module entry: static start-up in a fixed order, process attach/detach, the seven exports
// and the terminate handler. This is the module's composition root: it wires every layer
// together, so it is the one file of runtime/ built on top of the others (see CMakeLists.txt).
#include <exception>
#include <new>
#include <wrl/client.h>

#include "ComServer.h"
#include "CpuFeatures.h"
#include "Diagnostics.h"
#include "Heaps.h"
#include "NameLock.h"
#include "VodideDirectX9.h"

namespace {
constexpr char kSourceFile[] = "src/Library";
}

// The class nodes of the three classes (defined beside each class).
extern ClassRegistration g_MediaDirectX9VideoFrameClass;
extern ClassRegistration g_MediaDirectXDisplayClass;
extern ClassRegistration g_MediaDirectXGraphicsClass;

namespace {

std::terminate_handler g_savedTerminateHandler = nullptr;
// Set when the module is detached because the process ends: the other threads are gone by
// then (the Direct3D runtime's worker threads among them), so releasing the factory could wait
// forever; the system takes everything back anyway.
bool g_processTerminating = false;

// Start-up in one place so the order is the code's order, and exit runs it backwards.
struct ModuleStatics {
  ModuleStatics() {
    InitializeDirectX9Loader();
    PushClassRegistration(&g_MediaDirectX9VideoFrameClass);
    PushClassRegistration(&g_MediaDirectXDisplayClass);
    PushClassRegistration(&g_MediaDirectXGraphicsClass);
    CreateObjectHeap();
    InitializeNameLock();
    CreateValueHeap();
    cpufeatures::Initialize();  // the conversion kernels choose their rows from it
  }
  ~ModuleStatics() {
    DestroyValueHeap();
    DeleteNameLock();
    DestroyObjectHeap();
    g_classListHead = nullptr;
    if (!g_processTerminating) TerminateDirectX9Loader();
  }
};
ModuleStatics g_moduleStatics __attribute__((init_priority(200)));

[[noreturn]] void ModuleTerminateHandler() {
  const uint32_t level = GetPrintLevel();
  if (level != 0 && (level & LOG_TRACE) == 0) SetPrintLevel(level | LOG_TRACE);
  if (std::exception_ptr inFlight = std::current_exception()) {
    try {
      std::rethrow_exception(inFlight);
    } catch (IException* e) {
      HandleObserverCatchedException(e);
      LogPrint(LOG_TRACE, VLOC, "Termination after unexpected Exception\n");
    } catch (const std::exception& e) {
      LogPrint(LOG_TRACE, VLOC, "%s - and termination after unexpected Exception\n", e.what());
    } catch (...) {
      LogPrint(LOG_TRACE, VLOC, "Termination after unknown Exception\n");
    }
  } else {
    // std::terminate without an exception (a noexcept violation of a kind, or an explicit call).
    LogPrint(LOG_TRACE, VLOC, "Termination without an exception in flight\n");
  }
  std::abort();
}

HRESULT CreateComServer() {
  if (g_comServer.load() != nullptr) return S_OK;
  g_savedTerminateHandler = std::set_terminate(ModuleTerminateHandler);
  CComServer* server = new (std::nothrow) CComServer();
  if (server == nullptr) {
    DebugOutputF("\x07" "Varnica: CreateComServer failed - fatal [Build-Link-DynLib]\n");
    return E_FAIL;
  }
  g_comServer.store(server);
  return S_OK;
}

void DestroyComServer() {
  IComServer* server = g_comServer.load();
  if (server == nullptr) return;
  server->Destroy();
  std::set_terminate(g_savedTerminateHandler);
  g_comServer.store(nullptr);
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    DisableThreadLibraryCalls(instance);
    return SUCCEEDED(CreateComServer()) ? TRUE : FALSE;
  }
  if (reason == DLL_PROCESS_DETACH) {
    g_processTerminating = reserved != nullptr;
    DestroyComServer();
  }
  return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* ppv) {
  IComServer* server = g_comServer.load();
  if (server == nullptr) return E_ACCESSDENIED;
  if (ppv == nullptr) return E_INVALIDARG;
  return server->GetClassObject(&clsid, &iid, ppv);
}

STDAPI DllCanUnloadNow() {
  IComServer* server = g_comServer.load();
  return server ? server->CanUnloadNow() : E_ACCESSDENIED;
}

extern "C" HRESULT WINAPI DLLGetOpenObjectCount() {
  IComServer* server = g_comServer.load();
  return server ? static_cast<HRESULT>(server->GetOpenObjectCount()) : E_ACCESSDENIED;
}

extern "C" HRESULT WINAPI DLLGetClassCount() {
  IComServer* server = g_comServer.load();
  return server ? static_cast<HRESULT>(server->GetClassCount()) : E_ACCESSDENIED;
}

extern "C" HRESULT WINAPI DLLGetClassObjectID(uint32_t first, uint32_t count, GUID* ids) {
  IComServer* server = g_comServer.load();
  if (server == nullptr) return E_ACCESSDENIED;
  if (ids == nullptr) return E_INVALIDARG;
  return server->GetClassObjectID(first, count, ids);
}

extern "C" HRESULT WINAPI DLLGetClassObjectInfo(uint32_t index, char* name, int32_t size) {
  IComServer* server = g_comServer.load();
  if (server == nullptr) return E_ACCESSDENIED;
  if (name == nullptr) return E_INVALIDARG;
  return server->GetClassObjectInfo(index, name, size);
}

extern "C" HRESULT WINAPI DLLRegisterBootstrap(IUnknown* clsidRegistry) {
  if (g_comServer.load() == nullptr) return E_ACCESSDENIED;
  const uint32_t level = GetPrintLevel();
  if (clsidRegistry == nullptr) {
    if (level & LOG_ERROR) LogPrint(LOG_ERROR, VLOC, "clsidRegistry == nullptr\n");
    return E_INVALIDARG;
  }
  Microsoft::WRL::ComPtr<IClsidRegistry> registry;
  const HRESULT hr = clsidRegistry->QueryInterface(IID_IClsidRegistry, reinterpret_cast<void**>(registry.GetAddressOf()));
  if (FAILED(hr)) {
    if (level & LOG_ERROR) LogPrint(LOG_ERROR, VLOC, "clsidRegistry->QueryInterface(IID_IClsidRegistry, ) failed\n");
    return hr;
  }
  for (BootstrapRegistration* node = g_bootstrapListHead; node; node = node->next) {
    if (level & LOG_TRACE)
      LogPrint(LOG_TRACE, VLOC, "  Bootstrap Register %s - Cat:%s  Group:%s  Class:%s\n", node->name,
               GuidToText(*node->categoryId).c_str(), GuidToText(*node->groupId).c_str(),
               GuidToText(*node->classId).c_str());
    const HRESULT registered = registry->Register(node->categoryId, node->groupId, node->classId);
    if (FAILED(registered)) {
      if (level & LOG_ERROR)
        LogPrint(LOG_ERROR, VLOC, "Bootstrap Register %s failed - Cat:%s  Group:%s  Class:%s\n", node->name,
                 GuidToText(*node->categoryId).c_str(), GuidToText(*node->groupId).c_str(),
                 GuidToText(*node->classId).c_str());
      return registered;
    }
  }
  return S_OK;
}
