// vmdx info: the module's class table with one object of each class made through the framework,
// the offscreen device this machine gives it, and the open-object count at the end.
#include "InfoCommand.h"

#include <wrl/client.h>
#include <cstdio>
#include <cstring>
#include <string>

#include "CommandLine.h"
#include "IMediaDirectX9VideoFrame.h"
#include "VarnicaMedia.h"
#include "VodideDeviceInfo.h"

using Microsoft::WRL::ComPtr;
using namespace vmdxtool;

namespace {

constexpr char kModule[] = "TamrelVarnicaMediaDirectX.dll";

std::string GuidText(const GUID& g) {
  char text[40];
  std::snprintf(text, sizeof text, "%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X",
                static_cast<unsigned long>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3],
                g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
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

bool LoadModule(const CommandLine& cli, const FrameworkMessages& messages, ModuleExports* exports) {
  const HRESULT hr = VarnicaLoadClassLibrary(kModule);
  HMODULE module = GetModuleHandleA(kModule);
  if (FAILED(hr) || module == nullptr) {
    cli.Failure(Failed(std::string("loading ") + kModule, FAILED(hr) ? hr : E_FAIL, messages));
    return false;
  }
  exports->getOpenObjectCount = Export<decltype(exports->getOpenObjectCount)>(module, "DLLGetOpenObjectCount");
  exports->getClassCount = Export<decltype(exports->getClassCount)>(module, "DLLGetClassCount");
  exports->getClassObjectID = Export<decltype(exports->getClassObjectID)>(module, "DLLGetClassObjectID");
  exports->getClassObjectInfo = Export<decltype(exports->getClassObjectInfo)>(module, "DLLGetClassObjectInfo");
  if (!exports->getOpenObjectCount || !exports->getClassCount || !exports->getClassObjectID ||
      !exports->getClassObjectInfo) {
    cli.Failure(std::string(kModule) + " lacks the class-server exports");
    return false;
  }
  return true;
}

}  // namespace

int RunInfoCommand(int argc, char** argv) {
  CommandLine cli(
      "info", "",
      "The module's class table with one object of each class made through the framework, the\n"
      "offscreen device this machine gives it, and the open-object count at the end (on standard output).\n");
  if (const int code = cli.Parse(argc, argv); code >= 0) return code;
  FrameworkMessages messages(cli.verbose());
  ModuleExports exports{};
  if (!LoadModule(cli, messages, &exports)) return kExitFailure;
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
  if (FAILED(device)) return cli.Failure(Failed("making the offscreen device", device, messages));
  if (open != 0) return cli.Failure(std::to_string(open) + " module objects are still open");
  return kExitSuccess;
}
