#include "service/base64.h"

namespace fotrel::service {

namespace {

int Value(unsigned char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

}  // namespace

bool Base64Decoder::Feed(const char* text, size_t length, uint8_t* out, size_t* produced) {
  size_t n = 0;
  for (size_t i = 0; i < length; ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') continue;
    if (c == '=') {
      // Padding fills the third and fourth place of the last group only.
      if (m_count + m_padding < 2 || m_count + m_padding >= 4) {
        *produced = n;
        return false;
      }
      ++m_padding;
      if (m_count + m_padding == 4) {
        if (m_count == 2) out[n++] = static_cast<uint8_t>(m_bits >> 4);
        if (m_count == 3) {
          out[n++] = static_cast<uint8_t>(m_bits >> 10);
          out[n++] = static_cast<uint8_t>(m_bits >> 2);
        }
        m_count = 4;  // the group is closed; nothing may follow
      }
      continue;
    }
    int value = Value(c);
    if (value < 0 || m_padding > 0) {
      *produced = n;
      return false;
    }
    m_bits = (m_bits << 6) | static_cast<uint32_t>(value);
    if (++m_count == 4) {
      out[n++] = static_cast<uint8_t>(m_bits >> 16);
      out[n++] = static_cast<uint8_t>(m_bits >> 8);
      out[n++] = static_cast<uint8_t>(m_bits);
      m_bits = 0;
      m_count = 0;
    }
  }
  *produced = n;
  return true;
}

bool Base64Decoder::Finish() const {
  if (m_padding > 0) return m_count == 4;
  return m_count == 0;
}

}  // namespace fotrel::service
