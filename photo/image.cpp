#include "photo/image.h"

#include <algorithm>
#include <cstring>

namespace photo {

Image Filled(Size size, uint8_t blue, uint8_t green, uint8_t red) {
  Image image;
  if (size.Empty()) return image;
  image.width = size.width;
  image.height = size.height;
  image.bgr.resize(static_cast<size_t>(size.width) * static_cast<size_t>(size.height) * 3);
  for (size_t i = 0; i < image.bgr.size(); i += 3) {
    image.bgr[i] = blue;
    image.bgr[i + 1] = green;
    image.bgr[i + 2] = red;
  }
  return image;
}

void Paste(Image* canvas, const Image& picture, int x, int y) {
  const int left = x < 0 ? -x : 0, top = y < 0 ? -y : 0;
  const int right = std::min(picture.width, canvas->width - x), bottom = std::min(picture.height, canvas->height - y);
  if (left >= right) return;
  for (int row = top; row < bottom; ++row) {
    std::memcpy(canvas->Row(y + row) + static_cast<size_t>(x + left) * 3, picture.Row(row) + static_cast<size_t>(left) * 3,
                static_cast<size_t>(right - left) * 3);
  }
}

bool ImageSink::Begin(int width, int height) {
  if (width <= 0 || height <= 0 || static_cast<size_t>(width) > m_maxPixels / static_cast<size_t>(height)) return false;
  m_image.width = width;
  m_image.height = height;
  m_image.bgr.assign(static_cast<size_t>(width) * static_cast<size_t>(height) * 3, 0);
  m_rows = 0;
  return true;
}

void ImageSink::Row(const uint8_t* bgr) {
  if (m_rows >= m_image.height) return;
  std::memcpy(m_image.Row(m_rows++), bgr, static_cast<size_t>(m_image.width) * 3);
}

}  // namespace photo
