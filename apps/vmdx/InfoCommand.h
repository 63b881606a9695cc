// vmdx info: the module's class table, one object of each class, the offscreen device, the
// open-object count.
#pragma once

// argv[0] is "info"; returns the process exit code.
int RunInfoCommand(int argc, char** argv);
