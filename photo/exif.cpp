#include "photo/exif.h"

namespace photo {

namespace {

constexpr uint16_t kTagCompression = 0x0103;
constexpr uint16_t kTagOrientation = 0x0112;
constexpr uint16_t kTagThumbnailOffset = 0x0201;
constexpr uint16_t kTagThumbnailLength = 0x0202;
constexpr uint16_t kTypeShort = 3;
constexpr uint16_t kTypeLong = 4;
constexpr uint32_t kCompressionJpeg = 6;
constexpr size_t kEntryBytes = 12;

class Tiff {
 public:
  Tiff(const uint8_t* data, size_t size, bool bigEndian) : m_data(data), m_size(size), m_big(bigEndian) {}

  bool Has(uint64_t offset, uint64_t bytes) const { return offset <= m_size && bytes <= m_size - offset; }
  uint16_t U16(size_t at) const {
    return m_big ? static_cast<uint16_t>(m_data[at] << 8 | m_data[at + 1])
                 : static_cast<uint16_t>(m_data[at + 1] << 8 | m_data[at]);
  }
  uint32_t U32(size_t at) const {
    return m_big ? (uint32_t(U16(at)) << 16 | U16(at + 2)) : (uint32_t(U16(at + 2)) << 16 | U16(at));
  }

  // Calls `entry(tag, value)` for every entry of the IFD at `offset` that holds one SHORT or
  // LONG (read from the entry itself); returns the offset of the next IFD, 0 when none or damaged.
  template <typename F>
  uint32_t ReadIfd(uint32_t offset, F entry) const {
    if (!Has(offset, 2)) return 0;
    const uint32_t count = U16(offset);
    for (uint32_t i = 0; i < count; ++i) {
      const uint64_t at = uint64_t(offset) + 2 + uint64_t(i) * kEntryBytes;
      if (!Has(at, kEntryBytes)) return 0;
      const size_t p = static_cast<size_t>(at);
      const uint16_t type = U16(p + 2);
      if (U32(p + 4) == 0) continue;
      if (type == kTypeShort) entry(U16(p), U16(p + 8));
      if (type == kTypeLong) entry(U16(p), U32(p + 8));
    }
    const uint64_t next = uint64_t(offset) + 2 + uint64_t(count) * kEntryBytes;
    return Has(next, 4) ? U32(static_cast<size_t>(next)) : 0;
  }

 private:
  const uint8_t* m_data;
  size_t m_size;
  bool m_big;
};

}  // namespace

bool ReadExif(const uint8_t* tiff, size_t size, ExifFields* out) {
  *out = ExifFields();
  if (tiff == nullptr || size < 8) return false;
  bool big = false;
  if (tiff[0] == 'M' && tiff[1] == 'M') {
    big = true;
  } else if (!(tiff[0] == 'I' && tiff[1] == 'I')) {
    return false;
  }
  const Tiff t(tiff, size, big);
  const uint32_t ifd0 = t.U32(4);
  if (t.U16(2) != 42 || ifd0 < 8 || !t.Has(ifd0, 2)) return false;

  const uint32_t ifd1 = t.ReadIfd(ifd0, [&](uint16_t tag, uint32_t value) {
    if (tag == kTagOrientation && value >= 1 && value <= 8) out->orientation = static_cast<int>(value);
  });
  // Only IFD0 and IFD1 are read, so a chain that loops ends here; an IFD1 that is IFD0 again
  // is no thumbnail directory.
  if (ifd1 < 8 || ifd1 == ifd0) return true;
  uint32_t compression = kCompressionJpeg, offset = 0, length = 0;
  t.ReadIfd(ifd1, [&](uint16_t tag, uint32_t value) {
    if (tag == kTagCompression) compression = value;
    if (tag == kTagThumbnailOffset) offset = value;
    if (tag == kTagThumbnailLength) length = value;
  });
  if (compression == kCompressionJpeg && offset >= 8 && length >= 4 && t.Has(offset, length) &&
      tiff[offset] == 0xFF && tiff[offset + 1] == 0xD8) {
    out->hasThumbnail = true;
    out->thumbnailOffset = offset;
    out->thumbnailLength = length;
  }
  return true;
}

}  // namespace photo
