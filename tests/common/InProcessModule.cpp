#include "InProcessModule.h"

#include <cstdio>
#include <cstdlib>

#include "VarnicaCore.h"

// The module's entry and class-server exports, linked into this program with its objects.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);
extern "C" HRESULT WINAPI DLLGetOpenObjectCount();
extern "C" HRESULT WINAPI DLLGetClassCount();
extern "C" HRESULT WINAPI DLLGetClassObjectID(uint32_t first, uint32_t count, GUID* ids);
extern "C" HRESULT WINAPI DLLGetClassObjectInfo(uint32_t index, char* name, int32_t size);

namespace vmdxtest {
namespace {

constexpr uint32_t kMaxClasses = 8;
GUID g_classes[kMaxClasses];

// The core takes plain creation functions: one per class slot.
template <uint32_t N>
HRESULT CreateSlot(REFIID iid, void** ppv) {
  return DllGetClassObject(g_classes[N], iid, ppv);
}
constexpr VarnicaClassCreateFn kSlots[kMaxClasses] = {CreateSlot<0>, CreateSlot<1>, CreateSlot<2>, CreateSlot<3>,
                                                      CreateSlot<4>, CreateSlot<5>, CreateSlot<6>, CreateSlot<7>};

[[noreturn]] void Abort(const char* what, HRESULT hr) {
  std::fprintf(stderr, "in-process module: %s failed (0x%08lX)\n", what, static_cast<unsigned long>(hr));
  std::abort();
}

}  // namespace

void ServeModuleInProcess() {
  static const bool served = [] {
    if (!DllMain(GetModuleHandleA(nullptr), DLL_PROCESS_ATTACH, nullptr)) Abort("process attach", E_FAIL);
    const HRESULT count = DLLGetClassCount();
    if (count < 0 || static_cast<uint32_t>(count) > kMaxClasses) Abort("DLLGetClassCount", count);
    for (uint32_t i = 0; i < static_cast<uint32_t>(count); ++i) {
      char name[64] = {};
      HRESULT hr = DLLGetClassObjectID(i, 1, &g_classes[i]);
      if (SUCCEEDED(hr)) hr = DLLGetClassObjectInfo(i, name, sizeof name);
      if (SUCCEEDED(hr)) hr = VarnicaRegisterClassFactory(&g_classes[i], kSlots[i], name);
      if (FAILED(hr)) Abort("class registration", hr);
    }
    return true;
  }();
  (void)served;
}

int InProcessOpenObjects() { return static_cast<int>(DLLGetOpenObjectCount()); }

}  // namespace vmdxtest
