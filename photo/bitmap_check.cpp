#include "photo/bitmap_check.h"

#include <cstdint>

namespace photo {

namespace {

constexpr uint64_t kRgb = 0;        // BI_RGB
constexpr uint64_t kBitFields = 3;  // BI_BITFIELDS
constexpr uint64_t kAlphaBitFields = 6;

uint32_t Le32(const unsigned char* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
uint32_t Le16(const unsigned char* p) { return uint32_t(p[0]) | (uint32_t(p[1]) << 8); }

}  // namespace

bool PictureBytesAreComplete(const unsigned char* data, size_t size) {
  // The loader also takes a picture behind an 8-byte "lt\0\0" header.
  if (size >= 8 && data[0] == 'l' && data[1] == 't' && data[2] == 0 && data[3] == 0) {
    data += 8;
    size -= 8;
  }
  if (size < 2 || data[0] != 'B' || data[1] != 'M') return true;
  constexpr uint64_t kFileHeader = 14;
  if (size < kFileHeader + 12) return false;
  const uint64_t offBits = Le32(data + 10);
  const uint64_t infoSize = Le32(data + 14);
  if (infoSize < 12 || kFileHeader + infoSize > size || offBits > size) return false;
  uint64_t width = 0, height = 0, bits = 0, compression = kRgb, imageSize = 0, used = 0, entry = 4, masks = 0;
  if (infoSize == 12) {  // BITMAPCOREHEADER
    width = Le16(data + 18);
    height = Le16(data + 20);
    bits = Le16(data + 24);
    entry = 3;
  } else {
    if (infoSize < 40) return false;
    const int32_t w = static_cast<int32_t>(Le32(data + 18));
    const int32_t h = static_cast<int32_t>(Le32(data + 22));
    width = w < 0 ? 0 - static_cast<int64_t>(w) : w;
    height = h < 0 ? 0 - static_cast<int64_t>(h) : h;
    bits = Le16(data + 28);
    compression = Le32(data + 30);
    imageSize = Le32(data + 34);
    used = Le32(data + 46);
    if (infoSize == 40 && (compression == kBitFields || compression == kAlphaBitFields)) {
      masks = compression == kBitFields ? 12 : 16;
    }
  }
  if (bits <= 8) {
    const uint64_t most = uint64_t(1) << bits;
    if (used == 0 || used > most) used = most;
  }
  if (kFileHeader + infoSize + masks + used * entry > size) return false;
  const uint64_t available = size - offBits;
  if (compression != kRgb && compression != kBitFields && compression != kAlphaBitFields) {
    return imageSize != 0 && imageSize <= available;  // compressed: the stated size must be there
  }
  const uint64_t stride = (width * bits + 31) / 32 * 4;  // width < 2^31, bits < 2^16: no overflow
  return stride == 0 || height <= available / stride;
}

}  // namespace photo
