// The media module's types, identities, objects and exported functions (TamrelVarnicaMedia.dll).
#pragma once
#include "VarnicaCore.h"
#include "VarnicaMediaFormats.h"
#include "VarnicaMediaTypes.h"

// Frame properties (keys and types of value sets)
VARNICA_GUID(TimecodeProperty, 0x70227F94, 0x4F5E, 0x412D, 0x9C, 0xF5, 0x0C, 0xB5, 0x37, 0x1A, 0xC5, 0xDF);
VARNICA_GUID(TimecodeValueType, 0x4E4BDEEE, 0xD77F, 0x4CA7, 0x94, 0x92, 0xA2, 0x84, 0xE8, 0x30, 0x4A, 0x3E);
VARNICA_GUID(FrameFormat, 0x456652B9, 0x2EB7, 0x462A, 0x84, 0xBB, 0x4F, 0x84, 0x46, 0x6B, 0x17, 0x37);
VARNICA_GUID(FrameSizeProperty, 0xA89AAD30, 0xFBA8, 0x43AA, 0xB7, 0x22, 0xA4, 0x4B, 0xF6, 0x42, 0xD8, 0xE2);
VARNICA_GUID(FrameSizeValueType, 0x04838B18, 0x5BB2, 0x4302, 0xAB, 0xFC, 0x3B, 0x40, 0xA9, 0x85, 0x01, 0xE0);
VARNICA_GUID(CVideoFrameCpuMemoryProperty, 0x5165E6CC, 0x0A3C, 0x400C, 0xBB, 0x13, 0xBC, 0x83, 0x45, 0x74, 0x52, 0x26);
VARNICA_GUID(FrameRateProperty, 0xEB64E703, 0x24AB, 0x45F0, 0xB0, 0x87, 0xE8, 0xC9, 0x57, 0xA1, 0x29, 0x2D);
VARNICA_GUID(PixelAspectRatioProperty, 0xACA98ACA, 0x4707, 0x4CC1, 0x90, 0x91, 0x03, 0xE0, 0x2E, 0x2D, 0xC3, 0xB2);
VARNICA_GUID(PixelAspectRatioValueType, 0x9AAA1157, 0xB439, 0x4B43, 0xA6, 0x7E, 0xFD, 0xFD, 0xE0, 0x52, 0x67, 0x26);
VARNICA_GUID(VideoInterlaceProperty, 0xD9B7B3DA, 0xB191, 0x4209, 0xB0, 0x44, 0xF5, 0x47, 0xB6, 0x0F, 0x94, 0x61);
VARNICA_GUID(FramePackingProperty, 0x644D47A5, 0x9A6F, 0x4D0A, 0xB7, 0xA9, 0x59, 0x55, 0x9E, 0xD8, 0x5A, 0x30);
VARNICA_GUID(FramePacking_Default, 0x0D8B79C6, 0x0B13, 0x43B1, 0xB9, 0x6E, 0x5B, 0x6A, 0x3C, 0xE9, 0x92, 0xFC);
// Frames
VARNICA_GUID(IID_ILockObject, 0x65C8DFB0, 0xE5F7, 0x47F2, 0xBF, 0x84, 0x7A, 0x8C, 0xCE, 0x9D, 0xFC, 0xEA);
VARNICA_GUID(IID_IVideoFrame, 0x662C3D00, 0x11B5, 0x4916, 0xA1, 0xA4, 0xBB, 0xCD, 0xFB, 0x33, 0x12, 0xD6);
VARNICA_GUID(CLSID_CommonMediaVideoCpuFrame, 0xF8C47976, 0x0F8D, 0x4A17, 0xBE, 0xBC, 0xED, 0xFA, 0xDB, 0x91, 0x66, 0x10);
VARNICA_GUID(IID_ICommonMediaVideoCpuFrame, 0x92CA7F9E, 0x623C, 0x4AAD, 0x94, 0xD5, 0xB4, 0x02, 0x56, 0xB5, 0x9E, 0x33);
// Decoder of this media module build
VARNICA_GUID(CLSID_VarnicaVideoDecoder, 0x1515E4B6, 0x1906, 0x4B91, 0xA1, 0x52, 0x86, 0x12, 0x32, 0xBE, 0xE3, 0x75);
VARNICA_GUID(IID_IVideoDecoder, 0x8051857D, 0x7462, 0x442A, 0x92, 0xAF, 0x5E, 0x7A, 0xCC, 0xB9, 0x8C, 0x0C);
VARNICA_GUID(FrameCountProperty, 0xE6F9BA24, 0x74FD, 0x457A, 0x8D, 0xEC, 0x32, 0xB3, 0xE4, 0x6E, 0x81, 0x0F);
// Range of a source's YUV samples (Int32ValueType, ColorRange_*), in the decoder's value set and
// on its YUV frames: the CPU conversions read YUV as full range, so video range needs expanding.
VARNICA_GUID(ColorRangeProperty, 0x9FF18C97, 0xB677, 0x463E, 0x9B, 0xA6, 0x40, 0xE8, 0x3D, 0x64, 0x8F, 0xE9);
// Colour-space service
VARNICA_GUID(MediaColorspaceServiceCategory, 0x5515CE22, 0xBF30, 0x42A8, 0x8C, 0xB3, 0x72, 0x50, 0xDF, 0x09, 0x7F, 0xF6);
VARNICA_GUID(IID_IMediaColorspaceService, 0xCEC04018, 0x8A0B, 0x4F3F, 0x87, 0xE1, 0x7F, 0xCC, 0x89, 0x17, 0x3B, 0xA8);
VARNICA_GUID(CLSID_MediaColorspaceService, 0x0AAFEBF5, 0x11A4, 0x496D, 0xB4, 0x57, 0x39, 0x6E, 0x03, 0x70, 0x83, 0x04);
VARNICA_GUID(ColorspaceSettingKey, 0x9849C543, 0x4826, 0x4F72, 0x8A, 0xEB, 0xFD, 0x6B, 0xB3, 0xD1, 0xB1, 0xFA);
VARNICA_GUID(Colorspace_BT601, 0x7E6B99A6, 0xECF0, 0x485D, 0x8F, 0x2E, 0x3A, 0xE8, 0x94, 0x5C, 0x08, 0xC9);
VARNICA_GUID(Colorspace_BT709, 0x7FE23B41, 0x548A, 0x4383, 0x91, 0x90, 0xFA, 0x73, 0xD0, 0xAD, 0xDA, 0x93);
// Spherical-metric service of the display
VARNICA_GUID(MediaDisplaySphericalMetricId, 0x7B441018, 0x51F8, 0x4998, 0x90, 0x5A, 0xD8, 0x1B, 0xEC, 0xFC, 0xB0, 0xF3);
VARNICA_GUID(SphericalMetricCategoryId, 0xF7010AFF, 0xA337, 0x45DE, 0xA3, 0x79, 0x1E, 0xA4, 0x26, 0x39, 0xF0, 0x33);
VARNICA_GUID(CLSID_MediaDisplaySphericalMetric, 0x31179DC4, 0x2270, 0x42FC, 0x98, 0x4A, 0xE3, 0xA0, 0x22, 0xFE, 0x25, 0x47);

