#include "LensFile.h"

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <map>
#include <numbers>
#include <sstream>
#include <vector>

namespace {

struct Line {
  int number = 0;
  std::vector<std::string> values;
};

std::string At(const std::string& name, int line) { return name + ":" + std::to_string(line) + ": "; }

const char* TypeName(int32_t type) {
  switch (type) {
    case FisheyeLensType_None:
      return "none";
    case FisheyeLensType_Rectilinear:
      return "rectilinear";
    case FisheyeLensType_Radial:
      return "radial";
    default:
      return "unknown";
  }
}

// Reads a file's lines into key -> values, refusing unknown keys and keys given twice.
class Reader {
 public:
  Reader(const std::string& name, std::string* error) : name_(name), error_(error) {}

  bool Split(const std::string& text) {
    static const char* const kKeys[] = {
        "source.type",  "source.center", "source.focal",  "source.scale", "source.k0",    "source.k1",
        "source.flags", "target.type",   "target.center", "target.focal", "target.scale", "target.k0",
        "target.k1",    "target.flags",  "matrix",        "rotate",       "offset",       "view.size"};
    std::istringstream lines(text);
    std::string raw;
    for (int number = 1; std::getline(lines, raw); ++number) {
      if (const size_t hash = raw.find('#'); hash != std::string::npos) raw.erase(hash);
      std::istringstream words(raw);
      std::string key, word;
      if (!(words >> key)) continue;
      bool known = false;
      for (const char* k : kKeys) known = known || key == k;
      if (!known) return Fail(At(name_, number) + "unknown key '" + key + "'");
      if (const auto seen = lines_.find(key); seen != lines_.end())
        return Fail(At(name_, number) + "'" + key + "' given twice (first on line " +
                    std::to_string(seen->second.number) + ")");
      Line& line = lines_[key];
      line.number = number;
      while (words >> word) line.values.push_back(word);
    }
    return true;
  }

  bool Has(const std::string& key) const { return lines_.count(key) != 0; }
  int LineOf(const std::string& key) const { return Has(key) ? lines_.at(key).number : 0; }
  std::string Where(const std::string& key) const { return Has(key) ? At(name_, LineOf(key)) : name_ + ": "; }

  // count numbers of key into out; a missing key leaves out alone unless it is required.
  bool Numbers(const std::string& key, size_t count, float* out, bool required) {
    if (!Has(key)) return required ? Fail(name_ + ": no '" + key + "' line") : true;
    const Line& line = lines_.at(key);
    if (line.values.size() != count)
      return Fail(At(name_, line.number) + "'" + key + "' needs " + std::to_string(count) +
                  (count == 1 ? " number" : " numbers") + ", found " + std::to_string(line.values.size()));
    for (size_t i = 0; i < count; ++i) {
      const std::string& text = line.values[i];
      char* end = nullptr;
      const double value = std::strtod(text.c_str(), &end);
      if (text.empty() || *end != '\0' || !std::isfinite(value) || std::abs(value) > 1e30)
        return Fail(At(name_, line.number) + "'" + key + "': '" + text + "' is not a number");
      out[i] = static_cast<float>(value);
    }
    return true;
  }

  bool Type(const std::string& key, int32_t* type) {
    if (!Has(key)) return Fail(name_ + ": no '" + key + "' line");
    const Line& line = lines_.at(key);
    const std::string value = line.values.size() == 1 ? line.values[0] : "";
    for (int32_t t : {FisheyeLensType_None, FisheyeLensType_Rectilinear, FisheyeLensType_Radial}) {
      if (value == TypeName(t)) {
        *type = t;
        return true;
      }
    }
    return Fail(At(name_, line.number) + "'" + key + "' must be none, rectilinear or radial");
  }

  bool Fail(const std::string& text) {
    *error_ = text;
    return false;
  }

