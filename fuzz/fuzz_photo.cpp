// The photo reader on arbitrary bytes: the segment walk, the EXIF block, the embedded
// thumbnail's choice, the scaled decoder at every scale, the scaler and the orientations, and
// the bitmap completeness check.
#include <cstddef>
#include <cstdint>

#include "photo/bitmap_check.h"
#include "photo/byte_source.h"
#include "photo/exif.h"
#include "photo/jpeg_decoder.h"
#include "photo/layout.h"
#include "photo/picture_loader.h"
#include "photo/scaler.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  photo::MemorySource source(data, size);
  // The list tile's box or the preview's, as the last byte says.
  const photo::Size box = size > 0 && (data[size - 1] & 1) ? photo::Size{175, 155} : photo::Size{80, 55};
  photo::Picture picture;
  photo::LoadJpeg(
      source,
      [&](photo::Size upright) {
        const photo::Rect place = photo::FitInBox(upright, box);
        return photo::Size{place.width, place.height};
      },
      nullptr, &picture);

  const int denominator = 1 << (size % 4);
  photo::AreaScaler scaler(photo::Size{13, 9});
  photo::DecodeJpeg(source, denominator, scaler, nullptr);
  scaler.Result();

  photo::ExifFields fields;
  photo::ReadExif(data, size, &fields);
  photo::PictureBytesAreComplete(data, size);
  return 0;
}
