// A picture file read as a stream (the platform's file calls, behind one header).
#pragma once

#include <string>

#include "photo/byte_source.h"

namespace photo {

class FileSource : public ByteSource {
 public:
  FileSource() = default;
  ~FileSource() override;
  FileSource(const FileSource&) = delete;
  FileSource& operator=(const FileSource&) = delete;

  // Opens the file for reading, sharing it with writers; false when it cannot be opened.
  bool Open(const std::u16string& path);
  size_t Read(uint8_t* buffer, size_t size) override;
  bool Seek(uint64_t position) override;
  uint64_t Size() const override { return m_size; }

 private:
  void* m_handle = nullptr;  // HANDLE on Windows, a FILE* elsewhere
  uint64_t m_size = 0;
};

}  // namespace photo
