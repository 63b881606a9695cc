// The media module's video decoder: built-in synthetic clips and Y4M files. Each GetFrame makes
// a new CommonMediaVideoCpuFrame of the requested format, size and frame number, carrying the
// source's properties and the requested timecode.
#include <cinttypes>
#include <memory>
#include <string>

#include "CommonMediaVideoCpuFrame.h"
#include "FisheyeScene.h"
#include "SphereTestPattern.h"
#include "StereoTestPattern.h"
#include "DecoderRequest.h"
#include "TestPattern.h"
#include "Y4mReader.h"

using Microsoft::WRL::ComPtr;

namespace vmedia {
namespace {

constexpr char kSourceFile[] = "framework/media/VarnicaVideoDecoder";
constexpr char kClassName[] = "VarnicaVideoDecoder";

// The built-in clips: ten seconds of PAL-sized frames.
constexpr int32_t kBuiltinWidth = 720;
constexpr int32_t kBuiltinHeight = 576;
constexpr int64_t kBuiltinFrames = 250;

// Runs body, raising the media parts' failures as framework exceptions with their texts.
template <class Body>
auto Raising(Body&& body) -> decltype(body()) {
  try {
    return body();
  } catch (const MediaError& e) {
    vfw::Raise(e.code, FW_LOC, e.text.c_str());
  }
}

class ClipSource {
 public:
  virtual ~ClipSource() = default;
  // The picture of frame (in range) at width by height.
  virtual DecodedPicture Render(int64_t frame, int32_t width, int32_t height) = 0;

  GUID format{};
  int32_t width = 0;
  int32_t height = 0;
  VarnicaFrameRate rate{};
  VarnicaPixelAspectRatio aspect{1, 1};
  int16_t interlace = VideoInterlace_Progressive;
  int64_t frameCount = 0;  // -1 for a stream of unknown length
  int32_t range = ColorRange_Full;
};

class BuiltinClip final : public ClipSource {
 public:
  explicit BuiltinClip(bool interlaced) {
    format = MediaFormat_YUV422Packed8;
    width = kBuiltinWidth;
    height = kBuiltinHeight;
    rate = {25, 1, 0, 0};
    interlace = interlaced ? VideoInterlace_TopFieldFirst : VideoInterlace_Progressive;
    frameCount = kBuiltinFrames;
  }
  DecodedPicture Render(int64_t frame, int32_t w, int32_t h) override {
    // Drawn at the asked size, so every size is sharp.
    return RenderTestPattern(w, h, frame, interlace != VideoInterlace_Progressive);
  }
};

// A labelled grid and straight lines drifting across a wall, seen through a 180-degree radial
// lens: ten seconds of 1920 x 1920 frames, the fisheye's circle touching the frame's sides.
class FisheyeClip final : public ClipSource {
 public:
  FisheyeClip() {
    format = MediaFormat_YUV422Packed8;
    width = 1920;
    height = 1920;
    rate = {25, 1, 0, 0};
    frameCount = kBuiltinFrames;
  }
  DecodedPicture Render(int64_t frame, int32_t w, int32_t h) override {
    return renderer_.Render(w, h, frame, FisheyeClipCamera(w, h));
  }

 private:
  FisheyeSceneRenderer renderer_;
};

// The built-in 360-degree and stereo clips: RGB pictures of a pattern object, ten seconds at 25
// frames per second.
template <class Pattern>
class PatternClip final : public ClipSource {
 public:
  PatternClip(int32_t w, int32_t h, PatternPacking packing) : pattern_(packing) {
    format = MediaFormat_RGBA8;
    width = w;
    height = h;
    rate = {25, 1, 0, 0};
    frameCount = kBuiltinFrames;
  }
  DecodedPicture Render(int64_t frame, int32_t w, int32_t h) override { return pattern_.Render(frame, w, h); }

 private:
  Pattern pattern_;
};

// A Y4M file, or standard input for "-".
class Y4mClip final : public ClipSource {
 public:
  explicit Y4mClip(const std::string& path) : reader_(Raising([&] { return Y4mReader::Open(path); })) {
    format = reader_->NativeFormat();
    width = reader_->Width();
    height = reader_->Height();
    rate = reader_->FrameRate();
    aspect = reader_->PixelAspectRatio();
    interlace = reader_->Interlace();
    frameCount = reader_->FrameCount();
    range = reader_->VideoRange() ? ColorRange_Video : ColorRange_Full;
  }
  DecodedPicture Render(int64_t frame, int32_t w, int32_t h) override {
    DecodedPicture picture = Raising([&] { return reader_->ReadFrame(frame); });
    if (w == picture.width && h == picture.height) return picture;
    return ResizePicture(picture, w, h);
  }

 private:
  std::unique_ptr<Y4mReader> reader_;
};

template <class T>
bool ReadOptional(IValueSet* set, REFGUID key, const GUID& type, T* value, const char* name,
                  const SourceLocation& location) {
  if (set->HasValue(key) != S_OK) return false;
  vfw::Check(set->GetValueData(key, &type, value, sizeof(T)), location, name);
  return true;
}

class VarnicaVideoDecoder final : public vfw::FrameworkObject<IVideoDecoder> {
 public:
  VarnicaVideoDecoder() : FrameworkObject(CLSID_VarnicaVideoDecoder, kClassName, true) {}