 private:
  std::string name_;
  std::string* error_;
  std::map<std::string, Line> lines_;
};

bool ReadLens(Reader& r, const std::string& side, FisheyeLens* lens) {
  float center[2] = {lens->CenterX, lens->CenterY}, focal[2] = {lens->FocalX, lens->FocalY};
  float scale[2] = {lens->ScaleX, lens->ScaleY}, flags = 0;
  if (!r.Type(side + ".type", &lens->Type) || !r.Numbers(side + ".center", 2, center, side == "source") ||
      !r.Numbers(side + ".focal", 2, focal, true) || !r.Numbers(side + ".scale", 2, scale, false) ||
      !r.Numbers(side + ".k0", 1, &lens->K0, lens->Type == FisheyeLensType_Radial) ||
      !r.Numbers(side + ".k1", 1, &lens->K1, lens->Type == FisheyeLensType_Radial) ||
      !r.Numbers(side + ".flags", 1, &flags, false))
    return false;
  lens->CenterX = center[0], lens->CenterY = center[1];
  lens->FocalX = focal[0], lens->FocalY = focal[1];
  lens->ScaleX = scale[0], lens->ScaleY = scale[1];
  if (flags < 0 || flags != std::floor(flags))
    return r.Fail(r.Where(side + ".flags") + "'" + side + ".flags' must be a whole number");
  lens->Flags = static_cast<uint32_t>(flags);
  // The maps divide by these: zero would put a pole into every pixel.
  if (lens->FocalX == 0 || lens->FocalY == 0)
    return r.Fail(r.Where(side + ".focal") + "a zero focal length makes a pole in the map");
  if (lens->ScaleX == 0 || lens->ScaleY == 0)
    return r.Fail(r.Where(side + ".scale") + "a zero scale makes a pole in the map");
  if (lens->Type == FisheyeLensType_Radial && lens->K1 == 0)
    return r.Fail(r.Where(side + ".k1") + "K1 = 0 makes a pole in the radial model");
  return true;
}

// The view turned by yaw (to the right), pitch (up) and roll (about the view's axis), degrees:
// the matrix takes a ray of the view into the source camera's frame.
void Rotation(const float angles[3], float m[9]) {
  const double y = angles[0] * std::numbers::pi / 180, p = angles[1] * std::numbers::pi / 180,
               r = angles[2] * std::numbers::pi / 180;
  const double ry[9] = {std::cos(y), 0, std::sin(y), 0, 1, 0, -std::sin(y), 0, std::cos(y)};
  const double rx[9] = {1, 0, 0, 0, std::cos(p), -std::sin(p), 0, std::sin(p), std::cos(p)};
  const double rz[9] = {std::cos(r), -std::sin(r), 0, std::sin(r), std::cos(r), 0, 0, 0, 1};
  double yp[9];
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) {
      yp[3 * i + j] = 0;
      for (int k = 0; k < 3; ++k) yp[3 * i + j] += ry[3 * i + k] * rx[3 * k + j];
    }
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) {
      double sum = 0;
      for (int k = 0; k < 3; ++k) sum += yp[3 * i + k] * rz[3 * k + j];
      m[3 * i + j] = static_cast<float>(sum);
    }
}

}  // namespace

bool ParseLensFile(const std::string& text, const std::string& name, LensFile* lens, std::string* error) {
  Reader r(name, error);
  LensFile parsed;
  FisheyeRectifyParams& p = parsed.params;
  if (!r.Split(text) || !ReadLens(r, "source", &p.Source) || !ReadLens(r, "target", &p.Target)) return false;
  if (r.Has("matrix") && r.Has("rotate"))
    return r.Fail(r.Where("rotate") + "give either 'matrix' or 'rotate', not both");
  float angles[3] = {}, offset[2] = {};
  if (!r.Numbers("matrix", 9, p.Matrix, false) || !r.Numbers("rotate", 3, angles, false) ||
      !r.Numbers("offset", 2, offset, false))
    return false;
  p.OffsetX = offset[0], p.OffsetY = offset[1];
  if (r.Has("rotate")) Rotation(angles, p.Matrix);
  float size[2] = {};
  if (!r.Numbers("view.size", 2, size, false)) return false;
  if (r.Has("view.size")) {
    if (size[0] < 1 || size[1] < 1 || size[0] > 16384 || size[1] > 16384 || size[0] != std::floor(size[0]) ||
        size[1] != std::floor(size[1]))
      return r.Fail(r.Where("view.size") + "'view.size' must be two whole numbers from 1 to 16384");
    parsed.viewWidth = static_cast<uint32_t>(size[0]);
    parsed.viewHeight = static_cast<uint32_t>(size[1]);
  }
  if (FisheyeRectifyVariant(p) == 3) {
    const std::string flagged = p.Target.Flags & kFisheyeLensUnsupportedFlags ? " with projection flags" : "";
    return r.Fail(name + ": no map draws a " + TypeName(p.Source.Type) + " source seen through a " +
                  TypeName(p.Target.Type) + " target" + flagged +
                  " (radial or rectilinear sources to a rectilinear target, radial to radial)");
  }
  *lens = parsed;
  return true;
}

bool ReadLensFile(const std::string& path, LensFile* lens, std::string* error) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    *error = path + ": cannot be read";
    return false;
  }
  std::ostringstream text;
  text << file.rdbuf();
  return ParseLensFile(text.str(), path, lens, error);
}
