#include "soap/value_encoding.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>
#include <system_error>

namespace {

// Collects output in a local block and hands whole blocks to the stream, so a long value
// costs a handful of stream calls. After a failure every further write is dropped.
class CBlockOut {
 public:
  static constexpr size_t kSize = 8192;

  explicit CBlockOut(IWriteStream* out) : m_out(out) {}

  // Makes room for `n` (<= kSize) more bytes; false once the stream has failed.
  bool Room(size_t n) {
    if (kSize - m_used >= n) return Succeeded(m_hr);
    return Flush();
  }
  // Callers check Room() first.
  void Put(char c) { m_buf[m_used++] = c; }
  void Put(const char* s, size_t n) {
    std::memcpy(m_buf + m_used, s, n);
    m_used += n;
  }
  bool Flush() {
    if (Succeeded(m_hr) && m_used) m_hr = m_out->Write(m_buf, m_used);
    m_used = 0;
    return Succeeded(m_hr);
  }
  HResult Finish() {
    Flush();
    return m_hr;
  }

 private:
  IWriteStream* m_out;
  HResult m_hr = kS_OK;
  size_t m_used = 0;
  char m_buf[kSize];
};

const char kUpperHex[] = "0123456789ABCDEF";
const char kBase64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }
uint32_t CombinePair(char16_t high, char16_t low) {
  return 0x10000u + ((static_cast<uint32_t>(high) - 0xD800u) << 10) + (static_cast<uint32_t>(low) - 0xDC00u);
}

// The white space of XML text.
bool IsXmlSpace(char16_t c) { return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r'; }
bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

// "&#x" + `digits` upper-case hex digits + ";".
void PutCharRef(CBlockOut* b, uint32_t value, int digits) {
  b->Put("&#x", 3);
  for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) b->Put(kUpperHex[(value >> shift) & 0xF]);
  b->Put(';');
}

HResult WriteLiteral(const char* text, IWriteStream* out) { return out->Write(text, std::strlen(text)); }

// Value of one base64 alphabet character, -1 for anything else.
int Base64Value(char16_t c) {
  if (c >= u'A' && c <= u'Z') return c - u'A';
  if (c >= u'a' && c <= u'z') return c - u'a' + 26;
  if (c >= u'0' && c <= u'9') return c - u'0' + 52;
  if (c == u'+') return 62;
  if (c == u'/') return 63;
  return -1;
}

template <typename T>
HResult WriteFloating(T value, IWriteStream* out) {
  if (!out) return kE_POINTER;
  if (std::isnan(value)) return WriteLiteral("NaN", out);
  if (std::isinf(value)) return WriteLiteral(value < 0 ? "-INF" : "INF", out);
  if (value == 0) return WriteLiteral(std::signbit(value) ? "-0" : "0", out);
  // The shortest form that reads back to the same value; to_chars picks fixed or exponent
  // notation by length, and never ends in a bare ".".
  char buf[64];
  std::to_chars_result r = std::to_chars(buf, buf + sizeof(buf), value);
  if (r.ec != std::errc()) return kE_FAIL;
  return out->Write(buf, static_cast<size_t>(r.ptr - buf));
}

// Checks the decimal form (sign, digits, optional fraction and exponent) over the trimmed text.
bool IsDecimalNumber(std::u16string_view s) {
  size_t i = 0;
  const size_t n = s.size();
  if (i < n && (s[i] == u'+' || s[i] == u'-')) ++i;
  size_t mantissaDigits = 0;
  while (i < n && IsDigit(s[i])) ++i, ++mantissaDigits;
  if (i < n && s[i] == u'.') {
    ++i;
    while (i < n && IsDigit(s[i])) ++i, ++mantissaDigits;
  }
  if (mantissaDigits == 0) return false;
  if (i < n && (s[i] == u'e' || s[i] == u'E')) {
    ++i;
    if (i < n && (s[i] == u'+' || s[i] == u'-')) ++i;
    size_t exponentDigits = 0;
    while (i < n && IsDigit(s[i])) ++i, ++exponentDigits;
    if (exponentDigits == 0) return false;
  }
  return i == n;
}

