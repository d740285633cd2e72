#include "service/names.h"

#include <cstdio>

namespace fotrel::service {

namespace {

// Length of the UTF-8 sequence that starts at text[i], or 0 when it is not well formed.
size_t SequenceLength(std::string_view text, size_t i) {
  auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  unsigned char lead = byte(i);
  size_t length;
  unsigned long minimum;
  unsigned long code;
  if (lead < 0x80) return 1;
  if ((lead & 0xE0) == 0xC0) {
    length = 2, minimum = 0x80, code = lead & 0x1F;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, minimum = 0x800, code = lead & 0x0F;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, minimum = 0x10000, code = lead & 0x07;
  } else {
    return 0;
  }
  if (text.size() - i < length) return 0;
  for (size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    code = (code << 6) | (byte(i + k) & 0x3F);
  }
  if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  return length;
}

bool IsXmlSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

size_t Utf16Length(std::string_view utf8) {
  size_t units = 0;
  for (char c : utf8) {
    unsigned char b = static_cast<unsigned char>(c);
    if ((b & 0xC0) != 0x80) units += b >= 0xF0 ? 2 : 1;
  }
  return units;
}

bool IsValidUtf8(std::string_view text) {
  for (size_t i = 0; i < text.size();) {
    size_t length = SequenceLength(text, i);
    if (length == 0) return false;
    i += length;
  }
  return true;
}

NameProblem CheckName(std::string_view name) {
  if (name.empty()) return NameProblem::kEmpty;
  if (name.size() > kMaxNameBytes) return NameProblem::kTooLong;
  if (!IsValidUtf8(name)) return NameProblem::kBadText;
  for (size_t i = 0; i < name.size(); ++i) {
    unsigned char b = static_cast<unsigned char>(name[i]);
    if (b == '/' || b == '\\') return NameProblem::kSeparator;
    if (b < 0x20 || b == 0x7F) return NameProblem::kControl;
    // C1 controls U+0080..U+009F are C2 80..C2 9F in UTF-8.
    if (b == 0xC2 && i + 1 < name.size() && static_cast<unsigned char>(name[i + 1]) <= 0x9F)
      return NameProblem::kControl;
  }
  if (name.find("..") != std::string_view::npos || name == ".") return NameProblem::kDotDot;
  return NameProblem::kNone;
}

const char* Describe(NameProblem problem) {
  switch (problem) {
    case NameProblem::kNone: return "is acceptable";
    case NameProblem::kEmpty: return "is empty";
    case NameProblem::kTooLong: return "is longer than 255 bytes";
    case NameProblem::kSeparator: return "contains a path separator";
    case NameProblem::kDotDot: return "contains \"..\" or is \".\"";
    case NameProblem::kControl: return "contains a control character";
    case NameProblem::kBadText: return "is not valid text";
  }
  return "is not acceptable";
}

int PieceIndex(std::string_view pieceName) {
  constexpr std::string_view kSuffix = ".jpg";
  if (pieceName.size() < kSuffix.size() + 1 || pieceName.size() > kSuffix.size() + 2) return -1;
  if (pieceName.substr(pieceName.size() - kSuffix.size()) != kSuffix) return -1;
  std::string_view digits = pieceName.substr(0, pieceName.size() - kSuffix.size());
  int value = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return -1;
    value = value * 10 + (c - '0');
  }
  if (digits.size() > 1 && digits[0] == '0') return -1;
  return value <= kMaxPieceIndex ? value : -1;
}

std::string AlternativeName(std::string_view name, unsigned k) {
  size_t dot = name.rfind('.');
  if (dot == 0 || dot == std::string_view::npos) dot = name.size();
  std::string suffix = "-" + std::to_string(k);
  std::string_view stem = name.substr(0, dot);
  std::string_view extension = name.substr(dot);
  if (suffix.size() + extension.size() > kMaxNameBytes) extension = {};
  size_t budget = kMaxNameBytes - suffix.size() - extension.size();
  if (stem.size() > budget) {
    size_t keep = budget;
    // Cut before a lead byte, never inside a character.
    while (keep > 0 && (static_cast<unsigned char>(stem[keep]) & 0xC0) == 0x80) --keep;
    stem = stem.substr(0, keep);
  }
  return std::string(stem) + suffix + std::string(extension);
}

bool ParseBoolean(std::string_view text, bool* value) {
  while (!text.empty() && IsXmlSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsXmlSpace(text.back())) text.remove_suffix(1);
  if (text == "true" || text == "1") {
    *value = true;
    return true;
  }
  if (text == "false" || text == "0") {
    *value = false;
    return true;
  }
  return false;
}

std::string LogSafe(std::string_view text, size_t maxBytes) {
  std::string out;
  bool cut = text.size() > maxBytes;
  if (cut) text = text.substr(0, maxBytes);
  auto escape = [&](unsigned char b) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "\\x%02X", b);
    out += hex;
  };
  for (size_t i = 0; i < text.size();) {
    unsigned char b = static_cast<unsigned char>(text[i]);
    size_t length = SequenceLength(text, i);
    bool c1 = b == 0xC2 && length == 2 && static_cast<unsigned char>(text[i + 1]) <= 0x9F;
    if (length == 0 || b < 0x20 || b == 0x7F || b == '\\' || c1) {
      if (b == '\\') {
        out += "\\\\";
        ++i;
        continue;
      }
      size_t n = length == 0 ? 1 : length;
      for (size_t k = 0; k < n; ++k) escape(static_cast<unsigned char>(text[i + k]));
      i += n;
      continue;
    }
    out.append(text.substr(i, length));
    i += length;
  }
  if (cut) out += "...";
  return out;
}

}  // namespace fotrel::service
