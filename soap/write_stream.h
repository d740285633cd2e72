// Where the request writer puts its bytes.
#pragma once

#include <cstddef>
#include <string>

#include "soap/result_code.h"

class IWriteStream {
 public:
  virtual HResult Write(const char* data, size_t length) = 0;

 protected:
  ~IWriteStream() = default;
};

// Appends to a growing narrow string; its content becomes the HTTP body.
class CStringWriteStream : public IWriteStream {
 public:
  HResult Write(const char* data, size_t length) override;
  const std::string& Data() const { return m_data; }
  void Clear() { m_data.clear(); }
  void Reserve(size_t bytes) { m_data.reserve(bytes); }

 private:
  std::string m_data;
};
