// EXIF orientation: how the stored pixels are turned and mirrored to show the picture upright.
//   1 as stored          2 mirrored left-right     3 turned 180          4 mirrored top-bottom
//   5 mirrored along the main diagonal             6 turned 90 clockwise
//   7 mirrored along the other diagonal            8 turned 90 counter-clockwise
#pragma once

#include "photo/image.h"

namespace photo {

// Orientations 5 to 8 swap width and height.
inline bool SwapsSides(int orientation) { return orientation >= 5 && orientation <= 8; }

inline Size OrientedSize(Size stored, int orientation) {
  return SwapsSides(orientation) ? Size{stored.height, stored.width} : stored;
}

// The upright picture of stored pixels; an orientation outside 1 to 8 counts as 1.
Image Orient(const Image& stored, int orientation);

}  // namespace photo
