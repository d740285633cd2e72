// Splitting and writing http URLs. Anything that could break a request line (blanks, control
// characters) or an over-long URL is refused here, so later code can paste the parts as they are.
#include "net/url.h"

#include <algorithm>

namespace {

// The longest URL the client handles, the same bound as the service clients' endpoint URLs.
constexpr size_t kMaxUrlLength = 2083;

bool IsAlpha(char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }
bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }
bool IsHexDigit(char16_t c) {
  return IsDigit(c) || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}
bool IsHostChar(char16_t c) {
  return IsAlpha(c) || IsDigit(c) || c == u'-' || c == u'.' || c == u'_' || c == u'~';
}

}  // namespace

void CUrl::Clear() {
  scheme.clear();
  host.clear();
  port = 0;
  path.clear();
  extra.clear();
}

bool CUrl::Parse(const std::u16string& text) {
  Clear();
  if (text.empty() || text.size() > kMaxUrlLength) return false;
  for (char16_t c : text) {
    if (c <= 0x20 || c == 0x7F) return false;
  }

  // scheme "://"
  const size_t sep = text.find(u"://");
  if (sep == std::u16string::npos || sep == 0 || !IsAlpha(text[0])) return false;
  std::u16string parsedScheme;
  for (size_t i = 0; i < sep; ++i) {
    char16_t c = text[i];
    if (!(IsAlpha(c) || IsDigit(c) || c == u'+' || c == u'-' || c == u'.')) return false;
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    parsedScheme.push_back(c);
  }

  // authority: host[:port], up to the path, query or fragment
  size_t pos = sep + 3;
  const size_t authorityEnd = text.find_first_of(u"/?#", pos);
  const size_t end = authorityEnd == std::u16string::npos ? text.size() : authorityEnd;
  std::u16string parsedHost;
  if (pos < end && text[pos] == u'[') {
    // An IPv6 literal; kept without its brackets.
    const size_t close = text.find(u']', pos);
    if (close == std::u16string::npos || close >= end || close == pos + 1) return false;
    for (size_t i = pos + 1; i < close; ++i) {
      const char16_t c = text[i];
      if (!(IsHexDigit(c) || c == u':' || c == u'.')) return false;
    }
    parsedHost = text.substr(pos + 1, close - pos - 1);
    pos = close + 1;
  } else {
    const size_t hostEnd = std::min(text.find(u':', pos), end);
    for (size_t i = pos; i < hostEnd; ++i) {
      if (!IsHostChar(text[i])) return false;
    }
    parsedHost = text.substr(pos, hostEnd - pos);
    pos = hostEnd;
  }
  if (parsedHost.empty()) return false;

  uint32_t parsedPort = 0;
  if (pos < end) {
    if (text[pos] != u':' || pos + 1 == end) return false;
    for (size_t i = pos + 1; i < end; ++i) {
      if (!IsDigit(text[i])) return false;
      parsedPort = parsedPort * 10 + static_cast<uint32_t>(text[i] - u'0');
      if (parsedPort > 65535) return false;
    }
    if (parsedPort == 0) return false;
  }

  // path, then the extra part from the first '?' or '#'
  std::u16string parsedPath;
  std::u16string parsedExtra;
  if (end < text.size()) {
    const size_t extraStart = text.find_first_of(u"?#", end);
    if (extraStart == std::u16string::npos) {
      parsedPath = text.substr(end);
    } else {
      parsedPath = text.substr(end, extraStart - end);
      parsedExtra = text.substr(extraStart);
    }
  }

  scheme = std::move(parsedScheme);
  host = std::move(parsedHost);
  port = static_cast<uint16_t>(parsedPort);
  path = std::move(parsedPath);
  extra = std::move(parsedExtra);
  return true;
}

std::u16string CUrl::ToString() const {
  std::u16string out = scheme;
  out += u"://";
  const bool literal6 = host.find(u':') != std::u16string::npos;
  if (literal6) out += u'[';
  out += host;
  if (literal6) out += u']';
  if (port != 0 && port != 80) {
    out += u':';
    std::string digits = std::to_string(port);
    out.append(digits.begin(), digits.end());
  }
  out += path;
  out += extra;
  return out;
}