  static HRESULT CreateInstance(REFIID iid, void** ppv) {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    VarnicaVideoDecoder* decoder = new (std::nothrow) VarnicaVideoDecoder();
    if (decoder == nullptr) return E_OUTOFMEMORY;
    const HRESULT hr = decoder->QueryInterface(iid, ppv);
    decoder->Release();
    return hr;
  }

  HRESULT STDMETHODCALLTYPE GetObject(REFGUID, REFIID, void** ppv) override {
    return vfw::Guarded([&]() -> HRESULT {
      vfw::CheckPointer(ppv, FW_LOC, "ppv");
      *ppv = nullptr;
      CheckNotDisposed(FW_LOC, "GetObject");
      return E_UNSUPPORTED;
    });
  }

  // The source's properties: format, size, frame rate, pixel aspect ratio, interlace, frame count.
  HRESULT STDMETHODCALLTYPE GetValueSet(IValueSet** valueSet) override {
    return vfw::Guarded([&] {
      vfw::CheckPointer(valueSet, FW_LOC, "valueSet");
      *valueSet = nullptr;
      CheckNotDisposed(FW_LOC, "GetValueSet");
      std::lock_guard<std::mutex> hold(lock_);
      if (!properties_) {
        vfw::Check(
            CreateClassObject(CLSID_ValueSet, IID_IValueSet, reinterpret_cast<void**>(properties_.GetAddressOf())),
            FW_LOC, "CreateClassObject");
        if (source_) Describe(*source_, properties_.Get());
      }
      *valueSet = ComPtr<IValueSet>(properties_).Detach();
      return S_OK;
    });
  }

  HRESULT STDMETHODCALLTYPE Open(const char* source) override {
    return vfw::Guarded([&] {
      vfw::CheckPointer(source, FW_LOC, "source");
      CheckNotDisposed(FW_LOC, "Open");
      const std::string name = source;
      std::unique_ptr<ClipSource> clip;
      if (name == "builtin:progressive") {
        clip = std::make_unique<BuiltinClip>(false);
      } else if (name == "builtin:interlaced") {
        clip = std::make_unique<BuiltinClip>(true);
      } else if (name == "builtin:fisheye") {
        clip = std::make_unique<FisheyeClip>();
      } else if (name == "builtin:sphere") {
        clip = std::make_unique<PatternClip<SpherePattern>>(2048, 1024, PatternPacking::Mono);
      } else if (name == "builtin:sphere-lr") {
        clip = std::make_unique<PatternClip<SpherePattern>>(4096, 1024, PatternPacking::LeftRight);
      } else if (name == "builtin:sphere-tb") {
        clip = std::make_unique<PatternClip<SpherePattern>>(2048, 2048, PatternPacking::TopBottom);
      } else if (name == "builtin:stereo") {
        clip = std::make_unique<PatternClip<StereoPattern>>(2048, 1024, PatternPacking::LeftRight);
      } else if (name == "builtin:stereo-tb") {
        clip = std::make_unique<PatternClip<StereoPattern>>(1024, 2048, PatternPacking::TopBottom);
      } else if (name.rfind("builtin:", 0) == 0) {
        const std::string text = "Open: unknown built-in clip " + name;
        vfw::Raise(E_INVALIDARG, FW_LOC, text.c_str());
      } else {
        clip = std::make_unique<Y4mClip>(name);
      }
      // Properties are described anew: a set handed out before keeps the old source's values.
      ComPtr<IValueSet> properties;
      vfw::Check(CreateClassObject(CLSID_ValueSet, IID_IValueSet, reinterpret_cast<void**>(properties.GetAddressOf())),
                 FW_LOC, "CreateClassObject");
      Describe(*clip, properties.Get());
      std::lock_guard<std::mutex> hold(lock_);
      source_ = std::move(clip);
      properties_ = properties;
      return S_OK;
    });
  }

