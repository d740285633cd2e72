// An http URL split into its parts.
#pragma once

#include <cstdint>
#include <string>

struct CUrl {
  std::u16string scheme;  // lower case, e.g. "http"
  std::u16string host;
  uint16_t port = 0;      // 0 when the text gave none
  std::u16string path;    // begins with "/" when present
  std::u16string extra;   // "?query" and/or "#fragment", as given

  // Splits text of the form scheme://host[:port][/path][?query]. False on anything else.
  bool Parse(const std::u16string& text);
  void Clear();
  // scheme://host[:port]path+extra; the port is written only when not 80.
  std::u16string ToString() const;
};
