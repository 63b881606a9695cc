#include "ViewControls.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "IMediaDirectXGraphics.h"
#include "VarnicaDisplayProgram.h"
#include "VarnicaFrameAccess.h"

namespace vmdxview {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kRadians = kPi / 180;

const char* const kCameraNames[] = {"flat", "sphere"};
const char* const kPackingNames[] = {"mono", "lr", "tb"};
const char* const kViewNames[] = {"plain",    "left",      "right",     "anaglyph",
                                  "contrast", "dubois-rc", "dubois-gm", "dubois-ab"};

template <class Enum, size_t N>
bool ByName(const char* text, const char* const (&names)[N], Enum* out) {
  for (size_t k = 0; k < N; ++k) {
    if (std::strcmp(text, names[k]) == 0) {
      *out = static_cast<Enum>(k);
      return true;
    }
  }
  return false;
}

// The whole text as a finite number.
bool Number(const char* text, double* out) {
  char* end = nullptr;
  *out = std::strtod(text, &end);
  return end != text && *end == '\0' && std::isfinite(*out);
}

// Turns an angle into (-180, 180].
double Wrap(double degrees) {
  double d = std::fmod(degrees, 360.0);
  if (d > 180) d -= 360;
  if (d <= -180) d += 360;
  return d;
}

}  // namespace

const char* CameraName(Camera camera) { return kCameraNames[static_cast<int>(camera)]; }
const char* PackingName(Packing packing) { return kPackingNames[static_cast<int>(packing)]; }
const char* ViewTypeName(ViewType view) { return kViewNames[static_cast<int>(view)]; }

const char* ViewOptionsUsage() {
  return "  --camera flat|sphere       how the picture was taken (sphere: equirectangular 360 degrees)\n"
         "  --packing mono|lr|tb       one picture, or two eyes side by side or one above the other\n"
         "  --view plain|left|right|anaglyph|contrast|dubois-rc|dubois-gm|dubois-ab\n"
         "                             how stereo is shown (keys 1-8 in the window)\n"
         "  --ipd MM                   eye distance in millimetres (70)\n"
         "  --zero-parallax M          distance without parallax in metres, at least 0.01 (1)\n"
         "  --range LON,LAT            spans of the sphere picture in degrees, each at least 58 (360,180;\n"
         "                             180,180 for VR180)\n"
         "  --yaw/--pitch/--roll DEG   direction of view (drag with the mouse in the window; R resets)\n"
         "  --zoom Z                   0.1 to 10; 2 magnifies twice (the wheel in the window)\n";
}

OptionResult ParseViewOption(int argc, char** argv, int* i, ViewOptions* options, std::string* error) {
  const std::string name = argv[*i];
  static const char* const kKnown[] = {"--camera", "--packing", "--view",  "--ipd",  "--zero-parallax",
                                       "--range",  "--yaw",     "--pitch", "--roll", "--zoom"};
  bool known = false;
  for (const char* k : kKnown) known = known || name == k;
  if (!known) return OptionResult::NotMine;
  auto bad = [&](const char* why) {
    *error = name + ": " + why;
    return OptionResult::Bad;
  };
  if (*i + 1 >= argc) return bad("needs a value");
  const char* value = argv[++*i];
  double x = 0;
  if (name == "--camera") {
    if (!ByName(value, kCameraNames, &options->camera)) return bad("flat or sphere");
  } else if (name == "--packing") {
    if (!ByName(value, kPackingNames, &options->packing)) return bad("mono, lr or tb");
  } else if (name == "--view") {
    if (!ByName(value, kViewNames, &options->view))
      return bad("plain, left, right, anaglyph, contrast, dubois-rc, dubois-gm or dubois-ab");
  } else if (name == "--ipd") {
    if (!Number(value, &x) || x < 0 || x > 1000) return bad("millimetres from 0 to 1000");
    options->ipdMm = x;
  } else if (name == "--zero-parallax") {
    if (!Number(value, &x) || x < 0.01 || x > 1e6) return bad("metres from 0.01");
    options->zeroParallaxM = x;
  } else if (name == "--range") {
    // The surface keeps spans of at least one radian only (smaller ones mean the whole sphere).
    const char* comma = std::strchr(value, ',');
    double lat = 0;
    if (comma == nullptr || !Number(std::string(value, comma).c_str(), &x) || !Number(comma + 1, &lat) ||
        x * kRadians < 1 || lat * kRadians < 1 || x > 360 || lat > 180)
      return bad("LON,LAT in degrees, longitude 58 to 360, latitude 58 to 180");
    options->rangeDeg[0] = x;
    options->rangeDeg[1] = lat;
  } else if (name == "--zoom") {
    if (!Number(value, &x) || x < kMinZoom || x > kMaxZoom) return bad("from 0.1 to 10");
    options->zoom = x;
  } else if (name == "--pitch") {
    if (!Number(value, &x) || x < -90 || x > 90) return bad("degrees from -90 to 90");
    options->pitch = x;
  } else {
    if (!Number(value, &x)) return bad("degrees");
    (name == "--yaw" ? options->yaw : options->roll) = Wrap(x);
  }
  return OptionResult::Taken;
}

