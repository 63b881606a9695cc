// Y4M (YUV4MPEG2) clips: 4:2:0, 4:2:2, 4:4:4 (with or without alpha) and mono, 8 to 16 bits,
// from a file (frames found once at open, read in any order) or from a stream such as standard
// input (read once, front to back). Platform-neutral: the native build tests and fuzzes it.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "DecodedPicture.h"
#include "MediaError.h"
#include "VarnicaMediaFormats.h"
#include "VarnicaMediaTypes.h"
#include "Y4mInput.h"

namespace vmedia {

class Y4mReader {
 public:
  // Reads the header (and for a file finds every frame). Raises MediaError, its text starting with
  // name and saying what is wrong and at which byte, when the header is malformed or its colour
  // space is not one of the above.
  Y4mReader(std::unique_ptr<Y4mInput> input, std::string name);
  // A file by path, or standard input for "-".
  static std::unique_ptr<Y4mReader> Open(const std::string& path);

  int32_t Width() const { return width_; }
  int32_t Height() const { return height_; }
  VarnicaFrameRate FrameRate() const { return rate_; }
  VarnicaPixelAspectRatio PixelAspectRatio() const { return aspect_; }
  int16_t Interlace() const { return interlace_; }
  // The frames of a file (a damaged last frame counts, so reading it reports the damage); -1 for
  // a stream, whose length is known only at its end.
  int64_t FrameCount() const { return stream_ ? -1 : static_cast<int64_t>(frames_.size()); }
  // Samples in video range (Y 16..235): so unless the header says XCOLORRANGE=FULL.
  bool VideoRange() const { return !fullRange_; }
  // The media format that holds the samples without loss of chroma resolution on rows (4:2:0 is
  // delivered as 4:2:2) or of bit depth.
  GUID NativeFormat() const;

  // Raises "<name>: frame <n>: ..." for a frame that is truncated, malformed, outside the clip,
  // already passed in a stream (E_INVALIDARG) or beyond a stream's end (kEndOfStream).
  DecodedPicture ReadFrame(int64_t frame);

 private:
  struct FrameEntry {
    int64_t offset;      // first byte of the frame's samples
    std::string damage;  // empty for a good frame
  };
  [[noreturn]] void Fail(HRESULT code, const std::string& text) const;
  void ParseHeader(const std::string& line);
  void IndexFrames(int64_t offset);
  // The marker line of the frame at the reading position: what is wrong with it, or empty;
  // ended when the input ends before it.
  std::string ReadMarker(bool* ended);
  const std::vector<uint8_t>& StreamFrame(int64_t frame);
  DecodedPicture Decode(const std::vector<uint8_t>& bytes) const;

  // Buffered reading: a line (without its '\n') of at most limit bytes; false when the input
  // ends or the limit passes first (line then holds what was read).
  bool ReadLine(size_t limit, std::string* line);
  size_t ReadBytes(uint8_t* out, size_t size);
  bool SeekTo(int64_t offset);

  std::unique_ptr<Y4mInput> input_;
  std::string name_;
  bool stream_;
  std::vector<uint8_t> buffer_;
  size_t bufferPos_ = 0;
  size_t bufferEnd_ = 0;
  int64_t position_ = 0;  // offset of the next byte to read

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
  std::vector<FrameEntry> frames_;  // a file's frames
  int64_t next_ = 0;                // a stream's next unread frame
  int64_t cachedFrame_ = -1;        // a stream's last frame read, kept so it can be asked again
  std::vector<uint8_t> cached_;
};

}  // namespace vmedia
