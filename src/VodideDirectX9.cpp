#include "VodideDirectX9.h"

// The loader arrives with the device layer; its place in the start-up order is kept.
void InitializeDirectX9Loader() {}
void TerminateDirectX9Loader() {}
