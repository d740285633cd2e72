#include "common/settings.h"

#include <windows.h>

std::wstring GetSettingsPath() {
  wchar_t buffer[MAX_PATH];
  const DWORD n = ExpandEnvironmentStringsW(L"%APPDATA%", buffer, MAX_PATH);
  if (n == 0 || n > MAX_PATH) return std::wstring();
  std::wstring path(buffer);
  path += L"\\user.ini";
  if (path.size() >= MAX_PATH) return std::wstring();
  return path;
}

namespace {

std::wstring Shift(const std::wstring& text, wchar_t by) {
  std::wstring out(text);
  for (wchar_t& c : out) c = static_cast<wchar_t>(static_cast<unsigned short>(c + by));
  return out;
}

// The profile functions write a new file in the ANSI code page, which would lose the units that
// ShiftEncode makes (U+0080 and up, for '{' to '~'); a file that starts UTF-16 stays UTF-16.
bool EnsureUnicodeFile(const std::wstring& path) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_EXISTS;
  static const unsigned char kByteOrderMark[2] = {0xFF, 0xFE};
  DWORD written = 0;
  const BOOL ok = WriteFile(h, kByteOrderMark, sizeof kByteOrderMark, &written, nullptr);
  CloseHandle(h);
  return ok && written == sizeof kByteOrderMark;
}

}  // namespace

std::wstring ShiftEncode(const std::wstring& text) { return Shift(text, 5); }
std::wstring ShiftDecode(const std::wstring& text) { return Shift(text, static_cast<wchar_t>(-5)); }

int ReadSettingInt(const wchar_t* key, int fallback) {
  const std::wstring path = GetSettingsPath();
  if (path.empty()) return fallback;
  return static_cast<int>(GetPrivateProfileIntW(settings::kSection, key, fallback, path.c_str()));
}

std::wstring ReadSetting(const wchar_t* key) {
  const std::wstring path = GetSettingsPath();
  if (path.empty()) return std::wstring();
  wchar_t buffer[settings::kValueBuffer] = {};
  GetPrivateProfileStringW(settings::kSection, key, L"", buffer, settings::kValueBuffer, path.c_str());
  return buffer;
}

bool WriteSetting(const wchar_t* key, const std::wstring& value) {
  const std::wstring path = GetSettingsPath();
  if (path.empty() || !EnsureUnicodeFile(path)) return false;
  return WritePrivateProfileStringW(settings::kSection, key, value.c_str(), path.c_str()) != FALSE;
}

void WriteRememberedLogin(int remember, const std::wstring& loginUserName, const std::wstring& savedPassword) {
  if (remember && !loginUserName.empty()) {
    WriteSetting(settings::kState, L"1");
    WriteSetting(settings::kUserName, ShiftEncode(loginUserName));
    WriteSetting(settings::kPassword, ShiftEncode(savedPassword));
    return;
  }
  WriteSetting(settings::kState, std::to_wstring(remember));
}
