// The display program: how a drawing surface shows the frame bound to stage 0 for flat, packed
// stereo and 360-degree (equirectangular) material. Chosen by the surface's
// SetShader(DisplayShaderProgramId).
#pragma once
#include "VodideDX9Context.h"
#include "VodideDX9ResourceCache.h"

// The surface's view properties the program reads, as the surface stores them.
struct DisplayViewProperties {
  GUID cameraType{};
  GUID framePacking{};
  GUID displayType{};
  float ipd = 0.07f;
  float zeroParallax = 1.0f;
  float angularRange[2] = {6.2831855f, 3.1415927f};   // longitude, latitude span in radians
  float viewSize[2] = {0, 0};                         // window area width, height
  float viewMatrix[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};  // row-major
};

// Writes the pixel-shader constants for view and sets (or removes, or leaves) the pixel shader on
// the context's device. Failures are raised; constants already written stay written. Besides the
// Direct3D failures: a view-matrix column shorter than 1e-12 (or not finite) is E_INVALIDARG and
// nothing is written; no texture at stage 0 is E_POINTER "No texture at stage 0". A view size
// without a positive width and height means the size of render target 0.
HRESULT SetupDisplayShader(DX9Context& context, CDX9ResourceCache& cache, const DisplayViewProperties& view);
