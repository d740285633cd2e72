#include "photo/layout.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace photo {

Rect FitInBox(Size picture, Size box) {
  Rect place{0, 0, box.width, box.height};
  if (picture.Empty() || box.Empty()) return place;
  const float ratio = static_cast<float>(picture.height) / static_cast<float>(picture.width);
  const bool high = ratio > static_cast<float>(box.height) / static_cast<float>(box.width);
  if (high) {
    place.height = box.height;
    place.width = static_cast<int>(static_cast<float>(box.height) / ratio);
  } else {
    place.width = box.width;
    place.height = static_cast<int>(ratio * static_cast<float>(box.width));
  }
  place.width = std::max(1, std::min(place.width, box.width));
  place.height = std::max(1, std::min(place.height, box.height));
  place.x = high ? (box.width - place.width) / 2 : 0;
  place.y = high ? 0 : (box.height - place.height) / 2;
  return place;
}

Rect ThumbnailArea(Size thumbnail, Size photo, bool* cropped) {
  *cropped = false;
  Rect area{0, 0, thumbnail.width, thumbnail.height};
  if (thumbnail.Empty() || photo.Empty()) return area;
  const double want = double(photo.width) / photo.height;
  const double have = double(thumbnail.width) / thumbnail.height;
  if (std::fabs(have - want) <= kShapeTolerance * want) return area;
  *cropped = true;
  if (have > want) {  // bars left and right
    area.width = std::max(1, static_cast<int>(std::lround(thumbnail.height * want)));
    area.x = (thumbnail.width - area.width) / 2;
  } else {  // bars above and below
    area.height = std::max(1, static_cast<int>(std::lround(thumbnail.width / want)));
    area.y = (thumbnail.height - area.height) / 2;
  }
  return area;
}

namespace {

// Whether the brightness of the rectangle keeps within a small distance of its mean. Colour is
// left out: compression spreads a picture's colour into a dark bar by a block or two.
bool Flat(const Image& picture, Rect r) {
  if (r.width <= 0 || r.height <= 0) return true;
  auto luma = [&](int x, int y) {
    const uint8_t* p = picture.Row(y) + static_cast<size_t>(x) * 3;
    return (29 * p[0] + 150 * p[1] + 77 * p[2]) >> 8;
  };
  int64_t sum = 0;
  const int64_t count = int64_t(r.width) * r.height;
  for (int y = r.y; y < r.y + r.height; ++y) {
    for (int x = r.x; x < r.x + r.width; ++x) sum += luma(x, y);
  }
  constexpr int kNoise = 40;
  const int mean = static_cast<int>(sum / count);
  int64_t outliers = 0;
  for (int y = r.y; y < r.y + r.height; ++y) {
    for (int x = r.x; x < r.x + r.width; ++x) outliers += std::abs(luma(x, y) - mean) > kNoise ? 1 : 0;
  }
  return outliers * 20 <= count;  // at most 5 %
}

}  // namespace

bool OutsideIsFlat(const Image& picture, Rect area) {
  // Two lines next to the picture are left out: the blend of the edge, and a line that the
  // centring of an odd difference may give to either side.
  const int right = area.x + area.width, bottom = area.y + area.height;
  return Flat(picture, Rect{0, 0, area.x - 2, picture.height}) &&
         Flat(picture, Rect{right + 2, 0, picture.width - right - 2, picture.height}) &&
         Flat(picture, Rect{0, 0, picture.width, area.y - 2}) &&
         Flat(picture, Rect{0, bottom + 2, picture.width, picture.height - bottom - 2});
}

}  // namespace photo
