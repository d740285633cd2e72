// Element text of SOAP values: writing a value into a request and reading it back from a
// response. Request text is pure ASCII (everything else travels as character references);
// response text arrives as UTF-16 with character references already resolved.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "soap/result_code.h"
#include "soap/write_stream.h"

// An IWriteStream that appends to a string owned by the caller. Allocation failure is
// reported as kE_OUTOFMEMORY and leaves the string as it was.
class CStringAppendStream : public IWriteStream {
 public:
  explicit CStringAppendStream(std::string* target) : m_target(target) {}
  HResult Write(const char* data, size_t length) override;

 private:
  std::string* m_target;
};

// ---- Writing. Each writer produces its text in one pass and hands it to `out` in blocks;
// the first failing write is returned and nothing more is written.

// UTF-16 to UTF-8: pairs give four bytes, a lone surrogate the three-byte form of its value.
HResult WriteUtf8(std::u16string_view text, IWriteStream* out);
size_t Utf8Length(std::u16string_view text);

// Escaped string value: & < > as entities, printable ASCII as itself, any other code unit as
// "&#xHHHH;", a surrogate pair as "&#xHHHHHH;" of its code point. An empty text writes nothing.
HResult WriteEscapedString(std::u16string_view text, IWriteStream* out);

// "true" when the byte is 1, otherwise "false".
HResult WriteBoolean(uint8_t value, IWriteStream* out);
HResult WriteInt(int32_t value, IWriteStream* out);

// Standard alphabet with "=" padding; CR LF after every full line of 76 characters; the final
// padded group follows the last characters written. Zero bytes give empty text.
HResult WriteBase64(const uint8_t* data, size_t size, IWriteStream* out);
// Exact length of the text WriteBase64 produces for `size` bytes (saturates at SIZE_MAX).
size_t Base64TextLength(size_t size);

// Two upper-case hexadecimal digits per byte.
HResult WriteHexBinary(const uint8_t* data, size_t size, IWriteStream* out);

// "NaN", "INF", "-INF", "-0", otherwise the shortest text that reads back to the same value,
// in fixed or exponent notation, whichever is shorter.
HResult WriteFloat(float value, IWriteStream* out);
HResult WriteDouble(double value, IWriteStream* out);

// ---- Reading. Pure functions of the text: true and the value, or false and *value untouched.

// Exactly "true" or "1", "false" or "0".
bool ReadBoolean(std::u16string_view text, bool* value);

// Optional white space, optional sign, decimal digits, optional white space; within the range
// of a 32-bit signed integer. Text of white space only (or none) reads as 0.
bool ReadInt(std::u16string_view text, int32_t* value);

// "INF", "-INF", "NaN" exactly; otherwise a decimal number (fraction and exponent optional)
// with optional surrounding white space. Values beyond the type's range, and non-zero values
// too small for it, are errors.
bool ReadFloat(std::u16string_view text, float* value);
bool ReadDouble(std::u16string_view text, double* value);

// Base64 text: characters outside the alphabet (line breaks, blanks, "=") are skipped; every
// four alphabet characters give three bytes, a final two or three give one or two; a NUL ends
// the text. Never fails: the decoded size is known before decoding, so callers allocate exactly.
size_t Base64DecodedSize(std::u16string_view text);
// Writes Base64DecodedSize(text) bytes to `out` and returns that count.
size_t DecodeBase64(std::u16string_view text, uint8_t* out);
// Convenience for callers that hold bytes in a vector; false only on allocation failure.
bool ReadBase64(std::u16string_view text, std::vector<uint8_t>* bytes);
