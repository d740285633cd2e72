// Buffered reading over a ByteSource: single bytes cheaply (the entropy decoder's diet), runs
// of bytes, and skips that seek instead of reading what nobody looks at.
#pragma once

#include <cstdint>
#include <vector>

#include "photo/byte_source.h"

namespace photo {

class ByteReader {
 public:
  static constexpr size_t kBufferBytes = 64 * 1024;

  // The reader starts at the source's current position (assumed 0 unless `start` says otherwise).
  explicit ByteReader(ByteSource& source, uint64_t start = 0);

  bool Byte(uint8_t* out) {
    const int b = Next();
    if (b < 0) return false;
    *out = static_cast<uint8_t>(b);
    return true;
  }
  // The next byte, or -1 at the end.
  int Next() {
    if (m_pos == m_end && !Refill()) return -1;
    return m_data[m_pos++];
  }
  bool Bytes(uint8_t* out, size_t size);
  bool Skip(uint64_t size);
  // Bytes consumed from the start of the source.
  uint64_t Position() const { return m_base + m_pos; }
  uint64_t Size() const { return m_source.Size(); }
  // Goes back to `position`; the buffered bytes are dropped.
  bool Rewind(uint64_t position);

 private:
  bool Refill();

  ByteSource& m_source;
  std::vector<uint8_t> m_buffer;
  const uint8_t* m_data;  // m_buffer.data()
  uint64_t m_base;  // source position of m_buffer[0]
  size_t m_pos = 0;
  size_t m_end = 0;
};

}  // namespace photo
