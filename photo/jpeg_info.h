// What the photo list needs to know of a JPEG before any pixel is decoded: the pixel size
// from its frame header, and from its EXIF block the orientation and the embedded JPEG
// thumbnail. Walks the segments by their lengths and keeps only the EXIF block (at most 64 KiB)
// besides a 64 KiB read buffer.
#pragma once

#include <cstdint>
#include <vector>

#include "photo/byte_source.h"
#include "photo/exif.h"

namespace photo {

enum class InfoStatus { kOk, kNotJpeg, kNoFrame, kDamaged, kLimits };

struct JpegInfo {
  uint8_t frameMarker = 0;  // C0 baseline, C2 progressive, ...
  int width = 0;
  int height = 0;
  int components = 0;
  int orientation = 1;
  std::vector<uint8_t> exif;  // the TIFF structure of the first EXIF block; empty without one
  ExifFields fields;

  const uint8_t* ThumbnailData() const { return fields.hasThumbnail ? exif.data() + fields.thumbnailOffset : nullptr; }
  size_t ThumbnailSize() const { return fields.hasThumbnail ? fields.thumbnailLength : 0; }
};

// Reads from the source's start. A frame that declares no size (height 0) counts as damaged.
InfoStatus ReadJpegInfo(ByteSource& source, JpegInfo* out);

}  // namespace photo
