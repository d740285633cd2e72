// Where a picture goes in a fixed box (a list tile, the preview), and which part of an embedded
// thumbnail shows the same picture as the photo.
#pragma once

#include "photo/image.h"
#include "photo/scaler.h"

namespace photo {

// The picture fitted into the box with its shape kept: a picture higher in proportion than the
// box (h / w above the box's h / w, as 32-bit floats) fills the box's height and is centred
// across, any other fills its width and is centred down. Sizes are cut to whole pixels, at
// least 1. So a 4:3 photo in an 80 x 55 tile is 73 x 55 at (3, 0), a 3:2 one 80 x 53 at (0, 1).
Rect FitInBox(Size picture, Size box);

// A picture below 50 HIMETRIC units (at 96 dpi: 2 pixels) across or down is not scaled.
inline bool IsTinyPicture(Size picture) { return picture.width < 2 || picture.height < 2; }

// Shapes that differ by at most this share of the photo's width-to-height ratio count as equal.
constexpr double kShapeTolerance = 0.02;

// The part of a thumbnail that shows the photo (both upright): the whole thumbnail when their
// shapes agree within kShapeTolerance, else the centred part of the photo's shape, the rest
// being taken for bars (*cropped is then true).
Rect ThumbnailArea(Size thumbnail, Size photo, bool* cropped);

// Whether what lies outside `area` in the picture is flat, as bars are (one colour, give or
// take the noise of compression).
bool OutsideIsFlat(const Image& picture, Rect area);

}  // namespace photo
