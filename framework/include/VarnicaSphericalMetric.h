// The media display's spherical-metric service: the geometry of a 360-degree (equirectangular)
// picture seen through the display program, for hosts that let people look around in one.
//
// A display hands the service out through GetObject(.., MediaDisplaySphericalMetricId, ..); it is
// one object per process, kept in the core's singleton registry and made from the class that the
// class registry names under SphericalMetricCategoryId.
//
// Conventions (the display program's): x points right, y down, z forward. At zoom 1 the window is
// 90 degrees wide. Longitude 0 is straight ahead and grows to the right; latitude grows downward,
// the way the rows of an equirectangular picture run. The view matrix is the drawing surface's
// view-matrix property: nine floats, row-major, whose rows are the camera's right, down and
// forward axes scaled by the zoom. A zoom below 1 shows a wider angle than 90 degrees by
// stretching the angles (the display program's zoom-out), not by a wider perspective.
#pragma once
#include "VarnicaMedia.h"

// What a window shows of the sphere.
struct SphericalViewAngles {
  float horizontal;       // angle across the window's centre row, radians
  float vertical;         // angle across the window's centre column, radians
  float radiansPerPixel;  // turn of the view per window pixel at the window's centre
};

struct IMediaDisplaySphericalMetric : IVarnicaObject {
  // The angles a window of viewWidth x viewHeight pixels shows at zoom (> 0).
  virtual HRESULT STDMETHODCALLTYPE GetViewAngles(float viewWidth, float viewHeight, float zoom,
                                                  SphericalViewAngles* angles) = 0;
  // The zoom at which one window pixel at the centre shows one picture pixel of an
  // equirectangular picture pictureWidth pixels wide that spans longitudeRange radians.
  virtual HRESULT STDMETHODCALLTYPE GetNativeZoom(float viewWidth, float pictureWidth, float longitudeRange,
                                                  float* zoom) = 0;
  // The view matrix that turns the view by yaw (to the right), pitch (upward) and roll (the
  // camera clockwise about its viewing direction), in radians, applied in that order, and zooms
  // by zoom (> 0).
  virtual HRESULT STDMETHODCALLTYPE GetViewMatrix(float yaw, float pitch, float roll, float zoom, float matrix[9]) = 0;
  // Longitude and latitude (radians) shown at the window point (x, y) through matrix, for a
  // window of viewWidth x viewHeight; (0, 0) is the window's top-left corner, so the centre of
  // pixel (i, j) is (i + 0.5, j + 0.5).
  virtual HRESULT STDMETHODCALLTYPE GetDirectionAt(const float matrix[9], float viewWidth, float viewHeight, float x,
                                                   float y, float lonLat[2]) = 0;
};
__CRT_UUID_DECL(IMediaDisplaySphericalMetric, 0x7B441018, 0x51F8, 0x4998, 0x90, 0x5A, 0xD8, 0x1B, 0xEC, 0xFC, 0xB0,
                0xF3)