template <typename T>
bool ReadFloating(std::u16string_view text, T* value) {
  if (!value) return false;
  if (text == u"INF") {
    *value = std::numeric_limits<T>::infinity();
    return true;
  }
  if (text == u"-INF") {
    *value = -std::numeric_limits<T>::infinity();
    return true;
  }
  if (text == u"NaN") {
    *value = std::numeric_limits<T>::quiet_NaN();
    return true;
  }
  size_t begin = 0, end = text.size();
  while (begin < end && IsXmlSpace(text[begin])) ++begin;
  while (end > begin && IsXmlSpace(text[end - 1])) --end;
  std::u16string_view number = text.substr(begin, end - begin);
  if (!IsDecimalNumber(number)) return false;
  // from_chars is locale-independent but takes no "+" sign.
  if (number[0] == u'+') number.remove_prefix(1);
  std::string ascii;
  try {
    ascii.assign(number.size(), '\0');
  } catch (const std::bad_alloc&) {
    return false;
  }
  for (size_t i = 0; i < number.size(); ++i) ascii[i] = static_cast<char>(number[i]);
  T parsed = 0;
  const char* first = ascii.data();
  const char* last = first + ascii.size();
  std::from_chars_result r = std::from_chars(first, last, parsed, std::chars_format::general);
  // Overflow and underflow to zero both come back as result_out_of_range.
  if (r.ec != std::errc() || r.ptr != last || !std::isfinite(parsed)) return false;
  *value = parsed;
  return true;
}

}  // namespace

size_t Utf8Length(std::u16string_view text) {
  size_t length = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c < 0x80) {
      length += 1;
    } else if (c < 0x800) {
      length += 2;
    } else if (IsHighSurrogate(c) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      length += 4;
      ++i;
    } else {
      length += 3;
    }
  }
  return length;
}

