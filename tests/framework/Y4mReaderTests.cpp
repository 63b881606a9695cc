// The media stand-in's Y4M reader and the decoder's request checks on their own, natively under
// the sanitizers: every rejected input names what is wrong and where, and a stream gives the same
// pictures as a file of the same bytes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DecoderRequest.h"
#include "Y4mReader.h"

using namespace vmedia;

namespace {

std::string Bytes(size_t count, int base) {
  std::string s;
  for (size_t i = 0; i < count; ++i) s.push_back(static_cast<char>(base + 7 * i));
  return s;
}

std::unique_ptr<Y4mReader> Reader(const std::string& content, bool seekable) {
  return std::make_unique<Y4mReader>(
      MemoryY4m(reinterpret_cast<const uint8_t*>(content.data()), content.size(), seekable), "clip");
}

// The failure of f: its code and text (code 0 when it did not fail).
template <class F>
MediaError FailureOf(F&& f) {
  try {
    f();
  } catch (const MediaError& e) {
    return e;
  }
  return {S_OK, ""};
}

struct Rejection {
  const char* content;
  HRESULT code;
  const char* text;  // what the failure says, from the clip's name on
};

TEST(Y4mReader, MalformedHeadersAreRefusedNamingTheParameterAndItsByte) {
  const Rejection cases[] = {
      {"", E_FAIL, "clip: not a Y4M file (no header line)"},
      {"P6\n4 2\n", E_FAIL, "clip: not a Y4M file (no YUV4MPEG2 signature)"},
      {"YUV4MPEG2W4 H2\n", E_FAIL, "clip: header: parameters must be separated by spaces at byte 9"},
      {"YUV4MPEG2 W4\n", E_FAIL, "clip: header: width and height missing (W and H)"},
      {"YUV4MPEG2 W0 H2\n", E_FAIL, "clip: header: width out of range (1..16384): W0 at byte 10"},
      {"YUV4MPEG2 W4 H16385\n", E_FAIL, "clip: header: height out of range (1..16384): H16385 at byte 13"},
      {"YUV4MPEG2 W12abc H2\n", E_FAIL, "clip: header: width out of range (1..16384): W12abc at byte 10"},
      {"YUV4MPEG2 W99999999999999999999 H2\n", E_FAIL, "clip: header: width out of range"},
      {"YUV4MPEG2 W4 H2 F25:0\n", E_FAIL, "clip: header: bad frame rate F25:0 at byte 16"},
      {"YUV4MPEG2 W4 H2 F4294967296:1\n", E_FAIL, "clip: header: bad frame rate F4294967296:1 at byte 16"},
      {"YUV4MPEG2 W4 H2 A1:x\n", E_FAIL, "clip: header: bad pixel aspect ratio A1:x at byte 16"},
      {"YUV4MPEG2 W4 H2 Iq\n", E_FAIL, "clip: header: bad interlace mode Iq at byte 16 (Ip, It, Ib or Im)"},
      {"YUV4MPEG2 W4 H2 C411\n", E_UNSUPPORTED, "clip: header: colour space C411 is not supported at byte 16"},
      {"YUV4MPEG2 W4 H2 C420p7\n", E_UNSUPPORTED, "clip: header: colour space C420p7 is not supported"},
      {"YUV4MPEG2 W4 H2 C444p10x\n", E_UNSUPPORTED, "clip: header: colour space C444p10x is not supported"},
      {"YUV4MPEG2 W4 H2 C422p17\n", E_UNSUPPORTED, "clip: header: colour space C422p17 is not supported"},
      {"YUV4MPEG2 W4 H2 C420mpeg\n", E_UNSUPPORTED, "clip: header: colour space C420mpeg is not supported"},
  };
  for (const Rejection& c : cases) {
    for (bool seekable : {true, false}) {
      const MediaError e = FailureOf([&] { Reader(c.content, seekable); });
      EXPECT_EQ(c.code, e.code) << c.content;
      EXPECT_EQ(0u, e.text.find(c.text)) << e.text;
    }
  }
  const MediaError e = FailureOf([] { Reader("YUV4MPEG2 W4 H2 X" + std::string(5000, 'x') + "\n", true); });
  EXPECT_EQ("clip: header: no end of line within 4096 bytes", e.text);
}

TEST(Y4mReader, DamagedFramesAreRefusedNamingTheFrameAndItsByte) {
  const std::string header = "YUV4MPEG2 W4 H2 F25:1 C422\n";  // 16 sample bytes per frame, header 27 bytes
  const std::string frame = "FRAME\n" + Bytes(16, 1);
  const struct {
    std::string content;
    int64_t frame;
    HRESULT code;
    const char* text;
  } cases[] = {
      {header + frame + "FRAMX\n" + Bytes(16, 0), 1, E_FAIL,
       "clip: frame 1: no FRAME marker where the frame should start at byte 49"},
      {header + frame + "FRAMES\n" + Bytes(16, 0), 1, E_FAIL, "clip: frame 1: no FRAME marker"},
      {header + "FRAME", 0, E_FAIL, "clip: frame 0: frame header has no end of line at byte 27"},
      {header + frame + "FRAME Ixyz\n" + Bytes(5, 0), 1, kEndOfFile,
       "clip: frame 1: truncated (5 of 16 bytes) at byte 60"},
  };
  for (const auto& c : cases) {
    for (bool seekable : {true, false}) {
      auto reader = Reader(c.content, seekable);
      if (c.frame > 0) {
        EXPECT_NO_THROW(reader->ReadFrame(c.frame - 1));
      }
      const MediaError e = FailureOf([&] { reader->ReadFrame(c.frame); });
      EXPECT_EQ(c.code, e.code) << c.text << (seekable ? " (file)" : " (stream)");
      EXPECT_EQ(c.text, e.text.substr(0, std::string(c.text).size())) << e.text;
    }
  }
}

TEST(Y4mReader, AStreamIsReadOnceFrontToBackAndEndsCleanly) {
  const std::string clip =
      "YUV4MPEG2 W4 H2 C422\nFRAME\n" + Bytes(16, 1) + "FRAME\n" + Bytes(16, 2) + "FRAME\n" + Bytes(16, 3);
  auto stream = Reader(clip, false);
  EXPECT_EQ(-1, stream->FrameCount());
  EXPECT_NO_THROW(stream->ReadFrame(1));  // frame 0 is passed over
  EXPECT_NO_THROW(stream->ReadFrame(1));  // the last frame read can be asked again
  MediaError e = FailureOf([&] { stream->ReadFrame(0); });
  EXPECT_EQ(E_INVALIDARG, e.code);
  EXPECT_EQ("clip: frame 0: a stream is read once, front to back (frame 1 was read last)", e.text);
  EXPECT_NO_THROW(stream->ReadFrame(2));
  e = FailureOf([&] { stream->ReadFrame(3); });
  EXPECT_EQ(kEndOfStream, e.code);
  EXPECT_EQ("clip: frame 3: the stream ended after 3 frames", e.text);

  auto file = Reader(clip, true);
  EXPECT_EQ(3, file->FrameCount());
  e = FailureOf([&] { file->ReadFrame(3); });
  EXPECT_EQ(E_INVALIDARG, e.code);
  EXPECT_EQ("clip: frame 3: outside the clip of 3 frames", e.text);
}

TEST(Y4mReader, StreamAndFileOfTheSameBytesGiveTheSamePictures) {
  // Odd sizes round chroma up; 10-bit samples are two bytes; alpha and mono planes.
  const struct {
    const char* colorspace;
    size_t bytes;  // per frame at 5 x 3
  } cases[] = {{"420jpeg", 15 + 2 * 6}, {"420p10", 2 * (15 + 2 * 6)}, {"422", 15 + 2 * 9},
               {"444alpha", 4 * 15},    {"mono16", 2 * 15},           {"444p12", 2 * 3 * 15}};
  for (const auto& c : cases) {
    const std::string clip = std::string("YUV4MPEG2 W5 H3 F30000:1001 It A4:3 XCOLORRANGE=FULL C") + c.colorspace +
                             "\nFRAME\n" + Bytes(c.bytes, 3) + "FRAME Ib\n" + Bytes(c.bytes, 90);
    auto file = Reader(clip, true);
    auto stream = Reader(clip, false);
    EXPECT_EQ(2, file->FrameCount()) << c.colorspace;
    EXPECT_FALSE(file->VideoRange());
    EXPECT_EQ(VideoInterlace_TopFieldFirst, stream->Interlace());
    EXPECT_EQ(30000, stream->FrameRate().numerator);
    EXPECT_EQ(4, stream->PixelAspectRatio().numerator);
    const DecodedPicture a = file->ReadFrame(1);
    const DecodedPicture b = stream->ReadFrame(1);
    ASSERT_EQ(a.samples.size(), b.samples.size()) << c.colorspace;
    for (size_t i = 0; i < a.samples.size(); ++i) {
      for (int k = 0; k < 3; ++k) EXPECT_EQ(a.samples[i].c[k], b.samples[i].c[k]) << c.colorspace << " sample " << i;
      EXPECT_EQ(a.samples[i].alpha, b.samples[i].alpha);
    }
  }
}

TEST(DecoderRequest, RefusedValuesAreNamedAndMissingOnesTakeTheClips) {
  const ClipFacts clip{MediaFormat_YUV422Packed8, 720, 576, {25, 1, 0, 0}, 250};
  const FrameRequest defaults = ResolveFrameRequest(clip, nullptr, nullptr, nullptr);
  EXPECT_TRUE(defaults.format == MediaFormat_YUV422Packed8);
  EXPECT_EQ(0, defaults.timecode.frame);
  EXPECT_EQ(25, defaults.timecode.rateNumerator);
  EXPECT_EQ(576, defaults.size.height);

  const VarnicaTimecode last{249, 25, 1, 0, 0}, past{250, 25, 1, 0, 0}, negative{-1, 25, 1, 0, 0};
  const VarnicaFrameSize zero{0, 10}, huge{16385, 10};
  const GUID notAFormat{1, 2, 3, {4}};
  const struct {
    const GUID* format;
    const VarnicaTimecode* timecode;
    const VarnicaFrameSize* size;
    int64_t frameCount;
    HRESULT code;
    const char* text;
  } cases[] = {
      {&MediaFormat_RG16, nullptr, nullptr, 250, E_UNSUPPORTED, "GetFrame: format RG16 is not delivered"},
      {&notAFormat, nullptr, nullptr, 250, E_UNSUPPORTED, "GetFrame: format (not a media format) is not delivered"},
      {nullptr, &past, nullptr, 250, E_INVALIDARG, "GetFrame: frame 250 is outside the clip of 250 frames"},
      {nullptr, &negative, nullptr, -1, E_INVALIDARG, "GetFrame: frame -1 is outside the stream"},
      {nullptr, nullptr, &zero, 250, E_INVALIDARG, "GetFrame: FrameSizeProperty 0x10 is out of range (1..16384)"},
      {nullptr, &last, &huge, 250, E_INVALIDARG, "GetFrame: FrameSizeProperty 16385x10 is out of range (1..16384)"},
  };
  for (const auto& c : cases) {
    ClipFacts facts = clip;
    facts.frameCount = c.frameCount;
    const MediaError e = FailureOf([&] { ResolveFrameRequest(facts, c.format, c.timecode, c.size); });
    EXPECT_EQ(c.code, e.code) << c.text;
    EXPECT_EQ(c.text, e.text);
  }
  ClipFacts stream = clip;
  stream.frameCount = -1;
  EXPECT_EQ(250, ResolveFrameRequest(stream, nullptr, &past, nullptr).timecode.frame);  // a stream has no end yet
}

}  // namespace
