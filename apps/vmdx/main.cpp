// vmdx: a host program of the module. Loads TamrelVarnicaMediaDirectX.dll as a class library of
// the framework and works with its classes and routines the way a host application does.
//
// One file per command, each registered once in kCommands below; every command follows the
// convention of CommandLine.h (--help, exit codes, standard streams).
#include <cstdio>
#include <string>

#include "CommandLine.h"
#include "FieldsCommand.h"
#include "FramesCommand.h"
#include "InfoCommand.h"
#include "LensCommand.h"
#include "PlayCommand.h"

using namespace vmdxtool;

namespace {

struct Command {
  const char* name;
  int (*run)(int argc, char** argv);  // argv[0] is the command's name
  const char* summary;
};

constexpr Command kCommands[] = {
    {"info", RunInfoCommand, "the module's classes, the offscreen device and the open-object count"},
    {"frames", RunFramesCommand, "decoder frames through the GPU and back into PNG files or a Y4M stream"},
    {"fields", RunFieldsCommand, "frames split into their fields on the GPU and woven back, checked byte for byte"},
    {"play", RunPlayCommand, "a clip in a window through the display object and its drawing surfaces"},
    {"lens", RunLensCommand, "a clip re-projected from one lens into another on the GPU"},
};

void PrintCommands(std::FILE* out) {
  std::fprintf(out, "usage: vmdx COMMAND [options]   (vmdx COMMAND --help for a command's options)\n");
  for (const Command& command : kCommands) std::fprintf(out, "  %-9s %s\n", command.name, command.summary);
}

}  // namespace

int main(int argc, char** argv) {
  UseBinaryStandardStreams();
  const std::string name = argc > 1 ? argv[1] : "";
  for (const Command& command : kCommands)
    if (name == command.name) return command.run(argc - 1, argv + 1);
  if (name == "--help" || name == "-h" || name == "help") {
    PrintCommands(stdout);
    return kExitSuccess;
  }
  if (name.empty())
    std::fprintf(stderr, "vmdx: no command given\n");
  else
    std::fprintf(stderr, "vmdx: unknown command %s\n", name.c_str());
  PrintCommands(stderr);
  return kExitUsage;
}
