#include "photo/jpeg_segments.h"

namespace photo {

bool ReadSoi(ByteReader& in) {
  uint8_t b[2];
  return in.Bytes(b, 2) && b[0] == 0xFF && b[1] == kMarkerSoi;
}

SegmentStatus SegmentWalker::Next(uint8_t* marker, uint32_t* payload) {
  if (++m_segments > kMaxSegments) return SegmentStatus::kLimits;
  uint8_t b = 0;
  // A marker is FF followed by a code other than 00 and FF (more FF bytes are fill).
  for (;;) {
    if (m_in.Position() > kMaxHeaderBytes) return SegmentStatus::kLimits;
    if (!m_in.Byte(&b)) return SegmentStatus::kEnd;
    if (b != 0xFF) continue;
    do {
      if (!m_in.Byte(&b)) return SegmentStatus::kEnd;
    } while (b == 0xFF);
    if (b != 0x00) break;
  }
  *marker = b;
  *payload = 0;
  if (b == 0x01 || (b >= 0xD0 && b <= kMarkerEoi)) return SegmentStatus::kOk;
  uint8_t length[2];
  if (!m_in.Bytes(length, 2)) return SegmentStatus::kEnd;
  const uint32_t total = uint32_t(length[0]) << 8 | length[1];
  if (total < 2) return SegmentStatus::kDamaged;
  *payload = total - 2;
  return SegmentStatus::kOk;
}

}  // namespace photo
