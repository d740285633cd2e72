#include "photo/byte_source.h"

#include <cstring>

namespace photo {

size_t MemorySource::Read(uint8_t* buffer, size_t size) {
  const size_t left = m_size - m_position;
  const size_t n = size < left ? size : left;
  if (n > 0) std::memcpy(buffer, m_data + m_position, n);
  m_position += n;
  return n;
}

bool MemorySource::Seek(uint64_t position) {
  if (position > m_size) return false;
  m_position = static_cast<size_t>(position);
  return true;
}

}  // namespace photo
