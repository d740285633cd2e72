// The upload worker with the real upload page inside a stand-in frame (main window, tabbed
// window, tab control): what it sends, the progress bar, its messages, and stopping it.
#include "upload/upload_worker.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <numeric>
#include <string>
#include <vector>

#include "common/messages.h"
#include "framework/wnd.h"
#include "res/resource.h"
#include "services/passport.h"
#include "tests/gui/upload_flow_util.h"
#include "tests/support/message_box_capture.h"
#include "tests/support/test_service.h"

namespace {

using namespace uploadtest;

// A frame window that records the worker's messages to it.
class Recorder : public CWnd {
 public:
  std::vector<UINT> seen;
  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override {
    if (msg != WM_SHOWMAINWND && msg != WM_GOTOPRINT && msg != WM_GOTOMANAGE) {
      return CWnd::WindowProc(msg, wParam, lParam);
    }
    return seen.push_back(msg), 0;
  }
};

// Distinct target names at once, without waiting for the clock.
UtcTime CountingClock() {
  static std::atomic<int> tick{0};
  const int n = tick++;
  return UtcTime{2031, 5, 6, 7, (n / 60) % 60, n % 60};
}

class UploadWorkerTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_main.CreateEx(0, CWnd::DefaultWindowClass(), L"main", WS_POPUP, RECT{0, 0, 700, 650}, nullptr, 0));
    ASSERT_TRUE(m_tabbed.CreateEx(0, CWnd::DefaultWindowClass(), L"tabs", WS_POPUP | WS_VISIBLE, RECT{0, 0, 680, 620},
                                  m_main.m_hWnd, 0));
    ASSERT_TRUE(m_tabCtrl.CreateEx(0, CWnd::DefaultWindowClass(), L"", WS_CHILD | WS_VISIBLE, RECT{0, 32, 680, 620},
                                   m_tabbed.m_hWnd, 1006));
    NewPage();
  }
  void NewPage(const std::u16string& host = std::u16string()) {
    m_page = std::make_unique<CMyUpLoadDlg>();
    ASSERT_TRUE(m_page->Create(m_tabCtrl.m_hWnd));
    m_page->m_uploadWorker.SetMaxPause(1);
    m_page->m_uploadWorker.SetClock(&CountingClock);
    m_page->m_uploadWorker.SetServiceHost(host);
  }
  void TearDown() override { m_page.reset(); }

  std::wstring Folder() const { return m_photos.Path().wstring(); }
  HWND BoxOwner() const { return GetAncestor(m_page->m_hWnd, GA_ROOT); }
  void Press(int id) { m_page->SendMessage(WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }
  // Presses the upload button and waits for the worker's end.
  void UploadAndWait() {
    Press(IDC_UPLOAD);
    ASSERT_TRUE(WaitForUpload(*m_page)) << "the worker did not end";
  }
  // The texts of the boxes so far, all owned by the page's top window: the worker's captioned
  // "提示", the page's own (on the window thread) with the application's name.
  std::vector<std::wstring> BoxTexts() const {
    std::vector<std::wstring> texts;
    for (const CapturedMessageBox& box : m_boxes.Boxes()) {
      EXPECT_EQ(box.threadId == GetCurrentThreadId() ? GetAppName() : L"提示", box.caption);
      EXPECT_EQ(BoxOwner(), box.owner);
      texts.push_back(box.text);
    }
    return texts;
  }

  SettingsFolder m_settings{L"tester"};  // read by the page at its creation
  MessageBoxCapture m_boxes{IDOK};
  Recorder m_main;
  Recorder m_tabbed;
  CWnd m_tabCtrl;
  TempDir m_photos;
  std::unique_ptr<CMyUpLoadDlg> m_page;
};

