#include "photo/platform_decoder.h"

#include <windows.h>
#include <objbase.h>
#include <shlwapi.h>
#include <wincodec.h>

#include <algorithm>
#include <new>
#include <vector>

#include "photo/bitmap_check.h"
#include "photo/picture_loader.h"
#include "photo/scaler.h"

namespace photo {

namespace {

// Scaled decoding where the imaging component offers it (IWICBitmapSourceTransform; MinGW's
// headers do not declare it). Wine's JPEG decoder does not.
const IID kIidSourceTransform = {0x3b16811b, 0x6a43, 0x4ec9, {0xb7, 0x13, 0x3d, 0x5a, 0x0c, 0x13, 0xb9, 0x40}};
struct ISourceTransform : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE CopyPixels(const WICRect* rect, UINT width, UINT height, WICPixelFormatGUID* format,
                                               WICBitmapTransformOptions transform, UINT stride, UINT size,
                                               BYTE* buffer) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetClosestSize(UINT* width, UINT* height) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetClosestPixelFormat(WICPixelFormatGUID* format) = 0;
  virtual HRESULT STDMETHODCALLTYPE DoesSupportTransform(WICBitmapTransformOptions transform, BOOL* supported) = 0;
};

// Releases a COM interface at the end of a scope.
template <typename T>
class Held {
 public:
  Held() = default;
  ~Held() {
    if (p != nullptr) p->Release();
  }
  Held(const Held&) = delete;
  Held& operator=(const Held&) = delete;
  T** operator&() { return &p; }
  T* operator->() const { return p; }
  T* p = nullptr;
};

// The whole file (at most `limit` bytes) in a movable global block, for a stream over memory.
HGLOBAL ReadFileToGlobal(const std::u16string& path, uint64_t limit, DWORD* size, bool* tooLarge) {
  const HANDLE file = CreateFileW(reinterpret_cast<const wchar_t*>(path.c_str()), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                  nullptr);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  LARGE_INTEGER length{};
  if (!GetFileSizeEx(file, &length) || length.QuadPart <= 0 || static_cast<uint64_t>(length.QuadPart) > limit) {
    *tooLarge = length.QuadPart > 0;
    CloseHandle(file);
    return nullptr;
  }
  const DWORD capacity = static_cast<DWORD>(length.QuadPart);
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, capacity);
  BYTE* data = block != nullptr ? static_cast<BYTE*>(GlobalLock(block)) : nullptr;
  DWORD total = 0;
  bool ok = data != nullptr;
  // The file may change while it is read: never more than the block holds, stop at its end.
  while (ok && total < capacity) {
    DWORD got = 0;
    if (!ReadFile(file, data + total, capacity - total, &got, nullptr)) {
      ok = false;
    } else if (got == 0) {
      break;
    } else {
      total += got;
    }
  }
  ok = ok && total > 0 && PictureBytesAreComplete(data, total);
  if (data != nullptr) GlobalUnlock(block);
  CloseHandle(file);
  if (!ok) {
    if (block != nullptr) GlobalFree(block);
    return nullptr;
  }
  *size = total;
  return block;
}

IStream* OpenStream(const std::u16string& path, bool stream, bool* tooLarge) {
  IStream* result = nullptr;
  if (stream) {
    if (FAILED(SHCreateStreamOnFileEx(reinterpret_cast<const wchar_t*>(path.c_str()), STGM_READ | STGM_SHARE_DENY_NONE,
                                      FILE_ATTRIBUTE_NORMAL, FALSE, nullptr, &result))) {
      return nullptr;
    }
    return result;
  }
  DWORD size = 0;
  HGLOBAL block = ReadFileToGlobal(path, kMaxWholeFileBytes, &size, tooLarge);
  if (block == nullptr) return nullptr;
  if (FAILED(CreateStreamOnHGlobal(block, TRUE, &result)) || result == nullptr) {
    GlobalFree(block);
    return nullptr;
  }
  ULARGE_INTEGER end;
  end.QuadPart = size;
  result->SetSize(end);
  return result;
}

bool Stopped(const StopFlag* stop) { return stop != nullptr && stop->load(std::memory_order_relaxed); }

// A scaled decode of at least `want`, when the frame offers one smaller than the whole.
PhotoStatus DecodeScaled(IWICBitmapFrameDecode* frame, Size stored, Size want, Image* out) {
  Held<ISourceTransform> transform;
  if (FAILED(frame->QueryInterface(kIidSourceTransform, reinterpret_cast<void**>(&transform)))) {
    return PhotoStatus::kUnsupported;
  }
  for (UINT d : {8u, 4u, 2u}) {
    UINT w = (static_cast<UINT>(stored.width) + d - 1) / d, h = (static_cast<UINT>(stored.height) + d - 1) / d;
    if (w < static_cast<UINT>(want.width) || h < static_cast<UINT>(want.height)) continue;
    if (FAILED(transform->GetClosestSize(&w, &h)) || w < static_cast<UINT>(want.width) ||
        h < static_cast<UINT>(want.height) || w >= static_cast<UINT>(stored.width) ||
        uint64_t(w) * h * 4 > kMaxDecodeBytes) {
      continue;
    }
    WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
    const UINT stride = (w * 3 + 3) & ~3u;
    std::vector<BYTE> pixels(static_cast<size_t>(stride) * h);
    if (FAILED(transform->CopyPixels(nullptr, w, h, &format, WICBitmapTransformRotate0, stride,
                                     static_cast<UINT>(pixels.size()), pixels.data())) ||
        format != GUID_WICPixelFormat24bppBGR) {
      continue;
    }
    AreaScaler scaler(want);
    if (!scaler.Begin(static_cast<int>(w), static_cast<int>(h))) return PhotoStatus::kTooLarge;
    for (UINT y = 0; y < h; ++y) scaler.Row(pixels.data() + static_cast<size_t>(y) * stride);
    *out = scaler.Result();
    return PhotoStatus::kOk;
  }
  return PhotoStatus::kUnsupported;
}

