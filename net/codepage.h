// Conversion between UTF-16 and the ANSI code page used for HTTP header text.
// On Windows this is the system's ANSI code page; elsewhere UTF-8.
#pragma once

#include <string>
#include <string_view>

std::string Utf16ToAnsi(std::u16string_view text);
std::u16string AnsiToUtf16(std::string_view text);
