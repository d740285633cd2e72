// A photo opened for reading while others may read it but not write it.
#pragma once

#include <cstdint>
#include <string>

class CPhotoFile {
 public:
  CPhotoFile() = default;
  ~CPhotoFile() { Close(); }
  CPhotoFile(const CPhotoFile&) = delete;
  CPhotoFile& operator=(const CPhotoFile&) = delete;

  bool Open(const std::u16string& path);
  bool IsOpen() const;
  uint64_t Length() const { return m_length; }
  // Reads exactly `count` bytes; false on an error or a file that came up short.
  bool ReadExactly(uint8_t* buffer, uint32_t count);
  void Close();

 private:
  intptr_t m_handle = -1;
  uint64_t m_length = 0;
};