PhotoStatus Decode(const std::u16string& path, bool stream, const StoredTarget& target, const StopFlag* stop,
                   Image* out, Size* stored) {
  Held<IWICImagingFactory> factory;
  if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                              reinterpret_cast<void**>(&factory)))) {
    return PhotoStatus::kUnsupported;
  }
  bool tooLarge = false;
  Held<IStream> source;
  source.p = OpenStream(path, stream, &tooLarge);
  if (source.p == nullptr) return tooLarge ? PhotoStatus::kTooLarge : PhotoStatus::kUnsupported;
  Held<IWICBitmapDecoder> decoder;
  Held<IWICBitmapFrameDecode> frame;
  UINT width = 0, height = 0;
  if (FAILED(factory->CreateDecoderFromStream(source.p, nullptr, WICDecodeMetadataCacheOnDemand, &decoder)) ||
      FAILED(decoder->GetFrame(0, &frame)) || FAILED(frame->GetSize(&width, &height))) {
    return PhotoStatus::kUnsupported;
  }
  if (width == 0 || height == 0 || width > 0x7FFFFFFF / 4 || height > 0x7FFFFFFF / 4) return PhotoStatus::kDamaged;
  *stored = Size{static_cast<int>(width), static_cast<int>(height)};
  const Size want = target(*stored);
  if (want.Empty()) return PhotoStatus::kOk;
  if (Stopped(stop)) return PhotoStatus::kStopped;
  const PhotoStatus scaled = DecodeScaled(frame.p, *stored, want, out);
  if (scaled != PhotoStatus::kUnsupported) return scaled;

  if (uint64_t(width) * height * 4 > kMaxDecodeBytes) return PhotoStatus::kTooLarge;
  // 32-bit BGRA, not 24-bit BGR: Wine's converter reaches it from every format its decoders give
  // (indexed GIF, PNG, TIFF), the 24-bit one only from a few. Transparent parts show the tile's
  // white.
  Held<IWICFormatConverter> converter;
  if (FAILED(factory->CreateFormatConverter(&converter)) ||
      FAILED(converter->Initialize(frame.p, GUID_WICPixelFormat32bppBGRA, WICBitmapDitherTypeNone, nullptr, 0.0,
                                   WICBitmapPaletteTypeCustom))) {
    return PhotoStatus::kUnsupported;
  }
  AreaScaler scaler(want);
  if (!scaler.Begin(static_cast<int>(width), static_cast<int>(height))) return PhotoStatus::kTooLarge;
  // A strip of rows at a time, about 1 MiB.
  const UINT stride = width * 4;
  const UINT rows = std::max(1u, std::min(height, (1u << 20) / stride));
  std::vector<BYTE> strip(static_cast<size_t>(stride) * rows);
  std::vector<BYTE> row(static_cast<size_t>(width) * 3);
  for (UINT y = 0; y < height; y += rows) {
    if (Stopped(stop)) return PhotoStatus::kStopped;
    const UINT count = std::min(rows, height - y);
    const WICRect rect{0, static_cast<INT>(y), static_cast<INT>(width), static_cast<INT>(count)};
    if (FAILED(converter->CopyPixels(&rect, stride, stride * count, strip.data()))) return PhotoStatus::kDamaged;
    for (UINT r = 0; r < count; ++r) {
      const BYTE* bgra = strip.data() + static_cast<size_t>(r) * stride;
      for (UINT x = 0; x < width; ++x, bgra += 4) {
        const unsigned alpha = bgra[3];
        for (int c = 0; c < 3; ++c) row[x * 3 + c] = static_cast<BYTE>((bgra[c] * alpha + 255 * (255 - alpha) + 127) / 255);
      }
      scaler.Row(row.data());
    }
  }
  *out = scaler.Result();
  return out->bgr.empty() ? PhotoStatus::kDamaged : PhotoStatus::kOk;
}

}  // namespace

PhotoStatus DecodeWithPlatform(const std::u16string& path, bool stream, const StoredTarget& target,
                               const StopFlag* stop, Image* out, Size* stored) {
  // The imaging component is free-threaded: any apartment will do, and one this thread already
  // has is kept.
  const HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  PhotoStatus result = PhotoStatus::kTooLarge;
  try {
    result = Decode(path, stream, target, stop, out, stored);
  } catch (const std::bad_alloc&) {
    *out = Image();
  }
  if (SUCCEEDED(com)) CoUninitialize();
  return result;
}

}  // namespace photo
