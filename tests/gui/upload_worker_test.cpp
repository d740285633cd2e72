// The upload worker with the real upload page inside a stand-in frame (main window, tabbed
// window, tab control): what it sends, the progress bar, its messages, and stopping it.
#include "upload/upload_worker.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <numeric>
#include <set>
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

// The calls of each photo, by target name, in the order they came.
std::map<std::string, std::vector<std::string>> CallsByFile(const std::vector<std::string>& calls) {
  std::map<std::string, std::vector<std::string>> byFile;
  for (const std::string& call : calls) byFile[Element(call, "FileName")].push_back(call);
  return byFile;
}

// The bar starts at 0 and only moves forward; it reaches its end, as its last position, exactly
// when the batch was complete.
void ExpectForwardFromZero(const std::vector<int>& positions, bool complete) {
  ASSERT_FALSE(positions.empty());
  EXPECT_EQ(0, positions.front());
  for (size_t i = 1; i < positions.size(); ++i) EXPECT_LT(positions[i - 1], positions[i]) << i;
  EXPECT_LE(positions.back(), CUploadWorker::kProgressEnd);
  EXPECT_EQ(complete, positions.back() == CUploadWorker::kProgressEnd);
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

TEST_F(UploadWorkerTest, PhotosGoAtOnceInTwentyOnePiecesEachThenThePrintQuestion) {
  UploadPeer peer(nullptr, /*held=*/true);
  NewPage(peer.Host());
  m_photos.Write("a.jpg", PatternBytes(20, 1));
  m_photos.Write("b.jpg", PatternBytes(39, 2));
  ListPhotos(*m_page, Folder(), {L"a.jpg", L"unchecked.jpg", L"b.jpg"}, {0, 2});
  ProgressSpy spy(m_page->m_progress.m_hWnd);
  m_boxes.SetAnswer(IDYES);
  Press(IDC_UPLOAD);
  EXPECT_EQ(1, m_page->m_bUploading);  // raised before the thread runs
  // Both photos' first calls arrive before any answer: each photo has a lane of its own.
  ASSERT_TRUE(PumpUntil([&] { return peer.Calls() >= 2; }, 10000));
  Press(IDC_UPLOAD);  // a second press while it runs is refused
  EXPECT_EQ(std::vector<std::wstring>{L"上传进行中....请等待完成后在试!!!"}, BoxTexts());
  peer.Release();
  ASSERT_TRUE(WaitForUpload(*m_page));

  EXPECT_EQ(L"您的图片已上传成功!!!是否要冲印??", BoxTexts().back());
  EXPECT_EQ(2u, m_boxes.Count());
  EXPECT_EQ((std::vector<int>{IDYES, IDNO}), m_boxes.Boxes().back().buttons);
  EXPECT_EQ(std::vector<UINT>{WM_SHOWMAINWND}, m_main.seen);
  EXPECT_EQ(std::vector<UINT>{WM_GOTOPRINT}, m_tabbed.seen);

  // 21 calls per photo in order; 20 bytes give twenty 1-byte pieces and an empty last one, 39
  // bytes twenty 1-byte pieces and a last one of 19 (base64: 1 byte = 4 characters, 19 = 28).
  const std::vector<std::string> calls = peer.Requests();
  ASSERT_EQ(42u, calls.size());
  EXPECT_EQ("0.jpg", Element(calls[1], "strTempFileName"));
  const std::map<std::string, std::vector<std::string>> byFile = CallsByFile(calls);
  ASSERT_EQ(2u, byFile.size());
  std::set<size_t> lastPieces;
  for (const auto& [target, ofFile] : byFile) {
    ASSERT_EQ(21u, ofFile.size()) << target;
    for (int n = 0; n < 21; ++n) {
      const std::string& call = ofFile[static_cast<size_t>(n)];
      SCOPED_TRACE(target + " " + std::to_string(n));
      EXPECT_EQ(std::to_string(n) + ".jpg", Element(call, "strTempFileName"));
      EXPECT_EQ(n == 20 ? "true" : "false", Element(call, "isCompleted"));
      EXPECT_EQ("tester", Element(call, "userName"));
      if (n < 20) {
        EXPECT_EQ(4u, Element(call, "TempBytes").size());
      }
    }
    lastPieces.insert(Element(ofFile[20], "TempBytes").size());
  }
  EXPECT_EQ((std::set<size_t>{0, 28}), lastPieces);

  EXPECT_EQ((std::vector<std::pair<WPARAM, LPARAM>>{{0, CUploadWorker::kProgressEnd}}), spy.ranges32);
  ExpectForwardFromZero(spy.positions, /*complete=*/true);
  EXPECT_EQ(2, m_page->m_uploadWorker.BatchSize());
  EXPECT_EQ(2, m_page->m_nCurrentFile);
  EXPECT_EQ(0, CheckedCount(*m_page));
}

// One lane, photos of 39 and 20 bytes (59 in all). The peer answers each call only once the
// bar shows what was accepted before it, so every position is seen: k * 10000 / 59 for k bytes,
// 9999 while the last photo's empty last piece is still out, 10000 once it is accepted.
TEST_F(UploadWorkerTest, TheBarShowsTheBatchsAcceptedBytesAndItsEndOnlyWhenEveryPhotoIsSent) {
  std::vector<uint32_t> pieces(20, 1);
  pieces.push_back(19);
  pieces.insert(pieces.end(), 20, 1);
  pieces.push_back(0);
  std::vector<int> expected{0};  // before call i: after i accepted pieces
  uint64_t bytes = 0;
  for (size_t i = 0; i < pieces.size(); ++i) {
    bytes += pieces[i];
    expected.push_back(i + 1 == pieces.size() ? 10000 : static_cast<int>(std::min<uint64_t>(bytes * 10000 / 59, 9999)));
  }
  std::unique_ptr<ProgressSpy> spy;
  UploadPeer peer([&](int call) {
    const int shown = expected[static_cast<size_t>(std::min(call, 42))];
    for (int waited = 0; spy->last != shown && waited < 3000; ++waited) Sleep(1);
    return true;
  });
  NewPage(peer.Host());
  m_page->m_uploadWorker.SetLanes(1);
  m_photos.Write("a.jpg", PatternBytes(20, 1));
  m_photos.Write("b.jpg", PatternBytes(39, 2));
  ListPhotos(*m_page, Folder(), {L"b.jpg", L"a.jpg"}, {0, 1});
  spy = std::make_unique<ProgressSpy>(m_page->m_progress.m_hWnd);
  UploadAndWait();
  EXPECT_EQ(42, peer.Calls());
  EXPECT_EQ(expected, spy->positions);
  EXPECT_EQ(9830, expected[40]);  // 58 bytes
  EXPECT_EQ(9999, expected[41]);  // 59 bytes, the empty last piece still out
  EXPECT_EQ(std::vector<std::wstring>{L"您的图片已上传成功!!!是否要冲印??"}, BoxTexts());
}

// The batch ends early: one message of the worker (the lanes show none), the photos sent before
// stay sent, the bar stops short of its end, the check marks stay, no question.
TEST_F(UploadWorkerTest, EachWayOutBeforeTheEndShowsOneMessageAndKeepsWhatWasSent) {
  m_photos.Write("ok.jpg", PatternBytes(20));
  m_photos.Write("small.jpg", PatternBytes(19));
  m_photos.Write("later.jpg", PatternBytes(40));
  const struct {
    const char* what;
    std::vector<int> checked;
    int lanes;     // 0: the default
    int refusals;  // the first calls the service refuses; -1: every call
    const wchar_t* text;
    size_t minCalls, maxCalls;
    size_t photosCalled;
    int photosSent;
  } cases[] = {
      {"a photo too small after one that goes", {0, 1, 2}, 0, 0, L"图片太小不能冲印", 21, 21, 1, 1},
      {"a missing photo after two that go", {0, 2, 3}, 0, 0, L"图片不存在!!!", 42, 42, 2, 2},
      // The 51st refusal of the first piece ends the batch: nothing is sent.
      {"51 refusals on one lane", {0, 2}, 1, 51, L"上传失败!!!稍后在试!!!", 51, 51, 1, 0},
      // The 51st ends both lanes; a refusal of the other lane at that moment may still come.
      {"every call refused on two lanes", {0, 2}, 0, -1, L"上传失败!!!稍后在试!!!", 51, 52, 2, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    // Refusing every call, the peer holds its first answer until the second lane has called.
    const UploadPeer* self = nullptr;
    UploadPeer peer([&c, &self](int call) {
      for (int waited = 0; c.refusals < 0 && call == 0 && self->Calls() < 2 && waited < 3000; ++waited) Sleep(1);
      return c.refusals >= 0 && call >= c.refusals;
    });
    self = &peer;
    NewPage(peer.Host());
    if (c.lanes > 0) m_page->m_uploadWorker.SetLanes(c.lanes);
    const size_t before = m_boxes.Count();
    ListPhotos(*m_page, Folder(), {L"ok.jpg", L"small.jpg", L"later.jpg", L"gone.jpg"}, c.checked);
    ProgressSpy spy(m_page->m_progress.m_hWnd);
    UploadAndWait();
    ASSERT_EQ(before + 1, m_boxes.Count());
    EXPECT_EQ(c.text, BoxTexts().back());
    const std::vector<std::string> calls = peer.Requests();
    EXPECT_GE(calls.size(), c.minCalls);
    EXPECT_LE(calls.size(), c.maxCalls);
    // Each photo's pieces from 0 in order, a refused one again.
    const std::map<std::string, std::vector<std::string>> byFile = CallsByFile(calls);
    EXPECT_EQ(c.photosCalled, byFile.size());
    for (const auto& [target, ofFile] : byFile) {
      int piece = 0;
      for (size_t i = 0; i < ofFile.size(); ++i) {
        const std::string name = Element(ofFile[i], "strTempFileName");
        if (name != std::to_string(piece) + ".jpg") ++piece;
        EXPECT_EQ(std::to_string(piece) + ".jpg", name) << target << " call " << i;
      }
    }
    ExpectForwardFromZero(spy.positions, /*complete=*/false);
    if (c.photosSent == 0) {
      EXPECT_EQ(std::vector<int>{0}, spy.positions);
    }
    EXPECT_EQ(c.photosSent, m_page->m_nCurrentFile);
    EXPECT_TRUE(m_tabbed.seen.empty() && m_main.seen.empty());
    EXPECT_EQ(static_cast<int>(c.checked.size()), CheckedCount(*m_page));  // the check marks stay
  }
}

// The range no longer grows with the batch, so more than 3120 photos (the end of a 16-bit range)
// need nothing special.
TEST_F(UploadWorkerTest, TheRangeIsTenThousandWhateverTheBatchsSize) {
  std::vector<int> all(3121);
  std::iota(all.begin(), all.end(), 0);
  // Files that do not exist: the batch ends at the first, after the range was set.
  ListPhotos(*m_page, Folder(), std::vector<std::wstring>(3121, L"gone.jpg"), all);
  ProgressSpy spy(m_page->m_progress.m_hWnd);
  UploadAndWait();
  EXPECT_EQ((std::vector<std::pair<WPARAM, LPARAM>>{{0, 10000}}), spy.ranges32);
  int low = -1, high = -1;
  m_page->m_progress.GetRange(low, high);
  EXPECT_EQ(std::make_pair(0, 10000), std::make_pair(low, high));
  EXPECT_EQ(std::vector<int>{0}, spy.positions);
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

// Ten photos over the default lanes to the reference service: each arrives byte-identical, the
// bar reaches its end once, the question comes once.
TEST_F(UploadWorkerTest, TenPhotosOverTheDefaultLanesArriveByteIdenticalAtTheReferenceService) {
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
  m_page->m_uploadWorker.SetClock(nullptr);  // the system clock: names a second apart, ahead of it

  const size_t sizes[] = {20, 39, 250007, 1000, 61, 120000, 333, 80021, 4096, 200000};
  std::vector<std::vector<uint8_t>> contents;
  std::vector<std::wstring> names;
  std::vector<int> checked;
  for (size_t k = 0; k < std::size(sizes); ++k) {
    contents.push_back(PatternBytes(sizes[k], static_cast<uint8_t>(k + 3)));
    const std::string file = "p" + std::to_string(k) + (k % 3 == 0 ? ".JPG" : k % 3 == 1 ? ".jpg" : ".gif");
    m_photos.Write(file, contents.back());
    names.emplace_back(file.begin(), file.end());
    checked.push_back(static_cast<int>(names.size()) - 1);
  }
  m_photos.Write("unchecked.jpg", PatternBytes(50, 1));
  names.push_back(L"unchecked.jpg");
  ListPhotos(*m_page, Folder(), names, checked);
  ProgressSpy spy(m_page->m_progress.m_hWnd);
  m_boxes.SetAnswer(IDYES);
  const DWORD start = GetTickCount();
  m_page->OnUpload();
  ASSERT_TRUE(WaitForUpload(*m_page, 60000));
  std::printf("[ measured ] 10 photos (%u bytes) over the default lanes: %lu ms\n",
              static_cast<unsigned>(std::accumulate(std::begin(sizes), std::end(sizes), size_t{0})),
              static_cast<unsigned long>(GetTickCount() - start));
  EXPECT_EQ(std::vector<std::wstring>{L"您的图片已上传成功!!!是否要冲印??"}, BoxTexts());
  ExpectForwardFromZero(spy.positions, /*complete=*/true);
  EXPECT_EQ(10, m_page->m_nCurrentFile);
  EXPECT_EQ(std::vector<UINT>{WM_GOTOPRINT}, m_tabbed.seen);

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
