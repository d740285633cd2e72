// How values sit in an argument record: plain data, so a record can be zeroed as a whole.
#pragma once

#include <cstdint>
#include <string>

// A counted UTF-16 string; data == nullptr means absent (written as a nil element).
// Inputs point at the caller's text for the length of one call; results are allocated
// by the handler's memory manager and released by the client after the call.
struct SoapString {
  const char16_t* data;
  uint32_t length;
};

// Byte count and pointer of a base64Binary value; data == nullptr means absent.
struct SoapBlob {
  uint32_t size;
  const uint8_t* data;
};

// A zero-terminated text as a string value; null stays absent.
inline SoapString SoapStringOf(const char16_t* text) {
  if (!text) return SoapString{nullptr, 0};
  uint32_t n = 0;
  while (text[n]) ++n;
  return SoapString{text, n};
}
