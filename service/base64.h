// Streaming base64 decoder for xsd:base64Binary element text that arrives in pieces.
#pragma once

#include <cstddef>
#include <cstdint>

namespace fotrel::service {

class Base64Decoder {
 public:
  // Decodes `length` characters into `out`, which must have room for length * 3 / 4 + 3 bytes;
  // *produced receives the number of bytes written. XML white space is skipped anywhere.
  // False when a character is outside the alphabet or follows the "=" padding.
  bool Feed(const char* text, size_t length, uint8_t* out, size_t* produced);
  // True when the text ended on a complete group (padding included).
  bool Finish() const;

 private:
  uint32_t m_bits = 0;
  int m_count = 0;    // characters of the current group
  int m_padding = 0;  // "=" seen so far
};

}  // namespace fotrel::service