  HRESULT STDMETHODCALLTYPE GetFrame(IValueSet* request, REFIID iid, void** ppFrame) override {
    return vfw::Guarded([&] {
      vfw::CheckPointer(ppFrame, FW_LOC, "ppFrame");
      *ppFrame = nullptr;
      vfw::CheckPointer(request, FW_LOC, "request");
      CheckNotDisposed(FW_LOC, "GetFrame");
      // One frame at a time: a file source has one read position.
      std::lock_guard<std::mutex> hold(lock_);
      if (!source_) vfw::Raise(E_FAIL, FW_LOC, "GetFrame: no source opened");
      const ClipSource& source = *source_;

      const ClipFacts facts{source.format, source.width, source.height, source.rate, source.frameCount};
      GUID format{};
      VarnicaTimecode timecode{};
      VarnicaFrameSize size{};
      const bool hasFormat = ReadOptional(request, FrameFormat, GuidValueType, &format, "FrameFormat", FW_LOC);
      const bool hasTimecode =
          ReadOptional(request, TimecodeProperty, TimecodeValueType, &timecode, "TimecodeProperty", FW_LOC);
      const bool hasSize =
          ReadOptional(request, FrameSizeProperty, FrameSizeValueType, &size, "FrameSizeProperty", FW_LOC);
      const FrameRequest asked = Raising([&] {
        return ResolveFrameRequest(facts, hasFormat ? &format : nullptr, hasTimecode ? &timecode : nullptr,
                                   hasSize ? &size : nullptr);
      });
      format = asked.format;
      timecode = asked.timecode;
      size = asked.size;

      const DecodedPicture picture = source_->Render(timecode.frame, size.width, size.height);

      ComPtr<ICommonMediaVideoCpuFrame> made;
      vfw::Check(CommonMediaVideoCpuFrame::CreateInstance(IID_ICommonMediaVideoCpuFrame,
                                                          reinterpret_cast<void**>(made.GetAddressOf())),
                 FW_LOC, "CreateCommonMediaVideoCpuFrame");
      CommonMediaVideoCpuFrame* frame = static_cast<CommonMediaVideoCpuFrame*>(made.Get());
      vfw::Check(frame->Create1(&format, size.width, size.height), FW_LOC, "Create1");
      vfw::Check(WritePicture(picture, frame->Memory()), FW_LOC, "WritePicture");
      vfw::Check(frame->SetValueData(TimecodeProperty, &TimecodeValueType, &timecode, sizeof timecode), FW_LOC,
                 "TimecodeProperty");
      vfw::Check(frame->SetValueData(FrameRateProperty, &FrameRateProperty, &source.rate, sizeof source.rate), FW_LOC,
                 "FrameRateProperty");
      vfw::Check(frame->SetValueData(PixelAspectRatioProperty, &PixelAspectRatioValueType, &source.aspect,
                                     sizeof source.aspect),
                 FW_LOC, "PixelAspectRatioProperty");
      vfw::Check(frame->SetValueData(VideoInterlaceProperty, &VideoInterlaceProperty, &source.interlace,
                                     sizeof source.interlace),
                 FW_LOC, "VideoInterlaceProperty");
      // RGB frames are made full range; YUV ones keep the source's samples and so its range.
      const int32_t range = IsRgbFormat(format) ? ColorRange_Full : source.range;
      vfw::Check(frame->SetValueData(ColorRangeProperty, &Int32ValueType, &range, sizeof range), FW_LOC,
                 "ColorRangeProperty");
      return frame->QueryInterface(iid, ppFrame);
    });
  }

 private:
  ~VarnicaVideoDecoder() override = default;
  bool ServesMain(REFIID iid) const override {
    return varnica::SameGuid(iid, IID_IVideoDecoder) || varnica::SameGuid(iid, IID_IVarnicaObject) ||
           varnica::SameGuid(iid, IID_IVarnicaObjectBase);
  }
  void OnDispose() override {
    std::lock_guard<std::mutex> hold(lock_);
    source_.reset();  // closes the file
  }

  static void Describe(const ClipSource& source, IValueSet* set) {
    const VarnicaFrameSize size{source.width, source.height};
    // A stream's length is known only at its end: it has no frame count.
    const int32_t count = static_cast<int32_t>(std::min<int64_t>(source.frameCount, INT32_MAX));
    vfw::Check(set->SetValueData(FrameFormat, &GuidValueType, &source.format, 16), FW_LOC, "FrameFormat");
    vfw::Check(set->SetValueData(FrameSizeProperty, &FrameSizeValueType, &size, 8), FW_LOC, "FrameSizeProperty");
    vfw::Check(set->SetValueData(FrameRateProperty, &FrameRateProperty, &source.rate, 24), FW_LOC, "FrameRateProperty");
    vfw::Check(set->SetValueData(PixelAspectRatioProperty, &PixelAspectRatioValueType, &source.aspect, 16), FW_LOC,
               "PixelAspectRatioProperty");
    vfw::Check(set->SetValueData(VideoInterlaceProperty, &VideoInterlaceProperty, &source.interlace, 2), FW_LOC,
               "VideoInterlaceProperty");
    if (source.frameCount >= 0)
      vfw::Check(set->SetValueData(FrameCountProperty, &Int32ValueType, &count, 4), FW_LOC, "FrameCountProperty");
    vfw::Check(set->SetValueData(ColorRangeProperty, &Int32ValueType, &source.range, 4), FW_LOC, "ColorRangeProperty");
  }

  std::mutex lock_;
  std::unique_ptr<ClipSource> source_;
  ComPtr<IValueSet> properties_;
};

// Creatable through the core's CreateClassObject from the moment the media module is loaded.
struct DecoderClassRegistration {
  DecoderClassRegistration() {
    VarnicaRegisterClassFactory(&CLSID_VarnicaVideoDecoder, &VarnicaVideoDecoder::CreateInstance, kClassName);
  }
} g_decoderClass;

}  // namespace
}  // namespace vmedia
