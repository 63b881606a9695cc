// Holder of the media module's colour-space service, which converts single colours between
// RGB and YUV (U and V centred on 0) under a colour-space setting. Windows build only: the
// service is found through the framework's registries.
#pragma once
#include <atomic>
#include <wrl/client.h>

#include "VarnicaMedia.h"

class CColorspaceService {
 public:
  CColorspaceService() = default;
  CColorspaceService(const CColorspaceService&) = delete;
  CColorspaceService& operator=(const CColorspaceService&) = delete;

  // Finds the service and its settings once; raises "CreateService" when there is none.
  void CreateService();
  // Selects the colour space of later conversions (creating the service as needed).
  void SetColorspace(const GUID& colorspace);
  // One colour: rgb (R, G, B) -> yuv (Y, U, V).
  void RgbToYuv(const float rgb[3], float yuv[3]);
  // count colours: yuv triples -> rgb triples.
  void YuvToRgb(const float* yuv, float* rgb, int32_t count);

  // The colour space held in a settings value set; E_VALUE_NOT_FOUND when none is set.
  static HRESULT ReadColorspace(IValueSet* settings, GUID* colorspace);

 private:
  class SpinLock;
  void CreateServiceLocked();

  std::atomic<int32_t> lock_{0};  // 0 free, 1 held
  Microsoft::WRL::ComPtr<IMediaColorspaceService> service_;
  Microsoft::WRL::ComPtr<IValueSet> settings_;
};
