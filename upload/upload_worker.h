// The upload worker: the thread behind the upload page's upload button. It takes the checked
// photos of the page's list at its start (its own list, so the selection buttons stay usable
// during the upload), sends them through CBatchUploader, several photos at once, each in 21
// pieces, moves the page's progress bar (bytes accepted over the batch's bytes) and status line
// (photos finished), and at the end asks whether to order prints, which turns the tabbed window
// to its print tab.
//
// Only this thread shows message boxes, one after another; the batch's lanes never do. It
// reaches the page's data only on the window thread, through messages it sends; so whoever
// waits for it on the window thread must keep handling sent messages, which StopAndWait does.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "net/stop_signal.h"
#include "upload/batch_uploader.h"
#include "upload/upload_page.h"

class CUploadWorker {
 public:
  // Messages of the worker, all with the caption kCaption and owned by the page.
  static constexpr const wchar_t* kCaption = L"提示";
  static constexpr const wchar_t* kNothingChecked = L"请选择图片!!!";
  static constexpr const wchar_t* kCannotOpen = L"图片不存在!!!";
  static constexpr const wchar_t* kTooSmall = L"图片太小不能冲印";
  static constexpr const wchar_t* kTooLarge = L"图片太大不能冲印";
  static constexpr const wchar_t* kTooManyFailures = L"上传失败!!!稍后在试!!!";
  static constexpr const wchar_t* kPrintQuestion = L"您的图片已上传成功!!!是否要冲印??";
  // Where the status line goes on the page.
  static constexpr int kStatusX = 50;
  static constexpr int kStatusY = 448;
  // The progress bar's range is 0 to this, whatever the batch's size; the bar reaches it only
  // when every photo has been sent.
  static constexpr int kProgressEnd = 10000;

  CUploadWorker();
  // Stops a running worker and waits for it (window thread).
  ~CUploadWorker();
  CUploadWorker(const CUploadWorker&) = delete;
  CUploadWorker& operator=(const CUploadWorker&) = delete;

  // Window thread. Raises the page's uploading flag, then starts the thread. False, with the
  // flag as it was, while a worker still runs or when no thread can be started.
  bool Start(IUploadPage* page);
  // Any thread. Asks a running worker to end; the request reaches into the service call in
  // flight, which fails at once. Does not wait.
  void RequestStop();
  // Window thread. RequestStop, then closes a message box the worker may have open (its
  // question then counts as unanswered: the tabs are not switched) and waits for it while
  // handling the messages it sends. Returns at once when no worker runs.
  void StopAndWait();
  // A worker thread exists and has not ended yet.
  bool Running() const;
  // The number of photos of the batch being sent (0 until the worker has collected them); the
  // page's status line shows it, whatever the selection buttons do to the page's list meanwhile.
  int BatchSize() const { return m_nBatchSize; }

  // --- Settings, read by the thread at its start; change them only while no worker runs ---
  // The service host of the Upload calls; empty means the build-time one.
  void SetServiceHost(const std::u16string& host) { m_strServiceHost = host; }
  // Caps every pause of the uploader (the retry pauses and the wait for a new target name);
  // tests shorten them.
  void SetMaxPause(uint32_t milliseconds) { m_nMaxPauseMs = milliseconds; }
  // The clock of the target names; null means the system's clock in UTC.
  void SetClock(std::function<UtcTime()> clock) { m_clock = std::move(clock); }
  // Photos sent at once (1 to 8); the build's FOTREL_UPLOAD_LANES unless set.
  void SetLanes(int lanes) { m_nLanes = lanes; }

 private:
  class CCallWindow;
  class CGuiHost;

  static DWORD WINAPI UploadThreadProc(void* param);
  void Run();
  // What a person sees when the batch ended before every photo was sent; null for none.
  static const wchar_t* EndMessage(FileOutcome end);
  // Runs `call` on the window thread and waits for it; false when it could not run there.
  bool OnWindowThread(const std::function<void()>& call);
  bool Stopping() const;
  // The stop request's event (manual reset), for the pauses; null when it could not be made.
  HANDLE StopEvent() const;
  // A message box on the worker thread, owned by the page; 0 when the worker is stopping.
  int Message(const wchar_t* text, UINT type);
  // The ways out of the thread before the end of the batch.
  void Abandon(const wchar_t* text);
  // Waits for the thread while handling the messages sent to the window thread; while the
  // stop flag is up, also answers the worker's message boxes.
  void WaitForThread();
  void ReleaseThread();

  std::unique_ptr<CCallWindow> m_pCallWindow;
  IUploadPage* m_pPage;
  HWND m_hPage;
  HWND m_hProgress;
  HANDLE m_hThread;
  DWORD m_dwThreadId;
  // Raised by RequestStop. The batch's pauses wait on it; the batch looks at it every 20 ms and
  // then raises its own stop, on which every lane's client waits beside its socket.
  CStopSignal m_stop;
  std::atomic<int> m_nBatchSize;

  std::u16string m_strServiceHost;
  uint32_t m_nMaxPauseMs;
  std::function<UtcTime()> m_clock;
  int m_nLanes;
};
