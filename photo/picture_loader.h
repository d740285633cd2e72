// A photo file made into a small upright picture for a box on screen (a list tile, the
// preview), reading and decoding as little as it can:
//   - JPEG: the segment walk gives the size, the orientation and the embedded thumbnail; the
//     thumbnail is used when it shows the same shape (or does after cutting off bars) and is at
//     least as large as wanted; otherwise the own decoder decodes at the smallest of 1/8, 1/4,
//     1/2, 1/1 that still gives enough pixels, and the platform's decoder takes the kinds it
//     does not read. The file is read as a stream.
//   - other formats: the platform's decoder, no orientation, files of at most 64 MiB.
// The main picture is decoded only when its pixels at the scale used take at most
// kMaxDecodeBytes (4 bytes each); a usable embedded thumbnail is used whatever the size.
#pragma once

#include <functional>
#include <string>

#include "photo/byte_source.h"
#include "photo/image.h"

namespace photo {

constexpr uint64_t kMaxDecodeBytes = 256ull * 1024 * 1024;
constexpr uint64_t kMaxWholeFileBytes = 64ull * 1024 * 1024;

// The size wanted for a photo of the given upright size; empty for none (the photo's size and
// orientation are still read).
using TargetRule = std::function<Size(Size upright)>;

struct Picture {
  Size upright;       // the photo's own size, upright
  Image image;        // the picture at the wanted size, upright
  bool fromThumbnail = false;
  int denominator = 0;  // the own decoder's scale (1/denominator); 0 when it did not decode
};

PhotoStatus LoadPicture(const std::u16string& path, const TargetRule& target, const StopFlag* stop, Picture* out);

// The photo upright and fitted into `box` (FitInBox: its shape kept, centred), on a background
// of one colour: a list tile, the preview. With `tinyIsBlank` a tiny picture (IsTinyPicture)
// is not scaled and the box stays background.
PhotoStatus LoadIntoBox(const std::u16string& path, Size box, Bgr background, bool tinyIsBlank, const StopFlag* stop,
                        Image* out);

// A JPEG from bytes at hand; there is no platform decoder behind it.
PhotoStatus LoadJpeg(ByteSource& source, const TargetRule& target, const StopFlag* stop, Picture* out);

// The largest of 8, 4, 2 that still gives at least `want` from `stored`, else 1.
int ChooseDenominator(Size stored, Size want);

}  // namespace photo