HResult WriteUtf8(std::u16string_view text, IWriteStream* out) {
  if (!out) return kE_POINTER;
  CBlockOut b(out);
  for (size_t i = 0; i < text.size(); ++i) {
    if (!b.Room(4)) break;
    const uint32_t c = text[i];
    if (c < 0x80) {
      b.Put(static_cast<char>(c));
    } else if (c < 0x800) {
      b.Put(static_cast<char>(0xC0 | (c >> 6)));
      b.Put(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (IsHighSurrogate(text[i]) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      const uint32_t cp = CombinePair(text[i], text[i + 1]);
      ++i;
      b.Put(static_cast<char>(0xF0 | (cp >> 18)));
      b.Put(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      b.Put(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      b.Put(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      // Lone surrogates included: the three-byte form of the unit itself.
      b.Put(static_cast<char>(0xE0 | (c >> 12)));
      b.Put(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
      b.Put(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return b.Finish();
}

HResult WriteEscapedString(std::u16string_view text, IWriteStream* out) {
  if (!out) return kE_POINTER;
  CBlockOut b(out);
  for (size_t i = 0; i < text.size(); ++i) {
    if (!b.Room(10)) break;  // the longest form, "&#x01F600;"
    const char16_t c = text[i];
    if (c == u'&') {
      b.Put("&amp;", 5);
    } else if (c == u'<') {
      b.Put("&lt;", 4);
    } else if (c == u'>') {
      b.Put("&gt;", 4);
    } else if (c >= 0x20 && c <= 0x7E) {
      b.Put(static_cast<char>(c));
    } else if (IsHighSurrogate(c) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      PutCharRef(&b, CombinePair(c, text[i + 1]), 6);
      ++i;
    } else {
      PutCharRef(&b, c, 4);
    }
  }
  return b.Finish();
}

HResult WriteBoolean(uint8_t value, IWriteStream* out) {
  if (!out) return kE_POINTER;
  return value == 1 ? out->Write("true", 4) : out->Write("false", 5);
}

HResult WriteInt(int32_t value, IWriteStream* out) {
  if (!out) return kE_POINTER;
  char buf[16];
  std::to_chars_result r = std::to_chars(buf, buf + sizeof(buf), value);
  return out->Write(buf, static_cast<size_t>(r.ptr - buf));
}

size_t Base64TextLength(size_t size) {
  const size_t groups = size / 3;
  if (groups > (std::numeric_limits<size_t>::max() - 8) / 5) return std::numeric_limits<size_t>::max();
  return groups * 4 + (groups / 19) * 2 + (size % 3 ? 4 : 0);
}

HResult WriteBase64(const uint8_t* data, size_t size, IWriteStream* out) {
  if (!out) return kE_POINTER;
  if (size == 0) return kS_OK;
  if (!data) return kE_POINTER;
  constexpr size_t kGroupsPerLine = 19;
  CBlockOut b(out);
  size_t groups = size / 3;
  const uint8_t* p = data;
  while (groups > 0) {
    if (!b.Room(kGroupsPerLine * 4 + 2)) return b.Finish();
    const size_t lineGroups = groups < kGroupsPerLine ? groups : kGroupsPerLine;
    for (size_t g = 0; g < lineGroups; ++g, p += 3) {
      const uint32_t v = (static_cast<uint32_t>(p[0]) << 16) | (static_cast<uint32_t>(p[1]) << 8) | p[2];
      b.Put(kBase64Alphabet[v >> 18]);
      b.Put(kBase64Alphabet[(v >> 12) & 0x3F]);
      b.Put(kBase64Alphabet[(v >> 6) & 0x3F]);
      b.Put(kBase64Alphabet[v & 0x3F]);
    }
    if (lineGroups == kGroupsPerLine) b.Put("\r\n", 2);
    groups -= lineGroups;
  }
  const size_t rest = size % 3;
  if (rest != 0) {
    if (!b.Room(4)) return b.Finish();
    const uint32_t v = (static_cast<uint32_t>(p[0]) << 16) | (rest == 2 ? static_cast<uint32_t>(p[1]) << 8 : 0u);
    b.Put(kBase64Alphabet[v >> 18]);
    b.Put(kBase64Alphabet[(v >> 12) & 0x3F]);
    b.Put(rest == 2 ? kBase64Alphabet[(v >> 6) & 0x3F] : '=');
    b.Put('=');
  }
  return b.Finish();
}

HResult WriteHexBinary(const uint8_t* data, size_t size, IWriteStream* out) {
  if (!out) return kE_POINTER;
  if (size == 0) return kS_OK;
  if (!data) return kE_POINTER;
  CBlockOut b(out);
  for (size_t i = 0; i < size; ++i) {
    if (!b.Room(2)) break;
    b.Put(kUpperHex[data[i] >> 4]);
    b.Put(kUpperHex[data[i] & 0xF]);
  }
  return b.Finish();
}

HResult WriteFloat(float value, IWriteStream* out) { return WriteFloating(value, out); }
HResult WriteDouble(double value, IWriteStream* out) { return WriteFloating(value, out); }

bool ReadBoolean(std::u16string_view text, bool* value) {
  if (!value) return false;
  if (text == u"true" || text == u"1") {
    *value = true;
    return true;
  }
  if (text == u"false" || text == u"0") {
    *value = false;
    return true;
  }
  return false;
}

bool ReadInt(std::u16string_view text, int32_t* value) {
  if (!value) return false;
  size_t i = 0;
  const size_t n = text.size();
  while (i < n && IsXmlSpace(text[i])) ++i;
  if (i == n) {
    *value = 0;
    return true;
  }
  bool negative = false;
  if (text[i] == u'+' || text[i] == u'-') {
    negative = text[i] == u'-';
    ++i;
  }
  // One past the largest magnitude, so any number of digits cannot overflow the accumulator.
  constexpr uint64_t kLimit = 2147483648u;
  uint64_t magnitude = 0;
  const size_t firstDigit = i;
  while (i < n && IsDigit(text[i])) {
    magnitude = magnitude * 10 + static_cast<uint64_t>(text[i] - u'0');
    if (magnitude > kLimit) return false;
    ++i;
  }
  if (i == firstDigit) return false;
  while (i < n && IsXmlSpace(text[i])) ++i;
  if (i != n) return false;
  if (!negative && magnitude == kLimit) return false;
  *value = negative ? static_cast<int32_t>(-static_cast<int64_t>(magnitude)) : static_cast<int32_t>(magnitude);
  return true;
}

bool ReadFloat(std::u16string_view text, float* value) { return ReadFloating(text, value); }
bool ReadDouble(std::u16string_view text, double* value) { return ReadFloating(text, value); }

size_t Base64DecodedSize(std::u16string_view text) {
  size_t count = 0;
  for (char16_t c : text) {
    if (c == 0) break;
    if (Base64Value(c) >= 0) ++count;
  }
  const size_t rest = count % 4;
  return count / 4 * 3 + (rest == 2 ? 1 : rest == 3 ? 2 : 0);
}

size_t DecodeBase64(std::u16string_view text, uint8_t* out) {
  if (!out) return 0;
  size_t written = 0;
  uint32_t quad = 0;
  int have = 0;
  for (char16_t c : text) {
    if (c == 0) break;
    const int v = Base64Value(c);
    if (v < 0) continue;
    quad = (quad << 6) | static_cast<uint32_t>(v);
    if (++have == 4) {
      out[written++] = static_cast<uint8_t>(quad >> 16);
      out[written++] = static_cast<uint8_t>(quad >> 8);
      out[written++] = static_cast<uint8_t>(quad);
      quad = 0;
      have = 0;
    }
  }
  // A lone final character carries fewer than eight bits and gives nothing.
  if (have == 2) {
    out[written++] = static_cast<uint8_t>(quad >> 4);
  } else if (have == 3) {
    out[written++] = static_cast<uint8_t>(quad >> 10);
    out[written++] = static_cast<uint8_t>(quad >> 2);
  }
  return written;
}

bool ReadBase64(std::u16string_view text, std::vector<uint8_t>* bytes) {
  if (!bytes) return false;
  const size_t size = Base64DecodedSize(text);
  try {
    bytes->assign(size, 0);
  } catch (const std::bad_alloc&) {
    return false;
  } catch (const std::length_error&) {
    return false;
  }
  if (size) DecodeBase64(text, bytes->data());
  return true;
}
