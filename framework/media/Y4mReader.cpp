#include "Y4mReader.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace vmedia {
namespace {

constexpr size_t kMaxHeaderLine = 4096;
constexpr size_t kMaxFrameLine = 1024;
constexpr size_t kBufferSize = 64 * 1024;
constexpr int64_t kMaxSide = 16384;
constexpr int64_t kMaxRatioTerm = 0x7FFFFFFF;  // rates travel on as 32-bit numbers

// Digits only, at least one, at most max.
bool ParseDecimal(std::string_view text, int64_t max, int64_t* value) {
  if (text.empty()) return false;
  int64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
    if (v > max) return false;
  }
  *value = v;
  return true;
}

// "N:D", both decimal.
bool ParseRatio(std::string_view text, int64_t* numerator, int64_t* denominator) {
  const size_t colon = text.find(':');
  return colon != std::string_view::npos && ParseDecimal(text.substr(0, colon), kMaxRatioTerm, numerator) &&
         ParseDecimal(text.substr(colon + 1), kMaxRatioTerm, denominator);
}

std::string AtByte(int64_t offset) {
  char text[40];
  std::snprintf(text, sizeof text, " at byte %" PRId64, offset);
  return text;
}

std::string FramePrefix(int64_t frame) {
  char text[48];
  std::snprintf(text, sizeof text, "frame %" PRId64 ": ", frame);
  return text;
}

}  // namespace

Y4mReader::Y4mReader(std::unique_ptr<Y4mInput> input, std::string name)
    : input_(std::move(input)), name_(std::move(name)), stream_(input_->Size() < 0), buffer_(kBufferSize) {
  std::string header;
  if (!ReadLine(kMaxHeaderLine, &header)) {
    if (header.empty()) Fail(E_FAIL, "not a Y4M file (no header line)");
    if (header.rfind("YUV4MPEG2", 0) != 0) Fail(E_FAIL, "not a Y4M file (no YUV4MPEG2 signature)");
    Fail(E_FAIL, "header: no end of line within " + std::to_string(kMaxHeaderLine) + " bytes");
  }
  ParseHeader(header);
  if (!stream_) IndexFrames(static_cast<int64_t>(header.size()) + 1);
}

std::unique_ptr<Y4mReader> Y4mReader::Open(const std::string& path) {
  if (path == "-") return std::make_unique<Y4mReader>(StandardInputY4m(), "standard input");
  std::unique_ptr<Y4mInput> file = OpenY4mFile(path);
  if (!file) throw MediaError{kFileNotFound, path + ": cannot open the file"};
  return std::make_unique<Y4mReader>(std::move(file), path);
}

void Y4mReader::Fail(HRESULT code, const std::string& text) const { throw MediaError{code, name_ + ": " + text}; }

