// vmdx fields: frames split into their fields and woven back on the GPU, checked byte for byte.
#pragma once

// argv[0] is "fields"; returns the process exit code.
int RunFieldsCommand(int argc, char** argv);
