// The settings file: its place, section and keys, the shift coding, and what a remembered login writes.
#include "common/settings.h"

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

TEST(SettingsTest, FileFormatShiftCodingAndWhatARememberedLoginKeeps) {
  AppDataScope appData;
  EXPECT_EQ(GetSettingsPath(), appData.dir.Path().wstring() + L"\\user.ini");
  EXPECT_EQ(ReadSettingInt(settings::kState, 0), 0);  // no file: the defaults
  EXPECT_EQ(ShiftEncode(L"{|}~"), std::wstring(L"\x0080\x0081\x0082\x0083"));
  EXPECT_EQ(ShiftEncode(std::wstring(1, wchar_t(0xFFFF))), std::wstring(1, wchar_t(4)));

  // One section, plain key=value lines; the shifted units and Chinese survive the file.
  WriteRememberedLogin(1, L"abc", L"pa{ss}~");
  WriteSetting(settings::kUploadUser, L"用户{|}~");
  const std::wstring text = FileText(appData);
  const std::wstring lines[] = {L"[UserConfig]\r\n", L"State=1\r\n", L"userName=fgh\r\n",
                                L"userPassWord=" + ShiftEncode(L"pa{ss}~") + L"\r\n", L"UserNameForUpLoad=用户{|}~"};
  for (const std::wstring& line : lines) EXPECT_NE(text.find(line), std::wstring::npos) << text;
  EXPECT_EQ(ShiftDecode(ReadSetting(settings::kPassword)), L"pa{ss}~");
  EXPECT_EQ(ReadSetting(settings::kUploadUser), L"用户{|}~");

  // Unchecked, or checked without a name: State alone, the earlier values stay.
  WriteRememberedLogin(0, L"second", L"other");
  EXPECT_EQ(ReadSettingInt(settings::kState, 7), 0);
  WriteRememberedLogin(1, L"", L"x");
  EXPECT_EQ(ReadSettingInt(settings::kState, 0), 1);
  EXPECT_EQ(ShiftDecode(ReadSetting(settings::kUserName)), L"abc");
  EXPECT_EQ(ShiftDecode(ReadSetting(settings::kPassword)), L"pa{ss}~");
}

}  // namespace
