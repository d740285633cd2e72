#include "photo/orientation.h"

#include <cstring>

namespace photo {

Image Orient(const Image& stored, int orientation) {
  if (orientation < 2 || orientation > 8) return stored;
  const int w = stored.width, h = stored.height;
  Image out;
  const Size size = OrientedSize(Size{w, h}, orientation);
  out.width = size.width;
  out.height = size.height;
  out.bgr.resize(stored.bgr.size());
  // For each upright pixel (x, y), the stored pixel it shows.
  for (int y = 0; y < out.height; ++y) {
    uint8_t* row = out.Row(y);
    for (int x = 0; x < out.width; ++x) {
      int sx = x, sy = y;
      switch (orientation) {
        case 2: sx = w - 1 - x; break;
        case 3: sx = w - 1 - x; sy = h - 1 - y; break;
        case 4: sy = h - 1 - y; break;
        case 5: sx = y; sy = x; break;
        case 6: sx = y; sy = h - 1 - x; break;
        case 7: sx = w - 1 - y; sy = h - 1 - x; break;
        case 8: sx = w - 1 - y; sy = x; break;
        default: break;
      }
      std::memcpy(row + static_cast<size_t>(x) * 3, stored.Row(sy) + static_cast<size_t>(sx) * 3, 3);
    }
  }
  return out;
}

}  // namespace photo
