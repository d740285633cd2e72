// The settings file: its place, section and keys, the shift coding, and what a remembered login writes.
#include "app/settings.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <iterator>
#include <string>

#include "tests/gui/gui_test_util.h"

namespace {

using guitest::AppDataScope;

// The file's text (UTF-16 after its byte-order mark); "?" when it has no such mark.
std::wstring FileText(const AppDataScope& appData) {
  std::ifstream in(appData.dir.Path() / "user.ini", std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (bytes.size() < 2 || bytes.compare(0, 2, "\xFF\xFE") != 0) return L"?";
  std::wstring text;
  for (size_t i = 2; i + 1 < bytes.size(); i += 2)
    text.push_back(wchar_t(uint8_t(bytes[i]) | (uint8_t(bytes[i + 1]) << 8)));
  return text;
}

TEST(SettingsTest, PathFormatAndShiftCoding) {
  AppDataScope appData;
  EXPECT_EQ(GetSettingsPath(), appData.dir.Path().wstring() + L"\\user.ini");
  // No file: the defaults.
  EXPECT_EQ(ReadSettingInt(settings::kState, 0), 0);
  EXPECT_EQ(ReadSetting(settings::kUserName), L"");
  EXPECT_FALSE(appData.SettingsFileExists());

  EXPECT_EQ(ShiftEncode(L"abc"), L"fgh");
  EXPECT_EQ(ShiftDecode(L"fgh"), L"abc");
  EXPECT_EQ(ShiftEncode(L"{|}~"), std::wstring(L"\x0080\x0081\x0082\x0083"));
  EXPECT_EQ(ShiftEncode(std::wstring(1, wchar_t(0xFFFF))), std::wstring(1, wchar_t(4)));
  EXPECT_EQ(ShiftDecode(std::wstring(1, wchar_t(2))), std::wstring(1, wchar_t(0xFFFD)));

  // One section, plain key=value lines; the shifted units and Chinese survive the file.
  WriteRememberedLogin(1, L"abc", L"pa{ss}~");
  WriteSetting(settings::kUploadUser, L"用户{|}~");
  const std::wstring text = FileText(appData);
  EXPECT_NE(text.find(L"[UserConfig]\r\n"), std::wstring::npos) << text;
  EXPECT_NE(text.find(L"State=1\r\n"), std::wstring::npos) << text;
  EXPECT_NE(text.find(L"userName=fgh\r\n"), std::wstring::npos) << text;
  EXPECT_NE(text.find(L"userPassWord=" + ShiftEncode(L"pa{ss}~") + L"\r\n"), std::wstring::npos) << text;
  EXPECT_NE(text.find(L"UserNameForUpLoad=用户{|}~"), std::wstring::npos) << text;
  EXPECT_EQ(ShiftDecode(ReadSetting(settings::kPassword)), L"pa{ss}~");
  EXPECT_EQ(ReadSetting(settings::kUploadUser), L"用户{|}~");

  // Values are read into 260 units: 259 and the end.
  WriteSetting(settings::kUploadUser, std::wstring(300, L'x'));
  EXPECT_EQ(ReadSetting(settings::kUploadUser), std::wstring(259, L'x'));
  WriteSetting(settings::kState, L"yes");
  EXPECT_EQ(ReadSettingInt(settings::kState, 7), 0);
}

TEST(SettingsTest, UncheckedOrNamelessLoginWritesStateAloneAndKeepsTheEarlierValues) {
  AppDataScope appData;
  WriteRememberedLogin(1, L"first", L"secret");
  WriteRememberedLogin(0, L"second", L"other");
  EXPECT_EQ(ReadSettingInt(settings::kState, 7), 0);
  EXPECT_EQ(ShiftDecode(ReadSetting(settings::kUserName)), L"first");
  EXPECT_EQ(ShiftDecode(ReadSetting(settings::kPassword)), L"secret");
  // Checked but with an empty login name: State "1" alone.
  WriteRememberedLogin(1, L"", L"x");
  EXPECT_EQ(ReadSettingInt(settings::kState, 0), 1);
  EXPECT_EQ(ShiftDecode(ReadSetting(settings::kUserName)), L"first");
  EXPECT_EQ(ShiftDecode(ReadSetting(settings::kPassword)), L"secret");
}

}  // namespace
