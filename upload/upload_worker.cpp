#include "upload/upload_worker.h"

#include <commctrl.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <vector>

#include "common/messages.h"
#include "framework/wnd.h"
#include "services/service_host.h"
#include "upload/service_piece_client.h"

namespace {

// The one message of the call window: lParam points to the call to run.
constexpr UINT kRunCall = WM_APP + 1;
// How often a waiting window thread looks again for the worker's message boxes.
constexpr DWORD kBoxPollMs = 20;
// The message box's text control (also under Wine).
constexpr int kBoxTextId = 0xFFFF;

std::u16string ToU16(const std::wstring& text) { return std::u16string(text.begin(), text.end()); }

// The bar's position for the batch's progress: the accepted share of its bytes, short of the end
// until every photo has been sent (a photo's empty last piece adds no byte, and a photo may have
// grown since it was measured).
int ProgressPosition(const BatchProgress& progress) {
  if (progress.files > 0 && progress.filesSent == progress.files) return CUploadWorker::kProgressEnd;
  uint64_t accepted = progress.bytesAccepted, total = progress.bytesTotal;
  if (total == 0) return 0;
  // Keeps the product below 2^64; the share hardly changes.
  while (total > UINT64_MAX / CUploadWorker::kProgressEnd) {
    accepted >>= 1;
    total >>= 1;
  }
  const uint64_t position = std::min(accepted, total) * CUploadWorker::kProgressEnd / total;
  return static_cast<int>(std::min<uint64_t>(position, CUploadWorker::kProgressEnd - 1));
}

// Ends a message box of the worker with the least consequential of its buttons.
BOOL CALLBACK AnswerMessageBox(HWND hwnd, LPARAM) {
  wchar_t name[16] = {};
  if (::GetClassNameW(hwnd, name, 16) == 0 || ::lstrcmpW(name, L"#32770") != 0) return TRUE;
  if (::GetDlgItem(hwnd, kBoxTextId) == nullptr) return TRUE;
  for (int id : {IDCANCEL, IDNO, IDOK}) {
    const HWND button = ::GetDlgItem(hwnd, id);
    if (button != nullptr && (::GetWindowLongPtrW(button, GWL_STYLE) & WS_VISIBLE) != 0) {
      ::PostMessageW(hwnd, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
      return TRUE;
    }
  }
  ::PostMessageW(hwnd, WM_CLOSE, 0, 0);
  return TRUE;
}

// The worker's own DC of the page for the status line (the page's DrawStatusLine sets the
// font and colours), released on every way out.
class CStatusDC {
 public:
  explicit CStatusDC(HWND page) : m_hPage(page), m_hDC(::GetDC(page)) {}
  ~CStatusDC() {
    if (m_hDC != nullptr) ::ReleaseDC(m_hPage, m_hDC);
  }
  CStatusDC(const CStatusDC&) = delete;
  CStatusDC& operator=(const CStatusDC&) = delete;
  HDC Get() const { return m_hDC; }

 private:
  HWND m_hPage;
  HDC m_hDC;
};

}  // namespace

// A message-only window of the window thread: the worker hands it calls to run there.
class CUploadWorker::CCallWindow : public CWnd {
 public:
  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override {
    if (msg == kRunCall) {
      const auto* call = reinterpret_cast<const std::function<void()>*>(lParam);
      if (call != nullptr && *call) (*call)();
      return 1;
    }
    return CWnd::WindowProc(msg, wParam, lParam);
  }
};

// What the batch sees of the window program. Its events come on the worker's thread; the lanes
// call CreateClient, NowUtc and Pause on theirs.
class CUploadWorker::CGuiHost : public IBatchHost {
 public:
  CGuiHost(CUploadWorker& worker, int total, HDC statusDC)
      : m_worker(worker),
        m_strHost(worker.m_strServiceHost.empty() ? DefaultServiceHost() : worker.m_strServiceHost),
        m_nTotal(total),
        m_hStatusDC(statusDC) {}

  // The batch gives the client its own stop signal, raised when ShouldStop says so.
  std::unique_ptr<IPieceClient> CreateClient() override { return std::make_unique<CServicePieceClient>(m_strHost); }

