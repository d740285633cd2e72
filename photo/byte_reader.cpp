#include "photo/byte_reader.h"

#include <cstring>

namespace photo {

ByteReader::ByteReader(ByteSource& source, uint64_t start)
    : m_source(source),
      // Small sources (an embedded thumbnail) need no more than their own size.
      m_buffer(static_cast<size_t>(source.Size() < kBufferBytes ? (source.Size() > 0 ? source.Size() : 1) : kBufferBytes)),
      m_data(m_buffer.data()),
      m_base(start) {}

bool ByteReader::Refill() {
  m_base += m_end;
  m_pos = 0;
  m_end = m_source.Read(m_buffer.data(), m_buffer.size());
  return m_end > 0;
}

bool ByteReader::Bytes(uint8_t* out, size_t size) {
  while (size > 0) {
    if (m_pos == m_end && !Refill()) return false;
    const size_t n = size < m_end - m_pos ? size : m_end - m_pos;
    std::memcpy(out, m_buffer.data() + m_pos, n);
    m_pos += n;
    out += n;
    size -= n;
  }
  return true;
}

bool ByteReader::Skip(uint64_t size) {
  if (size <= m_end - m_pos) {
    m_pos += static_cast<size_t>(size);
    return true;
  }
  const uint64_t target = Position() + size;
  if (target > m_source.Size()) return false;
  return Rewind(target);
}

bool ByteReader::Rewind(uint64_t position) {
  if (!m_source.Seek(position)) return false;
  m_base = position;
  m_pos = m_end = 0;
  return true;
}

}  // namespace photo
