// Y4M (YUV4MPEG2) clips read from disk: 4:2:0, 4:2:2, 4:4:4 (with or without alpha) and mono,
// 8 to 16 bits. Frames are found once at open, so any frame can be read by number.
#pragma once
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "DecodedPicture.h"
#include "VarnicaMedia.h"

namespace vmedia {

class Y4mReader {
 public:
  // Raises (with the file name in the text) when the file cannot be opened, its header is
  // malformed or its colour space is not one of the above.
  explicit Y4mReader(const std::string& path);
  ~Y4mReader();
  Y4mReader(const Y4mReader&) = delete;
  Y4mReader& operator=(const Y4mReader&) = delete;

  int32_t Width() const { return width_; }
  int32_t Height() const { return height_; }
  VarnicaFrameRate FrameRate() const { return rate_; }
  VarnicaPixelAspectRatio PixelAspectRatio() const { return aspect_; }
  int16_t Interlace() const { return interlace_; }
  // The frames found; a damaged last frame counts, so reading it reports the damage.
  int64_t FrameCount() const { return static_cast<int64_t>(frames_.size()); }
  // Samples in video range (Y 16..235): so unless the header says XCOLORRANGE=FULL.
  bool VideoRange() const { return !fullRange_; }
  // The media format that holds the file's samples without loss of chroma resolution on rows
  // (4:2:0 is delivered as 4:2:2) or of bit depth.
  GUID NativeFormat() const;

  // Raises "<file>: frame <n>: ..." for a frame that is truncated or malformed.
  DecodedPicture ReadFrame(int64_t frame);

 private:
  struct FrameEntry {
    int64_t offset;      // first byte of the frame's samples
    std::string damage;  // empty for a good frame
  };
  void ParseHeader(const std::string& line);
  void IndexFrames(int64_t start);
  [[noreturn]] void Fail(HRESULT code, const std::string& text) const;

  std::string path_;
  std::FILE* file_ = nullptr;
  int64_t fileSize_ = 0;
  int32_t width_ = 0;
  int32_t height_ = 0;
  VarnicaFrameRate rate_{25, 1, 0, 0};
  VarnicaPixelAspectRatio aspect_{1, 1};
  int16_t interlace_ = VideoInterlace_Progressive;
  int chromaShiftX_ = 1;  // log2 of the horizontal chroma subsampling
  int chromaShiftY_ = 1;
  bool mono_ = false;
  bool alpha_ = false;
  int depth_ = 8;
  bool fullRange_ = false;
  int64_t frameBytes_ = 0;
  std::vector<FrameEntry> frames_;
};

}  // namespace vmedia
