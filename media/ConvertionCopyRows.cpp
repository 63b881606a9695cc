#include "ConvertionCopyRows.h"

namespace {
constexpr char kSourceFile[] = "src/ConvertionCopyRows";

void CheckPlanes(const convertion::PlaneBytes& planes, const CpuVidFrameMemory& frame, int32_t width) {
  for (int32_t k = 0; k < planes.count; ++k) {
    const int64_t rowBytes = int64_t{width} * planes.bytesPerPixel[k];
    if (frame.planes[k].data == nullptr) mediahost::RaiseFailure(E_POINTER, MEDIA_LOC, "src, tar Plane");
    if (frame.planes[k].pitch < rowBytes || frame.planes[k].pitch < 0)
      mediahost::RaiseFailure(E_INVALIDARG, MEDIA_LOC, "src, tar Pitch");
  }
}
}  // namespace

namespace convertion {

void CheckKernelFrames(const KernelShape& shape, const CpuVidFrameMemory& source, const CpuVidFrameMemory& target) {
  // The source must be one of the family's sources and the target one of its targets.
  bool knownSource = false, knownTarget = false;
  for (int32_t i = 0; i < shape.pairCount; ++i) {
    knownSource = knownSource || varnica::SameGuid(*shape.pairs[i].source, source.format);
    knownTarget = knownTarget || varnica::SameGuid(*shape.pairs[i].target, target.format);
  }
  if (!knownSource || !knownTarget || source.width != target.width || source.height != target.height || source.width < 1 ||
      source.height < 1) {
    mediahost::RaiseFailure(E_INVALIDARG, MEDIA_LOC, "src, tar Format/Size");
  }
  const int32_t width = KernelWidth(shape, source.width);
  CheckPlanes(shape.source, source, width);
  CheckPlanes(shape.target, target, width);
}

}  // namespace convertion
