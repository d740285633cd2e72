// Escaping of text placed into XML or HTML, in element content or in quoted attribute values.
#pragma once

#include <string>
#include <string_view>

namespace fotrel::service {

// & < > " ' become entity or character references; everything else is copied.
std::string EscapeMarkup(std::string_view text);
void AppendEscaped(std::string& out, std::string_view text);
// Element content only: & < > are escaped, quotes stay as they are.
void AppendEscapedText(std::string& out, std::string_view text);

}  // namespace fotrel::service
