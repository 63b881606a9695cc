// The present step of a drawing surface: the render target copied to the back buffer.
#pragma once
#include "VodideDX9Context.h"

// Copies render target 0 onto the back buffer (linear filtering) unless they are the same
// surface.
HRESULT CopyRenderTargetToPresentSurface(DX9Context& context);
