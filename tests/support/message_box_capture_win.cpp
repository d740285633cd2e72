#include "tests/support/message_box_capture.h"

#include <algorithm>
#include <chrono>

namespace {

// The message box's own controls: its text is the static with id 0xFFFF (also under Wine).
constexpr int kTextId = 0xFFFF;
constexpr int kButtonIds[] = {IDOK, IDCANCEL, IDABORT, IDRETRY, IDIGNORE, IDYES, IDNO, IDTRYAGAIN, IDCONTINUE};
constexpr DWORD kPollMs = 15;

std::wstring TextOf(HWND hwnd) {
  const int length = GetWindowTextLengthW(hwnd);
  if (length <= 0) return std::wstring();
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  const int n = GetWindowTextW(hwnd, &text[0], length + 1);
  text.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return text;
}

bool IsMessageBox(HWND hwnd) {
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  if (pid != GetCurrentProcessId() || !IsWindowVisible(hwnd)) return false;
  wchar_t name[16];
  if (GetClassNameW(hwnd, name, 16) == 0 || lstrcmpW(name, L"#32770") != 0) return false;
  return GetDlgItem(hwnd, kTextId) != nullptr;
}

BOOL CALLBACK CollectBoxes(HWND hwnd, LPARAM param) {
  if (IsMessageBox(hwnd)) reinterpret_cast<std::vector<HWND>*>(param)->push_back(hwnd);
  return TRUE;
}

}  // namespace

MessageBoxCapture::MessageBoxCapture(int answer) : m_answer(answer), m_stop(false) {
  m_watcher = std::thread([this] { Watch(); });
}

MessageBoxCapture::~MessageBoxCapture() {
  m_stop = true;
  m_watcher.join();
}

void MessageBoxCapture::SetAnswer(int answer) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_answer = answer;
}

void MessageBoxCapture::QueueAnswers(const std::vector<int>& answers) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_queued.insert(m_queued.end(), answers.begin(), answers.end());
}

void MessageBoxCapture::HoldWhile(std::function<bool()> hold) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_hold = std::move(hold);
}

std::vector<CapturedMessageBox> MessageBoxCapture::Boxes() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_boxes;
}

size_t MessageBoxCapture::Count() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_boxes.size();
}

bool MessageBoxCapture::WaitForCount(size_t count, unsigned timeoutMs) const {
  std::unique_lock<std::mutex> lock(m_mutex);
  return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return m_boxes.size() >= count; });
}

void MessageBoxCapture::Watch() {
  while (!m_stop) {
    Scan();
    Sleep(kPollMs);
  }
}

void MessageBoxCapture::Scan() {
  std::vector<HWND> boxes;
  EnumWindows(&CollectBoxes, reinterpret_cast<LPARAM>(&boxes));
  // Forget boxes that are gone, so that a reused handle is a new box.
  for (auto it = m_seen.begin(); it != m_seen.end();) {
    if (std::find(boxes.begin(), boxes.end(), *it) == boxes.end()) {
      const HWND gone = *it;
      m_unanswered.erase(std::remove_if(m_unanswered.begin(), m_unanswered.end(),
                                        [gone](const std::pair<HWND, int>& box) { return box.first == gone; }),
                         m_unanswered.end());
      it = m_seen.erase(it);
    } else {
      ++it;
    }
  }
  for (HWND box : boxes) {
    if (m_seen.count(box) != 0) continue;
    CapturedMessageBox captured;
    captured.caption = TextOf(box);
    captured.text = TextOf(GetDlgItem(box, kTextId));
    captured.owner = GetWindow(box, GW_OWNER);
    captured.threadId = GetWindowThreadProcessId(box, nullptr);
    for (int id : kButtonIds) {
      const HWND button = GetDlgItem(box, id);
      if (button != nullptr && IsWindowVisible(button)) captured.buttons.push_back(id);
    }
    int wanted;
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      wanted = m_answer;
      if (!m_queued.empty()) {
        wanted = m_queued.front();
        m_queued.pop_front();
      }
    }
    const bool has = std::find(captured.buttons.begin(), captured.buttons.end(), wanted) != captured.buttons.end();
    captured.answer = has ? wanted : (captured.buttons.empty() ? IDOK : captured.buttons.front());
    m_seen.insert(box);
    m_unanswered.emplace_back(box, captured.answer);
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_boxes.push_back(captured);
    }
    m_changed.notify_all();
  }
  std::function<bool()> hold;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    hold = m_hold;
  }
  if (hold && hold()) return;
  // A click of the button, as the box's own button would send it.
  for (const auto& box : m_unanswered) {
    PostMessageW(box.first, WM_COMMAND, MAKEWPARAM(box.second, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(box.first, box.second)));
  }
  m_unanswered.clear();
}
