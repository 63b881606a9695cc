// vmdx lens: a clip re-projected from one lens model into another on the GPU, written as PNG
// files or as a Y4M stream.
#pragma once

// argv[0] is "lens"; returns the process exit code.
int RunLensCommand(int argc, char** argv);
