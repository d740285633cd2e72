// The settings file %APPDATA%\user.ini, section UserConfig: the remember-password flag, the
// remembered user name and password (shifted by 5 code units) and the signed-in user's name.
#pragma once

#include <string>

namespace settings {

constexpr const wchar_t* kSection = L"UserConfig";
constexpr const wchar_t* kState = L"State";
constexpr const wchar_t* kUserName = L"userName";
constexpr const wchar_t* kPassword = L"userPassWord";
constexpr const wchar_t* kUploadUser = L"UserNameForUpLoad";
// Strings are read into buffers of this many code units, the terminating zero included.
constexpr unsigned kValueBuffer = 260;

}  // namespace settings

// The expansion of "%APPDATA%" followed by "\user.ini"; empty when it does not fit 260 units.
std::wstring GetSettingsPath();
// Adds (subtracts) 5 to every code unit, modulo 65536; the length stays.
std::wstring ShiftEncode(const std::wstring& text);
std::wstring ShiftDecode(const std::wstring& text);

// A key of section UserConfig as an integer; `fallback` when absent or not a number.
int ReadSettingInt(const wchar_t* key, int fallback);
// A key of section UserConfig (at most 259 code units); empty when absent.
std::wstring ReadSetting(const wchar_t* key);
// Writes a key of section UserConfig. The file is made UTF-16 (with a byte-order mark) when it
// does not exist yet, so every code unit ShiftEncode produces survives.
bool WriteSetting(const wchar_t* key, const std::wstring& value);

// After a successful login or registration, once the dialog's controls are read back: the
// remembered name and password when the box is checked and the name is not empty, else State alone.
void WriteRememberedLogin(int remember, const std::wstring& loginUserName, const std::wstring& savedPassword);