HRESULT ToSurfaceValues(const ViewOptions& o, IMediaDisplaySphericalMetric* metric, SurfaceViewValues* values) {
  if (metric == nullptr || values == nullptr) return E_POINTER;
  static const GUID* const kDisplayTypes[] = {&DisplayType_Std,
                                              &DisplayType_LeftEye,
                                              &DisplayType_RightEye,
                                              &DisplayType_AnaglyphRC,
                                              &DisplayType_AnaglyphContrast,
                                              &DisplayType_DuboisRedCyan,
                                              &DisplayType_DuboisGreenMagenta,
                                              &DisplayType_DuboisAmberBlue};
  static const GUID* const kPackings[] = {&FramePacking_Std, &FramePacking_LR, &FramePacking_TB};
  SurfaceViewValues v{};
  v.cameraType = o.camera == Camera::Sphere ? CameraType_Spherical : CameraType_Std;
  v.framePacking = *kPackings[static_cast<int>(o.packing)];
  v.displayType = *kDisplayTypes[static_cast<int>(o.view)];
  v.ipd = static_cast<float>(o.ipdMm / 1000);
  v.zeroParallax = static_cast<float>(o.zeroParallaxM);
  v.angularRange[0] = static_cast<float>(o.rangeDeg[0] * kRadians);
  v.angularRange[1] = static_cast<float>(o.rangeDeg[1] * kRadians);
  const HRESULT hr = metric->GetViewMatrix(static_cast<float>(o.yaw * kRadians), static_cast<float>(o.pitch * kRadians),
                                           static_cast<float>(o.roll * kRadians), static_cast<float>(o.zoom),
                                           v.viewMatrix);
  if (SUCCEEDED(hr)) *values = v;
  return hr;
}

bool ShowsOneEyePicture(const ViewOptions& o) {
  return o.camera == Camera::Flat && o.packing != Packing::Mono && o.view != ViewType::Plain &&
         o.view != ViewType::Contrast;
}

HRESULT ApplyToSurface(IValueSet* surface, const SurfaceViewValues& v, float viewWidth, float viewHeight) {
  using vmdx::SetValue;
  std::array<float, 9> matrix;
  std::memcpy(matrix.data(), v.viewMatrix, sizeof v.viewMatrix);
  const std::array<float, 2> range = {v.angularRange[0], v.angularRange[1]};
  const std::array<float, 2> size = {viewWidth, viewHeight};
  HRESULT hr = SetValue(surface, GraphicsCameraTypeProperty, GuidValueType, v.cameraType);
  if (SUCCEEDED(hr)) hr = SetValue(surface, GraphicsFramePackingProperty, GuidValueType, v.framePacking);
  if (SUCCEEDED(hr)) hr = SetValue(surface, GraphicsDisplayTypeProperty, GuidValueType, v.displayType);
  if (SUCCEEDED(hr)) hr = SetValue(surface, GraphicsIpdProperty, FloatValueType, v.ipd);
  if (SUCCEEDED(hr)) hr = SetValue(surface, GraphicsZeroParallaxProperty, FloatValueType, v.zeroParallax);
  if (SUCCEEDED(hr)) hr = SetValue(surface, GraphicsAngularRangeProperty, GraphicsAngularRangeProperty, range);
  if (SUCCEEDED(hr)) hr = SetValue(surface, GraphicsViewMatrixProperty, FloatMatrix3x3ValueType, matrix);
  if (SUCCEEDED(hr)) hr = SetValue(surface, GraphicsViewSizeProperty, GraphicsViewSizeProperty, size);
  return hr;
}

void ViewState::Drag(int dx, int dy, int viewWidth) {
  if (viewWidth < 1) return;
  // Degrees per pixel at the middle of the window: the view plane at distance 0.5 is 1 / zoom
  // wide, and a zoom below 1 widens the angles instead.
  const double z = now_.zoom;
  const double perPixel = 2 / std::max(z, 1.0) / viewWidth / kRadians / std::min(z, 1.0);
  now_.yaw = Wrap(now_.yaw - dx * perPixel);
  now_.pitch = std::clamp(now_.pitch + dy * perPixel, -90.0, 90.0);
}

void ViewState::Wheel(double notches) {
  now_.zoom = std::clamp(now_.zoom * std::pow(1.1, notches), kMinZoom, kMaxZoom);
}

bool ViewState::Key(unsigned virtualKey) {
  unsigned digit = 0;
  if (virtualKey >= '1' && virtualKey <= '8') digit = virtualKey - '0';
  if (virtualKey >= 0x61 && virtualKey <= 0x68) digit = virtualKey - 0x60;  // VK_NUMPAD1..8
  if (digit != 0) {
    const ViewType chosen = static_cast<ViewType>(digit - 1);
    const bool changed = chosen != now_.view;
    now_.view = chosen;
    return changed;
  }
  if (virtualKey == 'R') {
    const bool changed =
        now_.yaw != start_.yaw || now_.pitch != start_.pitch || now_.roll != start_.roll || now_.zoom != start_.zoom;
    now_.yaw = start_.yaw, now_.pitch = start_.pitch, now_.roll = start_.roll, now_.zoom = start_.zoom;
    return changed;
  }
  return false;
}

std::string ViewState::Title() const {
  char text[160];
  std::snprintf(text, sizeof text, "vmdx play - %s %s - %s - yaw %.0f pitch %.0f roll %.0f - zoom %.2f",
                CameraName(now_.camera), PackingName(now_.packing), ViewTypeName(now_.view), now_.yaw, now_.pitch,
                now_.roll, now_.zoom);
  return text;
}

}  // namespace vmdxview
