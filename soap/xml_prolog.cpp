#include "soap/xml_prolog.h"

#include <cstdint>

namespace {

enum class Encoding { kUtf8, kUtf16Le, kUtf16Be };

class CUnits {
 public:
  CUnits(const unsigned char* bytes, size_t length, Encoding encoding)
      : m_bytes(bytes), m_encoding(encoding), m_count(encoding == Encoding::kUtf8 ? length : length / 2) {}

  size_t Count() const { return m_count; }
  uint32_t At(size_t i) const {
    switch (m_encoding) {
      case Encoding::kUtf16Le:
        return static_cast<uint32_t>(m_bytes[2 * i] | (m_bytes[2 * i + 1] << 8));
      case Encoding::kUtf16Be:
        return static_cast<uint32_t>((m_bytes[2 * i] << 8) | m_bytes[2 * i + 1]);
      default:
        return m_bytes[i];
    }
  }
  bool StartsWith(size_t i, const char* literal) const {
    for (; *literal; ++literal, ++i) {
      if (i >= m_count || At(i) != static_cast<unsigned char>(*literal)) return false;
    }
    return true;
  }
  // Position just after the next occurrence of `literal` from `i`; Count() + 1 when none.
  size_t After(size_t i, const char* literal, size_t literalLength) const {
    for (; i + literalLength <= m_count; ++i) {
      if (StartsWith(i, literal)) return i + literalLength;
    }
    return m_count + 1;
  }

 private:
  const unsigned char* m_bytes;
  Encoding m_encoding;
  size_t m_count;
};

bool IsSpace(uint32_t c) { return c == 0x20 || c == 0x09 || c == 0x0D || c == 0x0A; }

}  // namespace

bool IsPlainXmlProlog(const char* data, size_t length) {
  if (!data) return false;
  const auto* bytes = reinterpret_cast<const unsigned char*>(data);
  Encoding encoding = Encoding::kUtf8;
  size_t start = 0;
  if (length >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
    start = 3;
  } else if (length >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
    encoding = Encoding::kUtf16Le;
    start = 2;
  } else if (length >= 2 && bytes[0] == 0xFE && bytes[1] == 0xFF) {
    encoding = Encoding::kUtf16Be;
    start = 2;
  } else if (length >= 2 && bytes[0] == '<' && bytes[1] == 0) {
    encoding = Encoding::kUtf16Le;
  } else if (length >= 2 && bytes[0] == 0 && bytes[1] == '<') {
    encoding = Encoding::kUtf16Be;
  }
  const CUnits units(bytes + start, length - start, encoding);
  const size_t n = units.Count();
  size_t i = 0;
  for (;;) {
    while (i < n && IsSpace(units.At(i))) ++i;
    if (i >= n || units.At(i) != '<') return false;
    if (units.StartsWith(i, "<?")) {
      i = units.After(i + 2, "?>", 2);
    } else if (units.StartsWith(i, "<!--")) {
      i = units.After(i + 4, "-->", 3);
    } else if (units.StartsWith(i, "<!")) {
      return false;  // a document type declaration, or CDATA before the root
    } else {
      // The root element's start tag: a name must follow.
      return i + 1 < n && units.At(i + 1) != 0 && !IsSpace(units.At(i + 1));
    }
    if (i > n) return false;
  }
}
