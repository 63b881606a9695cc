// vmdx play: a clip in a window, drawn through the display object and its drawing surfaces.
#pragma once

// argv[0] is "play"; returns the process exit code.
int RunPlayCommand(int argc, char** argv);
