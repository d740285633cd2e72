// Shared by the upload page's, the worker's and the tabbed window's tests: a private settings
// folder, an Upload peer on 127.0.0.1 that records the calls and answers as told, a spy on the
// progress bar, photos put into the real page's list, and the reference service's data folder.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "common/settings.h"
#include "tests/gui/gui_test_util.h"
#include "tests/services/service_test_util.h"
#include "tests/support/scripted_server.h"
#include "tests/support/temp_dir.h"
#include "upload/upload_dlg.h"

namespace uploadtest {

// %APPDATA% pointed at a fresh folder for the test's life; UserNameForUpLoad written when given.
class SettingsFolder {
 public:
  explicit SettingsFolder(const std::wstring& uploadUser) {
    wchar_t old[MAX_PATH] = {};
    m_hadAppData = GetEnvironmentVariableW(L"APPDATA", old, MAX_PATH) > 0;
    m_oldAppData = old;
    SetEnvironmentVariableW(L"APPDATA", m_dir.Path().wstring().c_str());
    if (!uploadUser.empty()) WriteSetting(settings::kUploadUser, uploadUser);
  }
  ~SettingsFolder() { SetEnvironmentVariableW(L"APPDATA", m_hadAppData ? m_oldAppData.c_str() : nullptr); }
  const std::filesystem::path& Path() const { return m_dir.Path(); }

 private:
  TempDir m_dir;
  std::wstring m_oldAppData;
  bool m_hadAppData = false;
};

// The text between <tag> and </tag> in a request, or empty.
inline std::string Element(const std::string& request, const std::string& tag) {
  const size_t start = request.find("<" + tag + ">");
  const size_t end = request.find("</" + tag + ">");
  if (start == std::string::npos || end == std::string::npos || end < start) return std::string();
  return request.substr(start + tag.size() + 2, end - start - tag.size() - 2);
}

// An Upload peer: answers call i with accept(i) (true when no rule is given); while held it
// keeps the answers back (at most 8 s, below the client's time-out).
class UploadPeer {
 public:
  explicit UploadPeer(std::function<bool(int)> accept = nullptr, bool held = false)
      : m_accept(std::move(accept)), m_held(held), m_server([this](TestConnection& c, int) {
          std::string request;
          while (c.ReadRequest(&request)) {
            const int index = m_count++;
            for (int waited = 0; m_held && waited < 8000; waited += 10) {
              if (!c.Pause(10)) return;
            }
            const bool ok = !m_accept || m_accept(index);
            if (!c.Send(servicetest::Http("200 OK", servicetest::Result("UploadFile", ok ? "true" : "false")))) return;
          }
        }) {}
  std::u16string Host() const { return m_server.Host(); }
  int Calls() const { return m_count; }
  std::vector<std::string> Requests() const { return m_server.Requests(); }
  void Release() { m_held = false; }

 private:
  std::function<bool(int)> m_accept;
  std::atomic<bool> m_held;
  std::atomic<int> m_count{0};
  ScriptedServer m_server;  // last: its threads end before the members above go
};

// Records the range and position messages reaching a progress bar (window thread).
class ProgressSpy {
 public:
  explicit ProgressSpy(HWND progress) : m_hWnd(progress) {
    s_spy = this;
    m_previous = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(progress, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Proc)));
  }
  ~ProgressSpy() {
    if (IsWindow(m_hWnd)) SetWindowLongPtrW(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_previous));
    s_spy = nullptr;
  }
  std::vector<std::pair<WPARAM, LPARAM>> ranges32;  // PBM_SETRANGE32 (low, high)
  std::vector<int> positions;                       // PBM_SETPOS
  std::atomic<int> last{-1};                        // the last position, for other threads

 private:
  static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == PBM_SETRANGE32) s_spy->ranges32.emplace_back(wParam, lParam);
    if (msg == PBM_SETPOS) s_spy->positions.push_back(s_spy->last = static_cast<int>(wParam));
    return CallWindowProcW(s_spy->m_previous, hwnd, msg, wParam, lParam);
  }
  static inline ProgressSpy* s_spy = nullptr;
  HWND m_hWnd;
  WNDPROC m_previous = nullptr;
};

// Puts `names` of `folder` into the page's list as a refresh would (without the thumbnail
// loader) and checks the items given.
inline void ListPhotos(CMyUpLoadDlg& page, const std::wstring& folder, const std::vector<std::wstring>& names,
                       const std::vector<int>& checked) {
  // The first loader (started with no names) must be over before the names change.
  ASSERT_TRUE(PumpUntil([&] { return !page.ThumbLoaderRunning(); }, 5000));
  page.m_strFolder = page.m_strListedFolder = folder;
  page.m_vecNames = names;
  ASSERT_TRUE(page.FillList());
  ASSERT_EQ(static_cast<int>(names.size()), page.m_listPhotos.GetItemCount());
  for (int i : checked) page.m_listPhotos.SetCheck(i, TRUE);
}

inline int CheckedCount(const CMyUpLoadDlg& page) {
  int count = 0;
  for (int i = 0; i < page.m_listPhotos.GetItemCount(); ++i) count += page.m_listPhotos.GetCheck(i) ? 1 : 0;
  return count;
}

// Pumps until the page's worker has ended (its flag down and its thread gone).
inline bool WaitForUpload(CMyUpLoadDlg& page, unsigned timeoutMs = 20000) {
  return PumpUntil([&] { return page.m_bUploading == 0 && !page.m_uploadWorker.Running(); }, timeoutMs);
}

// The reference service's data folder (FOTREL_TEST_SERVICE_DATA, a Linux path) as seen through
// Wine's Z: drive; empty when the run does not tell.
inline std::filesystem::path TestServiceDataFolder() {
  const char* value = std::getenv("FOTREL_TEST_SERVICE_DATA");
  if (value == nullptr || value[0] == '\0') return std::filesystem::path();
  std::string text(value);
  if (text[0] == '/') text = "Z:" + text;
  for (char& c : text) c = c == '/' ? '\\' : c;
  return std::filesystem::path(text);
}

}  // namespace uploadtest
