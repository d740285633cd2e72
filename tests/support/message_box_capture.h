// Captures the message boxes a test makes the program show, on any thread of the process, and
// answers them.
//
// While a capture object lives, a watcher thread looks every few milliseconds at the process's
// visible top-level windows for message boxes (dialog class "#32770" holding the message box's
// text control). Each new box is recorded (caption, text, buttons, owner, thread) and answered
// by posting the chosen button's click to it, so that MessageBox returns that button's id on
// whichever thread showed it - the window thread or a worker. A watcher thread (instead of a
// per-thread CBT hook) is used because it catches boxes of threads the test never sees.
#pragma once

#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

struct CapturedMessageBox {
  std::wstring caption;
  std::wstring text;
  std::vector<int> buttons;  // ids of the buttons shown (IDOK, IDCANCEL, IDYES, IDNO...), ascending
  int answer = 0;            // the id pressed
  HWND owner = nullptr;      // the box's owner window (null for none)
  DWORD threadId = 0;        // the thread that showed it
};

class MessageBoxCapture {
 public:
  // `answer`: the button to press (IDOK, IDYES, IDNO...). A box without that button gets its
  // first button pressed.
  explicit MessageBoxCapture(int answer = IDOK);
  ~MessageBoxCapture();
  MessageBoxCapture(const MessageBoxCapture&) = delete;
  MessageBoxCapture& operator=(const MessageBoxCapture&) = delete;

  void SetAnswer(int answer);
  // Answers for the next boxes, in order; afterwards the default answer again.
  void QueueAnswers(const std::vector<int>& answers);
  // While `hold` (called on the watcher thread) is true, boxes are recorded when they appear
  // but left open; they are answered once it turns false. Null answers at once again.
  void HoldWhile(std::function<bool()> hold);

  std::vector<CapturedMessageBox> Boxes() const;
  size_t Count() const;
  // Blocks (without pumping messages) until `count` boxes were captured, at most `timeoutMs`.
  // For boxes of other threads; a box of the calling thread is waited for by pumping instead.
  bool WaitForCount(size_t count, unsigned timeoutMs) const;

 private:
  void Watch();
  void Scan();

  mutable std::mutex m_mutex;
  mutable std::condition_variable m_changed;
  std::vector<CapturedMessageBox> m_boxes;
  std::deque<int> m_queued;
  int m_answer;
  std::function<bool()> m_hold;
  std::set<HWND> m_seen;                          // watcher thread only
  std::vector<std::pair<HWND, int>> m_unanswered;  // seen, held: the box and its answer
  std::atomic<bool> m_stop;
  std::thread m_watcher;
};
