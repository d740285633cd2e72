// Steps through the marker segments of a JPEG stream by their lengths, seeking over payloads,
// within fixed bounds: at most kMaxSegments segments and kMaxHeaderBytes of file before the
// picture's data. Shared by the metadata reader and the decoder.
#pragma once

#include <cstdint>

#include "photo/byte_reader.h"

namespace photo {

constexpr uint8_t kMarkerSoi = 0xD8;
constexpr uint8_t kMarkerEoi = 0xD9;
constexpr uint8_t kMarkerSos = 0xDA;
constexpr uint8_t kMarkerDqt = 0xDB;
constexpr uint8_t kMarkerDri = 0xDD;
constexpr uint8_t kMarkerDht = 0xC4;
constexpr uint8_t kMarkerApp1 = 0xE1;
constexpr uint8_t kMarkerApp14 = 0xEE;

// A frame header: SOF0 to SOF15 except DHT (C4), JPG (C8) and DAC (CC).
inline bool IsFrameMarker(uint8_t marker) {
  return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

enum class SegmentStatus { kOk, kEnd, kDamaged, kLimits };

class SegmentWalker {
 public:
  static constexpr int kMaxSegments = 1000;
  static constexpr uint64_t kMaxHeaderBytes = 16ull * 1024 * 1024;

  // `in` stands just after the SOI marker.
  explicit SegmentWalker(ByteReader& in) : m_in(in) {}

  // The next marker and the length of its payload (0 for markers that stand alone). Bytes
  // between segments that are not a marker are passed over, within the bounds.
  SegmentStatus Next(uint8_t* marker, uint32_t* payload);

 private:
  ByteReader& m_in;
  int m_segments = 0;
};

// Reads the two bytes of a JPEG start: FF D8.
bool ReadSoi(ByteReader& in);

}  // namespace photo
