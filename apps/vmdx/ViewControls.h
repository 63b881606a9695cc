// The host side of the display program's view, for a viewer command: the view options of the
// command line turned into drawing-surface property values, and the interactive state of a viewer
// window (mouse drag turns, the wheel zooms, keys 1-8 switch the view type, R resets).
#pragma once
#include <string>

#include "VarnicaCore.h"
#include "VarnicaSphericalMetric.h"

namespace vmdxview {

enum class Camera { Flat, Sphere };
enum class Packing { Mono, LR, TB };
// In the order of keys 1 to 8.
enum class ViewType { Plain, Left, Right, Anaglyph, Contrast, DuboisRC, DuboisGM, DuboisAB };

struct ViewOptions {
  Camera camera = Camera::Flat;
  Packing packing = Packing::Mono;
  ViewType view = ViewType::Plain;
  double ipdMm = 70;                    // eye distance in millimetres
  double zeroParallaxM = 1;             // distance shown without parallax, in metres
  double rangeDeg[2] = {360, 180};      // longitude and latitude spans of an equirectangular picture
  double yaw = 0, pitch = 0, roll = 0;  // degrees: yaw positive to the right, pitch up, roll clockwise
  double zoom = 1;                      // 2 magnifies twice, 0.5 shows twice the angle
};

// Limits of the zoom, on the command line and in the window.
constexpr double kMinZoom = 0.1, kMaxZoom = 10;

enum class OptionResult { NotMine, Taken, Bad };

// Offers argv[*i] as a view option. Taken: read with its value (*i moves past the value). Bad: a
// view option with a missing or unusable value; error says which and why. NotMine: another option.
OptionResult ParseViewOption(int argc, char** argv, int* i, ViewOptions* options, std::string* error);

// Lines of a command's usage text for the view options.
const char* ViewOptionsUsage();

// The drawing surface's view properties for a view.
struct SurfaceViewValues {
  GUID cameraType;
  GUID framePacking;
  GUID displayType;
  float ipd;              // metres
  float zeroParallax;     // metres
  float angularRange[2];  // radians
  float viewMatrix[9];    // row-major
};
// The values for a view; the view matrix (zoom times the transposed turn Ry(yaw) Rx(pitch)
// Rz(roll) in the display program's axes) comes from the display's spherical-metric service.
HRESULT ToSurfaceValues(const ViewOptions& options, IMediaDisplaySphericalMetric* metric, SurfaceViewValues* values);

// Whether the display program shows one eye's picture of a packed stereo frame (so the window
// shows that picture's shape): a flat view of one eye or an anaglyph. A 360-degree view fills
// the window, and the plain and contrast views of flat material show the packed frame whole.
bool ShowsOneEyePicture(const ViewOptions& options);

// Sets the view properties and the view size on a drawing surface's value set.
HRESULT ApplyToSurface(IValueSet* surface, const SurfaceViewValues& values, float viewWidth, float viewHeight);

// Short names as the options spell them ("sphere", "lr", "anaglyph", ...).
const char* CameraName(Camera camera);
const char* PackingName(Packing packing);
const char* ViewTypeName(ViewType view);

// The interactive state of a viewer window.
class ViewState {
 public:
  explicit ViewState(const ViewOptions& start) : start_(start), now_(start) {}
  const ViewOptions& options() const { return now_; }

  // A mouse drag by (dx, dy) pixels in a window viewWidth pixels wide: the picture follows the
  // mouse (dragging right turns the view left).
  void Drag(int dx, int dy, int viewWidth);
  // The wheel turned by notches (positive away from the user: closer).
  void Wheel(double notches);
  // A key (virtual-key code): '1'..'8' choose the view type, 'R' returns to the starting
  // direction and zoom. True when the view changed.
  bool Key(unsigned virtualKey);
  // The window title: the mode, direction and zoom.
  std::string Title() const;

 private:
  ViewOptions start_;
  ViewOptions now_;
};

}  // namespace vmdxview
