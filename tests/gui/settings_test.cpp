#include "app/settings.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <fstream>
#include <iterator>
#include <vector>

#include "tests/support/temp_dir.h"

namespace {

// Points %APPDATA% at a fresh folder for one test.
class SettingsTest : public testing::Test {
 protected:
  void SetUp() override {
    wchar_t old[MAX_PATH] = {};
    m_hadOld = GetEnvironmentVariableW(L"APPDATA", old, MAX_PATH) > 0;
    m_old = old;
    SetEnvironmentVariableW(L"APPDATA", m_dir.Path().wstring().c_str());
  }
  void TearDown() override { SetEnvironmentVariableW(L"APPDATA", m_hadOld ? m_old.c_str() : nullptr); }

  std::vector<unsigned char> FileBytes() const {
    std::ifstream in(m_dir.Path() / "user.ini", std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  TempDir m_dir;
  std::wstring m_old;
  bool m_hadOld = false;
};

TEST_F(SettingsTest, PathIsAppDataUserIni) {
  EXPECT_EQ(GetSettingsPath(), m_dir.Path().wstring() + L"\\user.ini");
}

TEST_F(SettingsTest, DefaultsWithoutAFile) {
  EXPECT_EQ(ReadSettingInt(settings::kState, 0), 0);
  EXPECT_EQ(ReadSetting(settings::kUserName), L"");
  EXPECT_EQ(ReadSetting(settings::kUploadUser), L"");
}

TEST_F(SettingsTest, ShiftByFiveKeepsLength) {
  EXPECT_EQ(ShiftEncode(L"abc"), L"fgh");
  EXPECT_EQ(ShiftDecode(L"fgh"), L"abc");
  EXPECT_EQ(ShiftEncode(L"{|}~"), std::wstring(L"\x0080\x0081\x0082\x0083"));
  EXPECT_EQ(ShiftEncode(std::wstring(1, wchar_t(0xFFFF))), std::wstring(1, wchar_t(4)));
  const std::wstring mixed = L"张三{|}~ \"x\"";
  EXPECT_EQ(ShiftDecode(ShiftEncode(mixed)), mixed);
}

TEST_F(SettingsTest, ShiftedUnitsAndChineseSurviveTheFile) {
  WriteRememberedLogin(1, L"用户{|}~", L"pa{ss}~");
  EXPECT_EQ(ReadSettingInt(settings::kState, 0), 1);
  EXPECT_EQ(ShiftDecode(ReadSetting(settings::kUserName)), L"用户{|}~");
  EXPECT_EQ(ShiftDecode(ReadSetting(settings::kPassword)), L"pa{ss}~");
  const std::vector<unsigned char> bytes = FileBytes();
  ASSERT_GE(bytes.size(), 2u);
  EXPECT_EQ(bytes[0], 0xFF);
  EXPECT_EQ(bytes[1], 0xFE);
}

TEST_F(SettingsTest, UserNameIsStoredShifted) {
  WriteRememberedLogin(1, L"abc", L"");
  EXPECT_EQ(ReadSetting(settings::kUserName), L"fgh");
}

TEST_F(SettingsTest, UncheckedBoxWritesOnlyStateAndKeepsEarlierValues) {
  WriteRememberedLogin(1, L"first", L"secret");
  WriteSetting(settings::kUploadUser, L"second");
  WriteRememberedLogin(0, L"second", L"other");
  EXPECT_EQ(ReadSettingInt(settings::kState, 7), 0);
  EXPECT_EQ(ShiftDecode(ReadSetting(settings::kUserName)), L"first");
  EXPECT_EQ(ShiftDecode(ReadSetting(settings::kPassword)), L"secret");
  EXPECT_EQ(ReadSetting(settings::kUploadUser), L"second");
  // Checked but with an empty login name: State "1" alone.
  WriteRememberedLogin(1, L"", L"x");
  EXPECT_EQ(ReadSettingInt(settings::kState, 0), 1);
  EXPECT_EQ(ShiftDecode(ReadSetting(settings::kUserName)), L"first");
}

TEST_F(SettingsTest, LongValuesAreCutTo259Units) {
  WriteSetting(settings::kUploadUser, std::wstring(300, L'x'));
  EXPECT_EQ(ReadSetting(settings::kUploadUser).size(), 259u);
}

TEST_F(SettingsTest, StateThatIsNotANumberReadsAsZero) {
  WriteSetting(settings::kState, L"yes");
  EXPECT_EQ(ReadSettingInt(settings::kState, 0), 0);
}

}  // namespace
