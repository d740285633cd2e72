#include "photo/jpeg_info.h"

#include <cstring>

#include "photo/byte_reader.h"
#include "photo/jpeg_segments.h"

namespace photo {

namespace {

constexpr uint8_t kExifHeader[6] = {'E', 'x', 'i', 'f', 0, 0};

InfoStatus FromSegment(SegmentStatus status) {
  switch (status) {
    case SegmentStatus::kLimits:
      return InfoStatus::kLimits;
    case SegmentStatus::kEnd:
      return InfoStatus::kNoFrame;
    default:
      return InfoStatus::kDamaged;
  }
}

}  // namespace

InfoStatus ReadJpegInfo(ByteSource& source, JpegInfo* out) {
  *out = JpegInfo();
  if (!source.Seek(0)) return InfoStatus::kNotJpeg;
  ByteReader in(source);
  if (!ReadSoi(in)) return InfoStatus::kNotJpeg;
  SegmentWalker walker(in);
  for (;;) {
    uint8_t marker = 0;
    uint32_t length = 0;
    const SegmentStatus status = walker.Next(&marker, &length);
    if (status != SegmentStatus::kOk) return FromSegment(status);
    if (marker == kMarkerEoi || marker == kMarkerSos) return InfoStatus::kNoFrame;
    if (IsFrameMarker(marker)) {
      uint8_t frame[6];
      if (length < sizeof frame || !in.Bytes(frame, sizeof frame)) return InfoStatus::kDamaged;
      out->frameMarker = marker;
      out->height = frame[1] << 8 | frame[2];
      out->width = frame[3] << 8 | frame[4];
      out->components = frame[5];
      if (out->width == 0 || out->height == 0 || out->components == 0) return InfoStatus::kDamaged;
      out->orientation = out->fields.orientation;
      return InfoStatus::kOk;
    }
    if (marker == kMarkerApp1 && out->exif.empty() && length > sizeof kExifHeader) {
      std::vector<uint8_t> payload(length);
      if (!in.Bytes(payload.data(), length)) return InfoStatus::kNoFrame;
      if (std::memcmp(payload.data(), kExifHeader, sizeof kExifHeader) == 0) {
        payload.erase(payload.begin(), payload.begin() + sizeof kExifHeader);
        // A block that is no TIFF structure is dropped; other APP1 blocks (XMP) are not EXIF.
        if (ReadExif(payload.data(), payload.size(), &out->fields)) out->exif = std::move(payload);
      }
      continue;
    }
    if (!in.Skip(length)) return InfoStatus::kNoFrame;
  }
}

}  // namespace photo