void Y4mReader::ParseHeader(const std::string& line) {
  if (line.rfind("YUV4MPEG2", 0) != 0) Fail(E_FAIL, "not a Y4M file (no YUV4MPEG2 signature)");
  std::string colorspace = "420jpeg";
  size_t colorspaceAt = 0;
  bool widthSeen = false, heightSeen = false;
  size_t pos = std::strlen("YUV4MPEG2");
  while (pos < line.size()) {
    if (line[pos] != ' ') Fail(E_FAIL, "header: parameters must be separated by spaces" + AtByte(pos));
    while (pos < line.size() && line[pos] == ' ') ++pos;
    if (pos == line.size()) break;
    const size_t end = std::min(line.find(' ', pos), line.size());
    const std::string_view token(line.data() + pos, end - pos);
    const std::string_view value = token.substr(1);
    const std::string where = AtByte(static_cast<int64_t>(pos));
    const std::string named = std::string(token) + where;
    int64_t n = 0, d = 0;
    switch (token[0]) {
      case 'W':
        if (!ParseDecimal(value, kMaxSide, &n) || n < 1)
          Fail(E_FAIL, "header: width out of range (1..16384): " + named);
        width_ = static_cast<int32_t>(n);
        widthSeen = true;
        break;
      case 'H':
        if (!ParseDecimal(value, kMaxSide, &n) || n < 1)
          Fail(E_FAIL, "header: height out of range (1..16384): " + named);
        height_ = static_cast<int32_t>(n);
        heightSeen = true;
        break;
      case 'F':
        if (!ParseRatio(value, &n, &d) || n <= 0 || d <= 0) Fail(E_FAIL, "header: bad frame rate " + named);
        rate_ = {n, d, 0, 0};
        break;
      case 'A':
        if (!ParseRatio(value, &n, &d)) Fail(E_FAIL, "header: bad pixel aspect ratio " + named);
        aspect_ = n > 0 && d > 0 ? VarnicaPixelAspectRatio{n, d} : VarnicaPixelAspectRatio{1, 1};  // 0:0: unknown
        break;
      case 'I':
        if (value == "t") {
          interlace_ = VideoInterlace_TopFieldFirst;
        } else if (value == "b") {
          interlace_ = VideoInterlace_BottomFieldFirst;
        } else if (value == "p" || value == "m") {
          interlace_ = VideoInterlace_Progressive;  // mixed clips are read as frames
        } else {
          Fail(E_FAIL, "header: bad interlace mode " + named + " (Ip, It, Ib or Im)");
        }
        break;
      case 'C':
        colorspace = value;
        colorspaceAt = pos;
        break;
      case 'X':
        if (value == "COLORRANGE=FULL") fullRange_ = true;
        break;
      default:
        break;  // the format allows parameters it does not name
    }
    pos = end;
  }
  if (!widthSeen || !heightSeen) Fail(E_FAIL, "header: width and height missing (W and H)");

  // Colour space: family (subsampling), then its variant or bit depth ("420mpeg2", "422p10", "mono16").
  std::string_view depthText;
  const std::string_view cs = colorspace;
  auto unsupported = [&] {
    Fail(E_UNSUPPORTED, "header: colour space C" + colorspace + " is not supported" + AtByte(colorspaceAt));
  };
  if (cs.rfind("420", 0) == 0) {
    const std::string_view variant = cs.substr(3);
    if (variant.rfind("p", 0) == 0)
      depthText = variant.substr(1);
    else if (!variant.empty() && variant != "jpeg" && variant != "paldv" && variant != "mpeg2")
      unsupported();  // the others name chroma siting only
  } else if (cs.rfind("422", 0) == 0 || cs.rfind("444", 0) == 0) {
    chromaShiftX_ = cs[1] == '2' ? 1 : 0;
    chromaShiftY_ = 0;
    const std::string_view variant = cs.substr(3);
    if (cs == "444alpha")
      alpha_ = true;
    else if (variant.rfind("p", 0) == 0)
      depthText = variant.substr(1);
    else if (!variant.empty())
      unsupported();
  } else if (cs.rfind("mono", 0) == 0) {
    mono_ = true;
    depthText = cs.substr(4);
  } else {
    unsupported();
  }
  if (!depthText.empty()) {
    int64_t depth = 0;
    if (!ParseDecimal(depthText, 16, &depth) || depth < 8) unsupported();
    depth_ = static_cast<int>(depth);
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

bool Y4mReader::SeekTo(int64_t offset) {
  bufferPos_ = bufferEnd_ = 0;
  if (!input_->Seek(offset)) return false;
  position_ = offset;
  return true;
}

bool Y4mReader::ReadLine(size_t limit, std::string* line) {
  line->clear();
  while (line->size() < limit) {
    if (bufferPos_ == bufferEnd_) {
      bufferPos_ = 0;
      bufferEnd_ = input_->Read(buffer_.data(), buffer_.size());
      if (bufferEnd_ == 0) return false;
    }
    const uint8_t c = buffer_[bufferPos_++];
    ++position_;
    if (c == '\n') return true;
    line->push_back(static_cast<char>(c));
  }
  return false;
}

size_t Y4mReader::ReadBytes(uint8_t* out, size_t size) {
  size_t done = std::min(size, bufferEnd_ - bufferPos_);
  std::memcpy(out, buffer_.data() + bufferPos_, done);
  bufferPos_ += done;
  // Frame samples go straight to their place; the buffer is for the short lines between them.
  while (done < size) {
    const size_t got = input_->Read(out + done, size - done);
    if (got == 0) break;
    done += got;
  }
  position_ += static_cast<int64_t>(done);
  return done;
}

std::string Y4mReader::ReadMarker(bool* ended) {
  const int64_t start = position_;
  std::string line;
  const bool whole = ReadLine(kMaxFrameLine, &line);
  *ended = !whole && line.empty();
  if (*ended) return "the clip ends here";
  if (!whole) return "frame header has no end of line" + AtByte(start);
  // "FRAME", then nothing or parameters after a space.
  if (line.rfind("FRAME", 0) != 0 || (line.size() > 5 && line[5] != ' '))
    return "no FRAME marker where the frame should start" + AtByte(start);
  return std::string();
}

void Y4mReader::IndexFrames(int64_t offset) {
  const int64_t size = input_->Size();
  while (offset < size) {
    if (!SeekTo(offset)) {
      frames_.push_back({offset, "cannot move to the frame" + AtByte(offset)});
      return;
    }
    bool ended = false;
    const std::string damage = ReadMarker(&ended);
    if (!damage.empty()) {
      frames_.push_back({offset, damage});
      return;
    }
    const int64_t data = position_;
    if (frameBytes_ > size - data) {
      char text[96];
      std::snprintf(text, sizeof text, "truncated (%" PRId64 " of %" PRId64 " bytes)", size - data, frameBytes_);
      frames_.push_back({data, text + AtByte(data)});
      return;
    }
    frames_.push_back({data, ""});
    offset = data + frameBytes_;
  }
}

const std::vector<uint8_t>& Y4mReader::StreamFrame(int64_t frame) {
  if (frame == cachedFrame_) return cached_;
  if (frame < next_) {
    char text[128];
    std::snprintf(text, sizeof text, "a stream is read once, front to back (frame %" PRId64 " was read last)",
                  next_ - 1);
    Fail(E_INVALIDARG, FramePrefix(frame) + text);
  }
  cachedFrame_ = -1;
  cached_.resize(static_cast<size_t>(frameBytes_));
  while (next_ <= frame) {
    bool ended = false;
    const std::string damage = ReadMarker(&ended);
    if (ended) {
      char text[96];
      std::snprintf(text, sizeof text, "the stream ended after %" PRId64 " frames", next_);
      Fail(kEndOfStream, FramePrefix(frame) + text);
    }
    if (!damage.empty()) Fail(E_FAIL, FramePrefix(next_) + damage);
    // Frames before the one asked for are read into the same place and dropped.
    const int64_t data = position_;
    const size_t got = ReadBytes(cached_.data(), cached_.size());
    if (got < cached_.size()) {
      char text[96];
      std::snprintf(text, sizeof text, "truncated (%zu of %" PRId64 " bytes)", got, frameBytes_);
      Fail(kEndOfFile, FramePrefix(next_) + text + AtByte(data));
    }
    ++next_;
  }
  cachedFrame_ = frame;
  return cached_;
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
  if (stream_) {
    if (frame < 0) Fail(E_INVALIDARG, FramePrefix(frame) + "outside the stream");
    return Decode(StreamFrame(frame));
  }
  if (frame < 0 || frame >= FrameCount()) {
    char text[96];
    std::snprintf(text, sizeof text, "outside the clip of %" PRId64 " frames", FrameCount());
    Fail(E_INVALIDARG, FramePrefix(frame) + text);
  }
  const FrameEntry& entry = frames_[static_cast<size_t>(frame)];
  if (!entry.damage.empty()) {
    const bool truncated = entry.damage.rfind("truncated", 0) == 0;
    Fail(truncated ? kEndOfFile : E_FAIL, FramePrefix(frame) + entry.damage);
  }
  std::vector<uint8_t> bytes(static_cast<size_t>(frameBytes_));
  if (!SeekTo(entry.offset) || ReadBytes(bytes.data(), bytes.size()) != bytes.size())
    Fail(kEndOfFile, FramePrefix(frame) + "read failed (file changed since it was opened?)" + AtByte(entry.offset));
  return Decode(bytes);
}

DecodedPicture Y4mReader::Decode(const std::vector<uint8_t>& bytes) const {
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
  const uint8_t* uPlane = mono_ ? nullptr : yPlane + lumaCount * bytesPerSample;
  const uint8_t* vPlane = mono_ ? nullptr : uPlane + cw * ch * bytesPerSample;
  const uint8_t* aPlane = alpha_ ? vPlane + cw * ch * bytesPerSample : nullptr;
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
