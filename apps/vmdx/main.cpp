// vmdx: a host program of the module. Loads TamrelVarnicaMediaDirectX.dll as a class library of
// the framework and works with its classes the way a host application does.
//
//   vmdx info    the class table, one object of each class, the offscreen device, the open-object count
//   vmdx frames  decoder frames through the GPU and back into PNG files (FramesCommand.cpp)
//   vmdx play    a clip in a window through the display object (PlayCommand.cpp)
#include <cstdio>
#include <cstring>
#include <string>
#include <wrl/client.h>

#include "FramesCommand.h"
#include "PlayCommand.h"
#include "IMediaDirectX9VideoFrame.h"
#include "IMediaDirectXDisplay.h"
#include "IMediaDirectXGraphics.h"
#include "VarnicaMedia.h"
#include "VodideDeviceInfo.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr char kModule[] = "TamrelVarnicaMediaDirectX.dll";

std::string GuidText(const GUID& g) {
  char text[40];
  std::snprintf(text, sizeof text, "%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X",
                static_cast<unsigned long>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2],
                g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
  return text;
}

struct ModuleExports {
  HRESULT(WINAPI* getOpenObjectCount)();
  HRESULT(WINAPI* getClassCount)();
  HRESULT(WINAPI* getClassObjectID)(uint32_t, uint32_t, GUID*);
  HRESULT(WINAPI* getClassObjectInfo)(uint32_t, char*, int32_t);
};

template <class Fn>
Fn Export(HMODULE module, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

bool LoadModule(ModuleExports* exports) {
  const HRESULT hr = VarnicaLoadClassLibrary(kModule);
  HMODULE module = GetModuleHandleA(kModule);
  if (FAILED(hr) || module == nullptr) {
    std::fprintf(stderr, "vmdx: cannot load %s (0x%08lX)\n", kModule, static_cast<unsigned long>(hr));
    return false;
  }
  exports->getOpenObjectCount = Export<decltype(exports->getOpenObjectCount)>(module, "DLLGetOpenObjectCount");
  exports->getClassCount = Export<decltype(exports->getClassCount)>(module, "DLLGetClassCount");
  exports->getClassObjectID = Export<decltype(exports->getClassObjectID)>(module, "DLLGetClassObjectID");
  exports->getClassObjectInfo = Export<decltype(exports->getClassObjectInfo)>(module, "DLLGetClassObjectInfo");
  if (!exports->getOpenObjectCount || !exports->getClassCount || !exports->getClassObjectID ||
      !exports->getClassObjectInfo) {
    std::fprintf(stderr, "vmdx: %s lacks the class-server exports\n", kModule);
    return false;
  }
  return true;
}

int Info() {
  ModuleExports exports{};
  if (!LoadModule(&exports)) return 1;
  const HRESULT count = exports.getClassCount();
  std::printf("%s serves %ld classes:\n", kModule, static_cast<long>(count));
  for (uint32_t i = 0; count > 0 && i < static_cast<uint32_t>(count); ++i) {
    GUID clsid{};
    char name[64] = {};
    exports.getClassObjectID(i, 1, &clsid);
    exports.getClassObjectInfo(i, name, sizeof name);
    // Each class made once through the framework, as a host would.
    ComPtr<IClassInfo> info;
    const HRESULT created = CreateClassObject(clsid, IID_IClassInfo, &info);
    char reported[64] = {};
    if (SUCCEEDED(created)) info->GetClassName(reported, sizeof reported);
    std::printf("  %u  {%s}  %-24s %s\n", i, GuidText(clsid).c_str(), name,
                SUCCEEDED(created) && std::strcmp(name, reported) == 0 ? "created" : "NOT CREATED");
  }
  // The device this machine gives the module (made and released again here).
  const HRESULT device = PrintOffscreenDeviceInfo(stdout);
  const HRESULT open = exports.getOpenObjectCount();
  std::printf("open objects: %ld\n", static_cast<long>(open));
  return open == 0 && SUCCEEDED(device) ? 0 : 1;
}

int Usage() {
  std::fprintf(stderr, "usage: vmdx info | frames [options] | play [options]   (vmdx COMMAND --help)\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  const std::string command = argv[1];
  if (command == "info") return Info();
  if (command == "frames") return RunFramesCommand(argc - 1, argv + 1);
  if (command == "play") return RunPlayCommand(argc - 1, argv + 1);
  return Usage();
}
