#include "photo/file_source.h"

#include <cstdio>
#include <sys/stat.h>

namespace photo {

namespace {

// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string Utf8(const std::u16string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

}  // namespace

FileSource::~FileSource() {
  if (m_handle != nullptr) std::fclose(static_cast<FILE*>(m_handle));
}

bool FileSource::Open(const std::u16string& path) {
  if (m_handle != nullptr || path.empty()) return false;
  FILE* file = std::fopen(Utf8(path).c_str(), "rb");
  if (file == nullptr) return false;
  struct stat info {};
  if (fstat(fileno(file), &info) != 0 || !S_ISREG(info.st_mode)) {
    std::fclose(file);
    return false;
  }
  m_handle = file;
  m_size = static_cast<uint64_t>(info.st_size);
  return true;
}

size_t FileSource::Read(uint8_t* buffer, size_t size) {
  return m_handle != nullptr ? std::fread(buffer, 1, size, static_cast<FILE*>(m_handle)) : 0;
}

bool FileSource::Seek(uint64_t position) {
  if (m_handle == nullptr || position > m_size) return false;
  return fseeko(static_cast<FILE*>(m_handle), static_cast<off_t>(position), SEEK_SET) == 0;
}

}  // namespace photo
