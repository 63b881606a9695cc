#include "Y4mReader.h"

#include <algorithm>
#include <cinttypes>
#include <cstring>

#include "FrameworkError.h"

namespace vmedia {
namespace {

constexpr char kSourceFile[] = "framework/media/Y4mReader";
constexpr size_t kMaxHeaderLine = 4096;

// Reads from offset up to the first '\n' (not included). False when none comes within limit.
bool ReadLine(std::FILE* file, int64_t offset, size_t limit, std::string* line) {
  line->clear();
  if (_fseeki64(file, offset, SEEK_SET) != 0) return false;
  for (size_t i = 0; i < limit; ++i) {
    const int c = std::fgetc(file);
    if (c == EOF) return false;
    if (c == '\n') return true;
    line->push_back(static_cast<char>(c));
  }
  return false;
}

bool ParseRatio(const std::string& text, int64_t* numerator, int64_t* denominator) {
  long long n = 0, d = 0;
  if (std::sscanf(text.c_str(), "%lld:%lld", &n, &d) != 2) return false;
  *numerator = n;
  *denominator = d;
  return true;
}

}  // namespace

Y4mReader::Y4mReader(const std::string& path) : path_(path) {
  file_ = std::fopen(path.c_str(), "rb");
  if (file_ == nullptr) Fail(HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND), "cannot open the file");
  try {
    if (_fseeki64(file_, 0, SEEK_END) == 0) fileSize_ = _ftelli64(file_);
    std::string header;
    if (!ReadLine(file_, 0, kMaxHeaderLine, &header)) Fail(E_FAIL, "not a Y4M file (no header line)");
    ParseHeader(header);
    IndexFrames(static_cast<int64_t>(header.size()) + 1);
  } catch (...) {
    std::fclose(file_);  // no destructor runs for a constructor that raises
    throw;
  }
}

Y4mReader::~Y4mReader() {
  if (file_ != nullptr) std::fclose(file_);
}

void Y4mReader::Fail(HRESULT code, const std::string& text) const {
  const std::string message = path_ + ": " + text;
  vfw::Raise(code, FW_LOC, message.c_str());
}

void Y4mReader::ParseHeader(const std::string& line) {
  if (line.rfind("YUV4MPEG2", 0) != 0) Fail(E_FAIL, "not a Y4M file (no YUV4MPEG2 signature)");
  std::string colorspace = "420jpeg";
  size_t pos = std::strlen("YUV4MPEG2");
  while (pos < line.size()) {
    while (pos < line.size() && line[pos] == ' ') ++pos;
    const size_t end = std::min(line.find(' ', pos), line.size());
    if (end == pos) break;
    const std::string token = line.substr(pos, end - pos);
    pos = end;
    const std::string value = token.substr(1);
    int64_t n = 0, d = 0;
    switch (token[0]) {
      case 'W': width_ = std::atoi(value.c_str()); break;
      case 'H': height_ = std::atoi(value.c_str()); break;
      case 'F':
        if (!ParseRatio(value, &n, &d) || n <= 0 || d <= 0) Fail(E_FAIL, "header: bad frame rate " + token);
        rate_ = {n, d, 0, 0};
        break;
      case 'A':
        if (!ParseRatio(value, &n, &d)) Fail(E_FAIL, "header: bad pixel aspect ratio " + token);
        if (n > 0 && d > 0) aspect_ = {n, d};  // 0:0 means unknown: square
        break;
      case 'I':
        if (value == "t") interlace_ = VideoInterlace_TopFieldFirst;
        else if (value == "b") interlace_ = VideoInterlace_BottomFieldFirst;
        else interlace_ = VideoInterlace_Progressive;  // p, and m (mixed) as frames
        break;
      case 'C': colorspace = value; break;
      case 'X':
        if (value == "COLORRANGE=FULL") fullRange_ = true;
        break;
      default: break;  // unknown parameters are allowed by the format
    }
  }
  if (width_ < 1 || height_ < 1 || width_ > 16384 || height_ > 16384)
    Fail(E_FAIL, "header: width and height missing or out of range");

  // Colour space: family (subsampling) then optional bit depth ("422p10", "mono16").
  std::string depthText;
  if (colorspace.rfind("420", 0) == 0) {
    chromaShiftX_ = chromaShiftY_ = 1;
    if (colorspace.size() > 3 && colorspace[3] == 'p') depthText = colorspace.substr(4);
  } else if (colorspace.rfind("422", 0) == 0) {
    chromaShiftX_ = 1, chromaShiftY_ = 0;
    if (colorspace.size() > 3) depthText = colorspace.substr(colorspace[3] == 'p' ? 4 : 3);
  } else if (colorspace == "444alpha") {
    chromaShiftX_ = chromaShiftY_ = 0;
    alpha_ = true;
  } else if (colorspace.rfind("444", 0) == 0) {
    chromaShiftX_ = chromaShiftY_ = 0;
    if (colorspace.size() > 3) depthText = colorspace.substr(colorspace[3] == 'p' ? 4 : 3);
  } else if (colorspace.rfind("mono", 0) == 0) {
    mono_ = true;
    depthText = colorspace.substr(4);
  } else {
    Fail(E_UNSUPPORTED, "header: colour space C" + colorspace + " is not supported");
  }
  // "420jpeg", "420paldv", "420mpeg2" name chroma siting only.
  if (colorspace.rfind("420", 0) == 0 && colorspace.size() > 3 && colorspace[3] != 'p') depthText.clear();
  if (!depthText.empty()) {
    depth_ = std::atoi(depthText.c_str());
    if (depth_ < 8 || depth_ > 16) Fail(E_UNSUPPORTED, "header: colour space C" + colorspace + " is not supported");
  }

  const int64_t sampleBytes = depth_ > 8 ? 2 : 1;
  const int64_t luma = int64_t{width_} * height_;
  int64_t chroma = 0;
  if (!mono_) {
    const int64_t cw = (width_ + (1 << chromaShiftX_) - 1) >> chromaShiftX_;
    const int64_t ch = (height_ + (1 << chromaShiftY_) - 1) >> chromaShiftY_;
    chroma = 2 * cw * ch;
  }
  frameBytes_ = (luma * (alpha_ ? 2 : 1) + chroma) * sampleBytes;
}