TEST_F(UploadWorkerTest, TwentyAndThirtyNineBytesGoInTwentyOnePiecesWithProgressThenThePrintQuestion) {
  UploadPeer peer(nullptr, /*held=*/true);
  NewPage(peer.Host());
  m_photos.Write("a.jpg", PatternBytes(20, 1));
  m_photos.Write("b.jpg", PatternBytes(39, 2));
  ListPhotos(*m_page, Folder(), {L"a.jpg", L"unchecked.jpg", L"b.jpg"}, {0, 2});
  ProgressSpy spy(m_page->m_progress.m_hWnd);
  m_boxes.SetAnswer(IDYES);
  Press(IDC_UPLOAD);
  EXPECT_EQ(1, m_page->m_bUploading);  // raised before the thread runs
  ASSERT_TRUE(PumpUntil([&] { return peer.Calls() >= 1; }, 10000));
  Press(IDC_UPLOAD);  // a second press while it runs is refused
  EXPECT_EQ(std::vector<std::wstring>{L"上传进行中....请等待完成后在试!!!"}, BoxTexts());
  peer.Release();
  ASSERT_TRUE(WaitForUpload(*m_page));

  EXPECT_EQ(L"您的图片已上传成功!!!是否要冲印??", BoxTexts().back());
  EXPECT_EQ((std::vector<int>{IDYES, IDNO}), m_boxes.Boxes().back().buttons);
  EXPECT_EQ(std::vector<UINT>{WM_SHOWMAINWND}, m_main.seen);
  EXPECT_EQ(std::vector<UINT>{WM_GOTOPRINT}, m_tabbed.seen);

  // 21 calls per file in order; 20 bytes give twenty 1-byte pieces and an empty last one, 39
  // bytes twenty 1-byte pieces and a last one of 19 (base64: 1 byte = 4 characters, 19 = 28).
  const std::vector<std::string> calls = peer.Requests();
  ASSERT_EQ(42u, calls.size());
  for (int f = 0; f < 2; ++f) {
    const std::string target = Element(calls[static_cast<size_t>(f * 21)], "FileName");
    for (int n = 0; n < 21; ++n) {
      const std::string& call = calls[static_cast<size_t>(f * 21 + n)];
      SCOPED_TRACE(std::to_string(f) + " " + std::to_string(n));
      EXPECT_EQ(std::to_string(n) + ".jpg", Element(call, "strTempFileName"));
      EXPECT_EQ(target, Element(call, "FileName"));
      EXPECT_EQ(n == 20 ? "true" : "false", Element(call, "isCompleted"));
      EXPECT_EQ("tester", Element(call, "userName"));
      EXPECT_EQ(n < 20 ? 4u : (f == 0 ? 0u : 28u), Element(call, "TempBytes").size());
    }
  }
  EXPECT_NE(Element(calls[0], "FileName"), Element(calls[21], "FileName"));

  // Range 0..42, the position before every call is the number of pieces sent, 42 at the end.
  EXPECT_EQ((std::vector<std::pair<WPARAM, LPARAM>>{{0, 42}}), spy.ranges32);
  std::vector<int> expected(43);
  std::iota(expected.begin(), expected.end(), 0);
  EXPECT_EQ(expected, spy.positions);
  EXPECT_EQ(0, CheckedCount(*m_page));
}

TEST_F(UploadWorkerTest, EachWayOutBeforeTheEndShowsItsMessageAndKeepsWhatWasSent) {
  m_photos.Write("ok.jpg", PatternBytes(20));
  m_photos.Write("small.jpg", PatternBytes(19));
  m_photos.Write("later.jpg", PatternBytes(40));
  const struct {
    std::vector<int> checked;
    int refusals;  // the first calls the service refuses
    const wchar_t* text;
    int calls;
  } cases[] = {{{0, 1, 2}, 0, L"图片太小不能冲印", 21},
               // The 51st refusal of the first piece ends the batch: nothing is sent.
               {{0, 2}, 51, L"上传失败!!!稍后在试!!!", 51}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.calls);
    UploadPeer peer([&c](int call) { return call >= c.refusals; });
    NewPage(peer.Host());
    const size_t before = m_boxes.Count();
    ListPhotos(*m_page, Folder(), {L"ok.jpg", L"small.jpg", L"later.jpg", L"gone.jpg"}, c.checked);
    ProgressSpy spy(m_page->m_progress.m_hWnd);
    UploadAndWait();
    ASSERT_EQ(before + 1, m_boxes.Count());
    EXPECT_EQ(c.text, BoxTexts().back());
    // Only the first file was sent, if any; every refused piece again at the same position.
    const std::vector<std::string> calls = peer.Requests();
    ASSERT_EQ(static_cast<size_t>(c.calls), calls.size());
    ASSERT_EQ(static_cast<size_t>(c.calls), spy.positions.size());
    for (int i = 0; i < c.calls; ++i) {
      const int piece = std::max(0, i - c.refusals);
      EXPECT_EQ(Element(calls[0], "FileName"), Element(calls[static_cast<size_t>(i)], "FileName"));
      EXPECT_EQ(std::to_string(piece) + ".jpg", Element(calls[static_cast<size_t>(i)], "strTempFileName")) << i;
      EXPECT_EQ(piece, spy.positions[static_cast<size_t>(i)]) << i;
    }
    EXPECT_TRUE(m_tabbed.seen.empty() && m_main.seen.empty());
    EXPECT_EQ(static_cast<int>(c.checked.size()), CheckedCount(*m_page));  // the check marks stay
  }
}

