// Direct3D 9 loader: d3d9.dll and the process-wide IDirect3D9Ex factory, made at module load.
#pragma once

// Called from the module's static initialisation (first) and at exit (last).
void InitializeDirectX9Loader();
void TerminateDirectX9Loader();
