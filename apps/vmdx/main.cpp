// vmdx: a host program of the module. Loads TamrelVarnicaMediaDirectX.dll as a class library of
// the framework and works with its classes the way a host application does.
//
//   vmdx info    the class table, one object of each class, the offscreen device, the open-object count
//   vmdx frames  decoder frames through the GPU and back into PNG files or a Y4M stream (FramesCommand.cpp)
//   vmdx fields  frames split into fields and woven back on the GPU, checked (FieldsCommand.cpp)
//   vmdx play    a clip in a window through the display object (PlayCommand.cpp)
//   vmdx lens    a clip re-projected from one lens into another on the GPU (LensCommand.cpp)
//
// Every command follows the convention of CommandLine.h (--help, exit codes, standard streams).
#include <wrl/client.h>
#include <cstdio>
#include <cstring>
#include <string>

#include "CommandLine.h"
#include "FieldsCommand.h"
#include "FramesCommand.h"
#include "PlayCommand.h"
#include "IMediaDirectX9VideoFrame.h"
#include "IMediaDirectXDisplay.h"
#include "IMediaDirectXGraphics.h"
#include "LensCommand.h"
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

int Info(int argc, char** argv) {
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

constexpr char kCommands[] =
    "usage: vmdx COMMAND [options]   (vmdx COMMAND --help for a command's options)\n"
    "  info      the module's classes, the offscreen device and the open-object count\n"
    "  frames    decoder frames through the GPU and back into PNG files or a Y4M stream\n"
    "  fields    frames split into their fields on the GPU and woven back, checked byte for byte\n"
    "  play      a clip in a window through the display object and its drawing surfaces\n"
    "  lens      a clip re-projected from one lens into another on the GPU\n";

}  // namespace

int main(int argc, char** argv) {
  UseBinaryStandardStreams();
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "info") return Info(argc - 1, argv + 1);
  if (command == "frames") return RunFramesCommand(argc - 1, argv + 1);
  if (command == "play") return RunPlayCommand(argc - 1, argv + 1);
  if (command == "fields") return RunFieldsCommand(argc - 1, argv + 1);
  if (command == "lens") return RunLensCommand(argc - 1, argv + 1);
  if (command == "--help" || command == "-h" || command == "help") {
    std::printf("%s", kCommands);
    return kExitSuccess;
  }
  if (command.empty())
    std::fprintf(stderr, "vmdx: no command given\n");
  else
    std::fprintf(stderr, "vmdx: unknown command %s\n", command.c_str());
  std::fprintf(stderr, "%s", kCommands);
  return kExitUsage;
}
