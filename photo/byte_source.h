// Where picture bytes come from: a file read as a stream, or bytes already in memory (an
// embedded thumbnail, tests, fuzzing). Readers see only this and never hold more than they ask for.
#pragma once

#include <cstddef>
#include <cstdint>

namespace photo {

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Reads up to `size` bytes at the current position; fewer only at the end or on a failure.
  virtual size_t Read(uint8_t* buffer, size_t size) = 0;
  // Moves the current position; false when it lies beyond the end.
  virtual bool Seek(uint64_t position) = 0;
  // Total size in bytes, as known when the source was opened.
  virtual uint64_t Size() const = 0;
};

class MemorySource : public ByteSource {
 public:
  MemorySource(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
  size_t Read(uint8_t* buffer, size_t size) override;
  bool Seek(uint64_t position) override;
  uint64_t Size() const override { return m_size; }

 private:
  const uint8_t* m_data;
  size_t m_size;
  size_t m_position = 0;
};

}  // namespace photo
