// The two EXIF fields the photo list needs, read from an EXIF block (the TIFF structure that
// follows "Exif\0\0" in a JPEG's APP1 segment), in either byte order: the orientation of IFD0
// and the JPEG thumbnail of IFD1. Every offset and count is checked against the block.
#pragma once

#include <cstddef>
#include <cstdint>

namespace photo {

struct ExifFields {
  int orientation = 1;  // 1 to 8; 1 when absent or out of range
  bool hasThumbnail = false;
  uint32_t thumbnailOffset = 0;  // from the start of the TIFF structure
  uint32_t thumbnailLength = 0;
};

// False when the bytes are no TIFF structure (byte order mark, 42, IFD0 inside). A damaged
// entry or IFD1 leaves its field at the default.
bool ReadExif(const uint8_t* tiff, size_t size, ExifFields* out);

}  // namespace photo