// Values of ColorRangeProperty.
enum : int32_t {
  ColorRange_Full = 0,   // Y 0..255, chroma centred on 128 (8-bit units)
  ColorRange_Video = 1,  // Y 16..235, chroma 16..240
};

// Lock flags of ILockObject.
enum : uint32_t {
  LockAccess_Read = 0x1,
  LockAccess_Write = 0x2,
  LockAccess_ReadClass = 0x10,
  LockAccess_WriteClass = 0x20,
};

// Frames whose pixels the CPU can reach: lock, then read CVideoFrameCpuMemoryProperty.
struct ILockObject : IUnknown {
  virtual HRESULT STDMETHODCALLTYPE LockObject(uint32_t flags) = 0;
  virtual HRESULT STDMETHODCALLTYPE UnlockObject() = 0;
};

// The general video frame: its properties are in its value set.
struct IVideoFrame : IVarnicaObject {};

// A video frame in CPU memory.
struct ICommonMediaVideoCpuFrame : IVarnicaObject {
  virtual HRESULT STDMETHODCALLTYPE SetEnabledLockAccess(uint32_t mask) = 0;
  // Use memory described by frame; owner (may be null) is kept alive until the frame is destroyed.
  virtual HRESULT STDMETHODCALLTYPE ShareVideoFrameCpuMemory(IUnknown* owner, uint32_t flags,
                                                             const CpuVidFrameMemory* frame) = 0;
  virtual HRESULT STDMETHODCALLTYPE Create0() = 0;
  // Allocate own memory for a frame of this format and size (planes from the plane layout).
  virtual HRESULT STDMETHODCALLTYPE Create1(const GUID* format, int32_t width, int32_t height) = 0;
};