  UtcTime NowUtc() override {
    if (m_worker.m_clock) return m_worker.m_clock();
    SYSTEMTIME now{};
    ::GetSystemTime(&now);
    return UtcTime{now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
  }

  bool Pause(uint32_t milliseconds) override {
    const DWORD wait = std::min(milliseconds, m_worker.m_nMaxPauseMs);
    if (::WaitForSingleObject(m_worker.StopEvent(), wait) == WAIT_OBJECT_0) return false;
    return !ShouldStop();
  }

  // The stop request, or the page's progress bar gone (the page is being destroyed).
  bool ShouldStop() override { return m_worker.Stopping(); }

  // The bar moves only forward and only when its position changes; the status line and the
  // page's count change when a photo has been sent.
  void OnBatchProgress(const BatchProgress& progress) override {
    if (m_worker.Stopping()) return;
    SetPosition(ProgressPosition(progress));
    const int done = static_cast<int>(std::min<size_t>(progress.filesSent, static_cast<size_t>(m_nTotal)));
    if (done == m_nShownDone) return;
    m_nShownDone = done;
    m_worker.m_pPage->SetCurrentFile(done);
    if (m_hStatusDC != nullptr) m_worker.m_pPage->DrawStatusLine(m_hStatusDC, m_nTotal, done);
  }

  void SetPosition(int position) {
    if (position == m_nPosition) return;
    m_nPosition = position;
    ::SendMessageW(m_worker.m_hProgress, PBM_SETPOS, static_cast<WPARAM>(position), 0);
  }

 private:
  CUploadWorker& m_worker;
  std::u16string m_strHost;
  const int m_nTotal;
  const HDC m_hStatusDC;
  int m_nPosition = -1;   // last sent to the bar; none yet
  int m_nShownDone = -1;  // last drawn on the status line; none yet
};

CUploadWorker::CUploadWorker()
    : m_pPage(nullptr),
      m_hPage(nullptr),
      m_hProgress(nullptr),
      m_hThread(nullptr),
      m_dwThreadId(0),
      m_nBatchSize(0),
      m_nMaxPauseMs(UINT32_MAX),
      m_nLanes(CBatchUploader::DefaultLanes()) {}

CUploadWorker::~CUploadWorker() {
  StopAndWait();
  if (m_pCallWindow) m_pCallWindow->DestroyWindow();
  m_pCallWindow.reset();
}

bool CUploadWorker::Running() const {
  return m_hThread != nullptr && ::WaitForSingleObject(m_hThread, 0) == WAIT_TIMEOUT;
}

bool CUploadWorker::Start(IUploadPage* page) {
  if (page == nullptr || StopEvent() == nullptr) return false;
  if (m_hThread != nullptr) {
    // A worker that has lowered the page's flag is only leaving; one that has not is busy.
    if (Running() && page->IsUploading() != 0) return false;
    WaitForThread();
    ReleaseThread();
  }
  if (!m_pCallWindow) {
    auto window = std::make_unique<CCallWindow>();
    if (!window->CreateEx(0, CWnd::DefaultWindowClass(), L"", 0, RECT{}, HWND_MESSAGE, 0)) return false;
    m_pCallWindow = std::move(window);
  }

  m_pPage = page;
  m_hPage = page->PageWindow();
  m_hProgress = page->ProgressWindow();
  m_nBatchSize = 0;
  m_stop.Reset();
  // Raised before the thread exists, so that a second press at once is refused as well.
  const int wasUploading = page->ExchangeUploading(1);
  m_hThread = ::CreateThread(nullptr, 0, &CUploadWorker::UploadThreadProc, this, 0, &m_dwThreadId);
  if (m_hThread == nullptr) {
    page->ExchangeUploading(wasUploading);
    m_dwThreadId = 0;
    return false;
  }
  return true;
}

void CUploadWorker::RequestStop() { m_stop.Raise(); }

void CUploadWorker::StopAndWait() {
  if (m_hThread == nullptr) return;
  RequestStop();
  WaitForThread();
  ReleaseThread();
}

void CUploadWorker::WaitForThread() {
  if (m_hThread == nullptr) return;
  for (;;) {
    if (m_stop.Raised()) ::EnumThreadWindows(m_dwThreadId, &AnswerMessageBox, 0);
    // Only sent messages are handled here: the worker's calls on the window thread must get
    // through, but nothing of the user's may run while an owner is being torn down.
    const DWORD woken = ::MsgWaitForMultipleObjects(1, &m_hThread, FALSE, kBoxPollMs, QS_SENDMESSAGE);
    if (woken == WAIT_OBJECT_0 || woken == WAIT_FAILED) break;
    MSG msg;
    ::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  }
}

void CUploadWorker::ReleaseThread() {
  if (m_hThread != nullptr) ::CloseHandle(m_hThread);
  m_hThread = nullptr;
  m_dwThreadId = 0;
}

DWORD WINAPI CUploadWorker::UploadThreadProc(void* param) {
  static_cast<CUploadWorker*>(param)->Run();
  return 0;
}

bool CUploadWorker::Stopping() const { return m_stop.Raised() || !::IsWindow(m_hProgress); }

HANDLE CUploadWorker::StopEvent() const {
  const intptr_t object = m_stop.WaitObject();
  return object != -1 ? reinterpret_cast<HANDLE>(object) : nullptr;
}

bool CUploadWorker::OnWindowThread(const std::function<void()>& call) {
  const HWND window = m_pCallWindow ? m_pCallWindow->m_hWnd : nullptr;
  if (window == nullptr) return false;
  return ::SendMessageW(window, kRunCall, 0, reinterpret_cast<LPARAM>(&call)) == 1;
}

int CUploadWorker::Message(const wchar_t* text, UINT type) {
  if (Stopping()) return 0;
  return ::MessageBoxW(m_hPage, text, kCaption, type);
}

void CUploadWorker::Abandon(const wchar_t* text) {
  if (text != nullptr) Message(text, MB_OK);
  ::InvalidateRect(m_hPage, nullptr, TRUE);
  m_pPage->ExchangeUploading(0);
}

const wchar_t* CUploadWorker::EndMessage(FileOutcome end) {
  switch (end) {
    case FileOutcome::CannotOpen:
      return kCannotOpen;
    case FileOutcome::TooSmall:
      return kTooSmall;
    case FileOutcome::TooLarge:
      return kTooLarge;
    case FileOutcome::TooManyFailures:
      return kTooManyFailures;
    case FileOutcome::Sent:
    case FileOutcome::Stopped:
      break;
  }
  return nullptr;
}

void CUploadWorker::Run() {
  IUploadPage* const page = m_pPage;
  page->ExchangeUploading(1);

  // The checked photos, taken once: the page's list may change under the upload.
  std::vector<std::wstring> paths;
  std::wstring userName;
  const bool collected = OnWindowThread([&] { page->CollectUpload(&paths, &userName); });
  if (!collected || Stopping()) return Abandon(nullptr);
  if (paths.empty()) return Abandon(kNothingChecked);

  std::vector<std::u16string> batch;
  batch.reserve(paths.size());
  for (const std::wstring& path : paths) batch.push_back(ToU16(path));
  const int total = static_cast<int>(std::min<size_t>(paths.size(), INT_MAX));
  m_nBatchSize = total;
  ::SendMessageW(m_hProgress, PBM_SETRANGE32, 0, kProgressEnd);
  ::ShowWindow(m_hProgress, SW_SHOW);
  CStatusDC dc(m_hPage);
  CGuiHost host(*this, total, dc.Get());
  CBatchUploader uploader(host);
  uploader.SetLanes(m_nLanes);
  const BatchResult result = uploader.Run(batch, ToU16(userName));
  // A stop shows nothing; a batch that ended early shows why, and keeps the check marks.
  if (Stopping() || result.end != FileOutcome::Sent) return Abandon(EndMessage(result.end));

  host.SetPosition(kProgressEnd);
  ::ShowWindow(m_hProgress, SW_HIDE);

  // Page, tab control, tabbed window, main window.
  const HWND tabControl = ::GetParent(m_hPage);
  const HWND tabbedWindow = tabControl != nullptr ? ::GetParent(tabControl) : nullptr;
  const HWND mainWindow = tabbedWindow != nullptr ? ::GetParent(tabbedWindow) : nullptr;
  if (mainWindow != nullptr) ::SendMessageW(mainWindow, WM_SHOWMAINWND, 0, 0);

  const int answer = Message(kPrintQuestion, MB_YESNO);
  // An answer forced by a stop request is no answer: nothing is switched or unchecked.
  if (Stopping()) return Abandon(nullptr);
  if (tabbedWindow != nullptr) ::SendMessageW(tabbedWindow, answer == IDYES ? WM_GOTOPRINT : WM_GOTOMANAGE, 0, 0);
  OnWindowThread([page] { page->UncheckAllAndClear(); });
  // Only now: the tabbed window looks at the flag while it handles the message above.
  page->ExchangeUploading(0);
}
