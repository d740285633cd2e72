// The readers of response values over arbitrary text (input bytes taken as UTF-16LE units),
// with round trips through the matching writers.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "soap/value_encoding.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

std::u16string Widen(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

void Booleans(std::u16string_view text) {
  bool v = false;
  if (ReadBoolean(text, &v)) {
    Check(text == u"true" || text == u"1" || text == u"false" || text == u"0");
    Check(v == (text == u"true" || text == u"1"));
  }
}

void Ints(std::u16string_view text) {
  int32_t v = 12345;
  if (!ReadInt(text, &v)) {
    Check(v == 12345);
    return;
  }
  CStringWriteStream s;
  Check(WriteInt(v, &s) == kS_OK);
  int32_t back = 0;
  Check(ReadInt(Widen(s.Data()), &back) && back == v);
}

template <typename T, typename Read, typename Write>
void Floats(std::u16string_view text, Read read, Write write) {
  T v = 0;
  if (!read(text, &v)) return;
  CStringWriteStream s;
  Check(write(v, &s) == kS_OK);
  T back = 0;
  Check(read(Widen(s.Data()), &back));
  if (std::isnan(v)) {
    Check(std::isnan(back));
  } else {
    Check(std::memcmp(&v, &back, sizeof(T)) == 0);
  }
}

void Base64(std::u16string_view text) {
  const size_t size = Base64DecodedSize(text);
  std::vector<uint8_t> bytes(size + 1, 0xA5);
  Check(DecodeBase64(text, bytes.data()) == size);
  Check(bytes[size] == 0xA5);  // never beyond the announced size
  bytes.resize(size);
  CStringWriteStream s;
  Check(WriteBase64(bytes.data(), bytes.size(), &s) == kS_OK);
  Check(s.Data().size() == Base64TextLength(size));
  std::vector<uint8_t> again;
  Check(ReadBase64(Widen(s.Data()), &again) && again == bytes);
}

void Escape(std::u16string_view text) {
  CStringWriteStream s;
  Check(WriteEscapedString(text, &s) == kS_OK);
  for (char c : s.Data()) Check(c >= 0x20 && c <= 0x7E);
  CStringWriteStream u;
  Check(WriteUtf8(text, &u) == kS_OK && u.Data().size() == Utf8Length(text));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::u16string text(size / 2, u'\0');
  for (size_t i = 0; i < text.size(); ++i) {
    text[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
  }
  Booleans(text);
  Ints(text);
  Floats<double>(text, ReadDouble, WriteDouble);
  Floats<float>(text, ReadFloat, WriteFloat);
  Base64(text);
  Escape(text);
  return 0;
}
