// The spherical-metric service (VarnicaSphericalMetric.h). The core makes its class creatable and
// names it under SphericalMetricCategoryId in the class registry when it loads; the first display
// that is asked for the service creates the instance and keeps it in the singleton registry.
#include <wrl/client.h>
#include <cmath>

#include "FrameworkObject.h"
#include "VarnicaSphericalMetric.h"

using Microsoft::WRL::ComPtr;

namespace {

constexpr char kSourceFile[] = "framework/core/SphericalMetric";
constexpr char kClassName[] = "MediaDisplaySphericalMetric";
// The core module's group in the class registry.
constexpr GUID kCoreClassGroup = {0x5C1E2A94, 0x0B7F, 0x4D38, {0xA6, 0x2D, 0x91, 0x4E, 0x37, 0xC0, 0x58, 0x1B}};
// A matrix column shorter than this cannot be normalised.
constexpr double kShortest = 1e-12;

void CheckPositive(float value, const SourceLocation& location, const char* name) {
  if (!(value > 0.0f) || !std::isfinite(value)) vfw::Raise(E_INVALIDARG, location, name);
}

// The display program's zoom split: a scale of at least 1 narrows the perspective (zoom in), a
// smaller one stretches the angles (zoom out).
struct Zoom {
  double in = 1, out = 1;
};
Zoom SplitZoom(double scale) { return scale >= 1 ? Zoom{scale, 1} : Zoom{1, 1 / scale}; }

class SphericalMetric final : public vfw::FrameworkObject<IMediaDisplaySphericalMetric> {
 public:
  SphericalMetric() : FrameworkObject(CLSID_MediaDisplaySphericalMetric, kClassName, false) {}

  static HRESULT CreateInstance(REFIID iid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    SphericalMetric* metric = new (std::nothrow) SphericalMetric();
    if (metric == nullptr) return E_OUTOFMEMORY;
    const HRESULT hr = metric->QueryInterface(iid, ppv);
    metric->Release();
    return hr;
  }

  HRESULT STDMETHODCALLTYPE GetObject(REFGUID, REFIID, void** ppv) override {
    if (ppv != nullptr) *ppv = nullptr;
    return E_UNSUPPORTED;
  }
  HRESULT STDMETHODCALLTYPE GetValueSet(IValueSet** valueSet) override {
    if (valueSet != nullptr) *valueSet = nullptr;
    return E_NOTIMPL;
  }

  HRESULT STDMETHODCALLTYPE GetViewAngles(float viewWidth, float viewHeight, float zoom,
                                          SphericalViewAngles* angles) override {
    return vfw::Guarded([&] {
      vfw::CheckPointer(angles, FW_LOC, "angles");
      CheckPositive(viewWidth, FW_LOC, "viewWidth");
      CheckPositive(viewHeight, FW_LOC, "viewHeight");
      CheckPositive(zoom, FW_LOC, "zoom");
      const Zoom z = SplitZoom(zoom);
      const double aspect = double{viewHeight} / viewWidth;
      // The view plane lies at distance 0.5 and is 1 / zoomIn wide.
      angles->horizontal = static_cast<float>(2 * std::atan(1 / z.in) * z.out);
      angles->vertical = static_cast<float>(2 * std::atan(aspect / z.in) * z.out);
      angles->radiansPerPixel = static_cast<float>(2 * z.out / (viewWidth * z.in));
      return S_OK;
    });
  }

  HRESULT STDMETHODCALLTYPE GetNativeZoom(float viewWidth, float pictureWidth, float longitudeRange,
                                          float* zoom) override {
    return vfw::Guarded([&] {
      vfw::CheckPointer(zoom, FW_LOC, "zoom");
      CheckPositive(viewWidth, FW_LOC, "viewWidth");
      CheckPositive(pictureWidth, FW_LOC, "pictureWidth");
      CheckPositive(longitudeRange, FW_LOC, "longitudeRange");
      // Turn per window pixel 2 zoomOut / (width zoomIn) equal to range / pictureWidth; in and out
      // meet in the one scale.
      *zoom = static_cast<float>(2.0 * pictureWidth / (double{viewWidth} * longitudeRange));
      return S_OK;
    });
  }