// A video decoder: a source of frames.
struct IVideoDecoder : IVarnicaObject {
  // The frame the request describes (FrameFormat, TimecodeProperty, optional FrameSizeProperty).
  virtual HRESULT STDMETHODCALLTYPE GetFrame(IValueSet* request, REFIID iid, void** ppFrame) = 0;
  // A Y4M file path, "-" for a Y4M stream on standard input (read once, front to back; it has no
  // FrameCountProperty), or a built-in clip: "builtin:progressive" or "builtin:interlaced".
  virtual HRESULT STDMETHODCALLTYPE Open(const char* source) = 0;
};

// Colour-space conversions of single colours (floats; U and V centred on 0).
struct IMediaColorspaceService : IVarnicaObject {
  virtual HRESULT STDMETHODCALLTYPE GetDefaultColorspace(GUID* colorspace) = 0;
  virtual HRESULT STDMETHODCALLTYPE IsColorspaceSupported(REFGUID colorspace) = 0;
  // rgb: count triples R, G, B (0..1) -> yuv: count triples Y, U, V; settings carry ColorspaceSettingKey.
  virtual HRESULT STDMETHODCALLTYPE RgbToYuv(IValueSet* settings, const float* rgb, float* yuv, int32_t count) = 0;
  virtual HRESULT STDMETHODCALLTYPE YuvToRgb(IValueSet* settings, const float* yuv, float* rgb, int32_t count) = 0;
};

__CRT_UUID_DECL(ILockObject, 0x65C8DFB0, 0xE5F7, 0x47F2, 0xBF, 0x84, 0x7A, 0x8C, 0xCE, 0x9D, 0xFC, 0xEA)
__CRT_UUID_DECL(IVideoFrame, 0x662C3D00, 0x11B5, 0x4916, 0xA1, 0xA4, 0xBB, 0xCD, 0xFB, 0x33, 0x12, 0xD6)
__CRT_UUID_DECL(ICommonMediaVideoCpuFrame, 0x92CA7F9E, 0x623C, 0x4AAD, 0x94, 0xD5, 0xB4, 0x02, 0x56, 0xB5, 0x9E, 0x33)
__CRT_UUID_DECL(IVideoDecoder, 0x8051857D, 0x7462, 0x442A, 0x92, 0xAF, 0x5E, 0x7A, 0xCC, 0xB9, 0x8C, 0x0C)
__CRT_UUID_DECL(IMediaColorspaceService, 0xCEC04018, 0x8A0B, 0x4F3F, 0x87, 0xE1, 0x7F, 0xCC, 0x89, 0x17, 0x3B, 0xA8)

#ifdef VARNICA_MEDIA_BUILD
#define VARNICA_MEDIA_API extern "C" __declspec(dllexport)
#else
#define VARNICA_MEDIA_API extern "C" __declspec(dllimport)
#endif

// Plane geometry of a frame of this format and size. Returns the number of planes (less than 1
// when the format has no plane layout). Each output array may be null and holds capacity entries.
VARNICA_MEDIA_API int32_t GetFormatVideoPlaneLayout(const GUID* format, int32_t width, int32_t height,
                                                    int32_t capacity, int32_t* planeWidths,
                                                    int32_t* planeRowBytes, int64_t* planeBytes,
                                                    int32_t* bitsPerPixel, int32_t* rows);
// Printable format name for log lines; never null.
VARNICA_MEDIA_API const char* VarnicaMediaNameOf(const GUID* format, int32_t reserved1, int32_t reserved2);