TEST_F(UploadWorkerTest, MoreThan3120PhotosGetA32BitRange) {
  std::vector<int> all(3121);
  std::iota(all.begin(), all.end(), 0);
  // Files that do not exist: the batch ends at the first, after the range was set.
  ListPhotos(*m_page, Folder(), std::vector<std::wstring>(3121, L"gone.jpg"), all);
  ProgressSpy spy(m_page->m_progress.m_hWnd);
  UploadAndWait();
  EXPECT_EQ((std::vector<std::pair<WPARAM, LPARAM>>{{0, 65541}}), spy.ranges32);
  int low = -1, high = -1;
  m_page->m_progress.GetRange(low, high);
  EXPECT_EQ(std::make_pair(0, 65541), std::make_pair(low, high));
  EXPECT_EQ(std::vector<std::wstring>{L"图片不存在!!!"}, BoxTexts());
}

TEST_F(UploadWorkerTest, TheWorkerEndsSilentlyWhenThePageGoesWhileSending) {
  m_photos.Write("a.jpg", PatternBytes(40));
  for (bool windowFirst : {true, false}) {
    SCOPED_TRACE(windowFirst);
    UploadPeer peer([](int) { return false; });
    NewPage(peer.Host());
    ListPhotos(*m_page, Folder(), {L"a.jpg"}, {0});
    m_page->OnUpload();
    ASSERT_TRUE(PumpUntil([&] { return peer.Calls() >= 2; }, 15000));
    if (windowFirst) {
      m_page->DestroyWindow();  // as with its parent, before the object
    } else {
      m_page.reset();
    }
    EXPECT_FALSE(m_page && m_page->m_uploadWorker.Running());  // ended before either returned
    const int calls = peer.Calls();
    PumpFor(100);
    EXPECT_EQ(calls, peer.Calls());
    EXPECT_EQ(0u, m_boxes.Count());
    EXPECT_TRUE(m_tabbed.seen.empty());
  }
}

TEST_F(UploadWorkerTest, CheckedPhotosArriveByteIdenticalAtTheReferenceService) {
  const std::u16string host = TestServiceHost();
  const std::filesystem::path data = TestServiceDataFolder();
  if (host.empty() || data.empty()) GTEST_SKIP() << "FOTREL_TEST_SERVICE(_DATA) is not set";
  const std::wstring user = L"up" + std::to_wstring(GetCurrentProcessId()) + L"x" + std::to_wstring(GetTickCount());
  const std::u16string name(user.begin(), user.end());
  int32_t created = 0;
  ASSERT_EQ(0, Passport::CPassportT(host).CreateUser(name.c_str(), u"pw-1", (name + u"@t.cn").c_str(), &created));
  ASSERT_EQ(1, created);
  WriteSetting(settings::kUploadUser, user);  // read by the page at its creation
  NewPage(host);
  m_page->m_uploadWorker.SetClock(nullptr);  // the system clock: names wait for new seconds

  const std::vector<std::vector<uint8_t>> contents = {PatternBytes(20, 3), PatternBytes(39, 4),
                                                      PatternBytes(250007, 5)};
  m_photos.Write("a.jpg", contents[0]);
  m_photos.Write("b.JPG", contents[1]);
  m_photos.Write("c.gif", contents[2]);
  m_photos.Write("d.jpg", PatternBytes(50, 6));
  ListPhotos(*m_page, Folder(), {L"a.jpg", L"b.JPG", L"c.gif", L"d.jpg"}, {0, 1, 2});
  m_boxes.SetAnswer(IDYES);
  m_page->OnUpload();
  ASSERT_TRUE(WaitForUpload(*m_page, 60000));
  EXPECT_EQ(std::vector<std::wstring>{L"您的图片已上传成功!!!是否要冲印??"}, BoxTexts());

  std::vector<std::vector<uint8_t>> stored;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(data / "uploads" / user, error)) {
    EXPECT_EQ(L".jpg", entry.path().extension().wstring());
    std::ifstream in(entry.path(), std::ios::binary);
    stored.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  ASSERT_FALSE(error);
  std::vector<std::vector<uint8_t>> expected = contents;
  std::sort(expected.begin(), expected.end());
  std::sort(stored.begin(), stored.end());
  EXPECT_EQ(expected, stored);
}

}  // namespace