  HRESULT STDMETHODCALLTYPE GetViewMatrix(float yaw, float pitch, float roll, float zoom, float matrix[9]) override {
    return vfw::Guarded([&] {
      vfw::CheckPointer(matrix, FW_LOC, "matrix");
      CheckPositive(zoom, FW_LOC, "zoom");
      // Camera to world R = Ry(yaw) Rx(pitch) Rz(roll); the shader turns a screen point p into
      // the direction N^T p, so N = R^T, and the zoom scales every column.
      const double cy = std::cos(yaw), sy = std::sin(yaw);
      const double cp = std::cos(pitch), sp = std::sin(pitch);
      const double cr = std::cos(roll), sr = std::sin(roll);
      const double ry[9] = {cy, 0, sy, 0, 1, 0, -sy, 0, cy};
      const double rx[9] = {1, 0, 0, 0, cp, -sp, 0, sp, cp};  // y points down: up is -y
      const double rz[9] = {cr, -sr, 0, sr, cr, 0, 0, 0, 1};
      double ryx[9], r[9];
      Multiply(ry, rx, ryx);
      Multiply(ryx, rz, r);
      for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 3; ++col) matrix[3 * row + col] = static_cast<float>(zoom * r[3 * col + row]);
      return S_OK;
    });
  }

  HRESULT STDMETHODCALLTYPE GetDirectionAt(const float matrix[9], float viewWidth, float viewHeight, float x, float y,
                                           float lonLat[2]) override {
    return vfw::Guarded([&] {
      vfw::CheckPointer(matrix, FW_LOC, "matrix");
      vfw::CheckPointer(lonLat, FW_LOC, "lonLat");
      CheckPositive(viewWidth, FW_LOC, "viewWidth");
      CheckPositive(viewHeight, FW_LOC, "viewHeight");
      double length[3];
      for (int col = 0; col < 3; ++col) {
        length[col] = std::sqrt(double{matrix[col]} * matrix[col] + double{matrix[3 + col]} * matrix[3 + col] +
                                double{matrix[6 + col]} * matrix[6 + col]);
        if (!(length[col] >= kShortest)) vfw::Raise(E_INVALIDARG, FW_LOC, "matrix");
      }
      const Zoom z = SplitZoom((length[0] + length[1]) / 2);
      const double aspect = double{viewHeight} / viewWidth;
      const double p[3] = {(x / viewWidth - 0.5) / z.in, (y / viewHeight - 0.5) * aspect / z.in, 0.5};
      double d[3] = {0, 0, 0};
      for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 3; ++col) d[col] += p[row] * matrix[3 * row + col] / length[col];
      const double norm = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
      lonLat[0] = static_cast<float>(std::atan2(d[0], d[2]) * z.out);
      lonLat[1] = static_cast<float>(std::asin(d[1] / norm) * z.out);
      return S_OK;
    });
  }

 private:
  ~SphericalMetric() override = default;
  bool ServesMain(REFIID iid) const override {
    return varnica::SameGuid(iid, MediaDisplaySphericalMetricId) || varnica::SameGuid(iid, IID_IVarnicaObject);
  }
  static void Multiply(const double a[9], const double b[9], double out[9]) {
    for (int row = 0; row < 3; ++row)
      for (int col = 0; col < 3; ++col)
        out[3 * row + col] = a[3 * row] * b[col] + a[3 * row + 1] * b[3 + col] + a[3 * row + 2] * b[6 + col];
  }
};

// Creatable and named in the class registry from the moment the core is loaded; the instance is
// made on first request by a display.
struct SphericalMetricRegistration {
  SphericalMetricRegistration() {
    VarnicaRegisterClassFactory(&CLSID_MediaDisplaySphericalMetric, &SphericalMetric::CreateInstance, kClassName);
    ComPtr<IClsidRegistry> registry;
    if (SUCCEEDED(_GetSingletonObject()->GetObject(ClassRegistryServiceId, IID_IClsidRegistry,
                                                   reinterpret_cast<void**>(registry.GetAddressOf()))))
      registry->Register(&SphericalMetricCategoryId, &kCoreClassGroup, &CLSID_MediaDisplaySphericalMetric);
  }
} g_sphericalMetricRegistration;

}  // namespace
