// Header text travels in the system's ANSI code page.
#include "net/codepage.h"

#include <windows.h>

#include <climits>

std::string Utf16ToAnsi(std::u16string_view text) {
  if (text.empty() || text.size() > static_cast<size_t>(INT_MAX)) return std::string();
  const wchar_t* src = reinterpret_cast<const wchar_t*>(text.data());
  const int srcLen = static_cast<int>(text.size());
  const int needed = WideCharToMultiByte(CP_ACP, 0, src, srcLen, nullptr, 0, nullptr, nullptr);
  if (needed <= 0) return std::string();
  std::string out(static_cast<size_t>(needed), '\0');
  const int written = WideCharToMultiByte(CP_ACP, 0, src, srcLen, &out[0], needed, nullptr, nullptr);
  out.resize(written > 0 ? static_cast<size_t>(written) : 0);
  return out;
}

std::u16string AnsiToUtf16(std::string_view text) {
  if (text.empty() || text.size() > static_cast<size_t>(INT_MAX)) return std::u16string();
  const int srcLen = static_cast<int>(text.size());
  const int needed = MultiByteToWideChar(CP_ACP, 0, text.data(), srcLen, nullptr, 0);
  if (needed <= 0) return std::u16string();
  std::u16string out(static_cast<size_t>(needed), u'\0');
  const int written =
      MultiByteToWideChar(CP_ACP, 0, text.data(), srcLen, reinterpret_cast<wchar_t*>(&out[0]), needed);
  out.resize(written > 0 ? static_cast<size_t>(written) : 0);
  return out;
}