void Y4mReader::IndexFrames(int64_t offset) {
  std::string line;
  while (offset < fileSize_) {
    if (!ReadLine(file_, offset, 1024, &line)) {
      frames_.push_back({offset, "frame header has no end of line"});
      return;
    }
    if (line.rfind("FRAME", 0) != 0) {
      frames_.push_back({offset, "no FRAME marker where the frame should start"});
      return;
    }
    const int64_t data = offset + static_cast<int64_t>(line.size()) + 1;
    if (data + frameBytes_ > fileSize_) {
      char text[96];
      std::snprintf(text, sizeof text, "truncated (%" PRId64 " of %" PRId64 " bytes)", fileSize_ - data, frameBytes_);
      frames_.push_back({data, text});
      return;
    }
    frames_.push_back({data, ""});
    offset = data + frameBytes_;
  }
}

GUID Y4mReader::NativeFormat() const {
  if (mono_) return MediaFormat_Mono8;
  if (chromaShiftX_ == 0) {
    if (alpha_) return MediaFormat_YUVA444_8;
    return depth_ > 8 ? MediaFormat_YUV444_16 : MediaFormat_YUV444_8;
  }
  return depth_ > 8 ? MediaFormat_YUV422Packed10 : MediaFormat_YUV422Packed8;
}

DecodedPicture Y4mReader::ReadFrame(int64_t frame) {
  if (frame < 0 || frame >= FrameCount()) {
    char text[96];
    std::snprintf(text, sizeof text, "frame %" PRId64 ": outside the clip of %" PRId64 " frames", frame, FrameCount());
    Fail(E_INVALIDARG, text);
  }
  const FrameEntry& entry = frames_[static_cast<size_t>(frame)];
  char prefix[48];
  std::snprintf(prefix, sizeof prefix, "frame %" PRId64 ": ", frame);
  if (!entry.damage.empty()) {
    const bool truncated = entry.damage.rfind("truncated", 0) == 0;
    Fail(truncated ? HRESULT_FROM_WIN32(ERROR_HANDLE_EOF) : E_FAIL, prefix + entry.damage);
  }
  std::vector<uint8_t> bytes(static_cast<size_t>(frameBytes_));
  if (_fseeki64(file_, entry.offset, SEEK_SET) != 0 || std::fread(bytes.data(), 1, bytes.size(), file_) != bytes.size())
    Fail(HRESULT_FROM_WIN32(ERROR_HANDLE_EOF), std::string(prefix) + "read failed (file changed since it was opened?)");

  const int bytesPerSample = depth_ > 8 ? 2 : 1;
  const uint32_t maxValue = (1u << depth_) - 1;
  const int shift = 16 - depth_;
  auto sample = [&](const uint8_t* plane, int64_t index) -> uint16_t {
    uint32_t v = bytesPerSample == 2 ? uint32_t{plane[2 * index]} | uint32_t{plane[2 * index + 1]} << 8 : plane[index];
    return static_cast<uint16_t>(std::min(v, maxValue) << shift);
  };
  const int64_t lumaCount = int64_t{width_} * height_;
  const int64_t cw = (width_ + (1 << chromaShiftX_) - 1) >> chromaShiftX_;
  const int64_t ch = (height_ + (1 << chromaShiftY_) - 1) >> chromaShiftY_;
  const uint8_t* yPlane = bytes.data();
  const uint8_t* uPlane = yPlane + lumaCount * bytesPerSample;
  const uint8_t* vPlane = uPlane + cw * ch * bytesPerSample;
  const uint8_t* aPlane = mono_ ? nullptr : vPlane + cw * ch * bytesPerSample;
  const uint16_t neutral = static_cast<uint16_t>(128u << 8);

  DecodedPicture picture;
  picture.width = width_;
  picture.height = height_;
  picture.color = fullRange_ ? PictureColor::YuvFull : PictureColor::YuvLimited;
  picture.samples.resize(static_cast<size_t>(lumaCount));
  for (int32_t y = 0; y < height_; ++y) {
    PictureSample* row = picture.Row(y);
    const int64_t chromaRow = (y >> chromaShiftY_) * cw;
    for (int32_t x = 0; x < width_; ++x) {
      const int64_t i = int64_t{y} * width_ + x;
      PictureSample& s = row[x];
      s.c[0] = sample(yPlane, i);
      if (mono_) {
        s.c[1] = s.c[2] = neutral;
      } else {
        const int64_t c = chromaRow + (x >> chromaShiftX_);
        s.c[1] = sample(uPlane, c);
        s.c[2] = sample(vPlane, c);
      }
      s.alpha = alpha_ ? static_cast<uint16_t>(aPlane[i] * 257) : 0xFFFF;
    }
  }
  return picture;
}

}  // namespace vmedia
