// vmdx frames: decoder frames through the GPU and back, written as PNG files or a Y4M stream.
#pragma once

// argv[0] is "frames"; returns the process exit code.
int RunFramesCommand(int argc, char** argv);
