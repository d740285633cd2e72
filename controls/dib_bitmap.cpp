#include "controls/dib_bitmap.h"

#include <cstring>

namespace {

BITMAPINFO Info24(int width, int height) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top row first
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  return info;
}

size_t Stride(int width) { return (static_cast<size_t>(width) * 3 + 3) & ~size_t(3); }

}  // namespace

HBITMAP MakeDibBitmap(const photo::Image& image) {
  if (image.width <= 0 || image.height <= 0 || image.bgr.size() < static_cast<size_t>(image.width) * image.height * 3) {
    return nullptr;
  }
  const BITMAPINFO info = Info24(image.width, image.height);
  void* bits = nullptr;
  const HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (bitmap == nullptr || bits == nullptr) {
    if (bitmap != nullptr) DeleteObject(bitmap);
    return nullptr;
  }
  const size_t stride = Stride(image.width);
  for (int y = 0; y < image.height; ++y) {
    std::memcpy(static_cast<uint8_t*>(bits) + stride * static_cast<size_t>(y), image.Row(y),
                static_cast<size_t>(image.width) * 3);
  }
  GdiFlush();
  return bitmap;
}
