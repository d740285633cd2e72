// The window layer where the other window tests do not reach: letting go of windows in every
// order, and the modal loop with its keyboard rules.
#include "framework/dialog.h"
#include "framework/wnd.h"
#include "tests/gui/framework_test_resource.h"
#include "tests/gui/gui_test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr UINT kProbe = WM_APP + 40;

class RecordingWnd : public CWnd {
 public:
  std::vector<UINT> messages;
  int* deletions = nullptr;  // set: the object deletes itself on kProbe and after WM_NCDESTROY
  ~RecordingWnd() override {
    if (deletions) ++*deletions;
  }
  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override {
    messages.push_back(msg);
    if (msg == WM_APP + 1) return 77;  // answered here, without the original procedure
    if (msg == kProbe && deletions) {
      delete this;
      return 5;
    }
    return CWnd::WindowProc(msg, wParam, lParam);
  }
  void PostNcDestroy() override {
    if (deletions) delete this;
  }
  bool Saw(UINT msg) const { return std::count(messages.begin(), messages.end(), msg) > 0; }
};

TEST(FrameworkWnd, BindingRoutesMessagesAndEveryWayOfLettingGoLeavesAWorkingWindow) {
  CDialog dialog(IDD_FW_MAIN);
  ASSERT_TRUE(dialog.Create(nullptr));
  const HWND edit = dialog.GetDlgItem(IDC_FW_EDIT);
  const LONG_PTR original = GetWindowLongPtrW(edit, GWLP_WNDPROC);
  auto works = [&](const wchar_t* text) {  // the edit's own procedure still stores its text
    SetWindowTextW(edit, text);
    return GetWindowTextString(edit) == text;
  };
  {
    RecordingWnd wnd, other;
    ASSERT_TRUE(wnd.SubclassWindow(edit));
    EXPECT_EQ(&wnd, CWnd::FromHandle(edit));
    EXPECT_TRUE(works(L"abc") && wnd.Saw(WM_SETTEXT));
    EXPECT_EQ(77, SendMessageW(edit, WM_APP + 1, 0, 0));
    EXPECT_FALSE(other.SubclassWindow(edit));  // one object per window, one window per object
    EXPECT_FALSE(wnd.SubclassWindow(dialog.GetDlgItem(IDC_FW_EDIT2)));
    EXPECT_EQ(edit, wnd.UnsubclassWindow());
    EXPECT_EQ(original, GetWindowLongPtrW(edit, GWLP_WNDPROC));
    EXPECT_EQ(nullptr, CWnd::FromHandle(edit));
    ASSERT_TRUE(wnd.SubclassWindow(edit));  // bound again: the object goes, the window stays
  }
  EXPECT_EQ(original, GetWindowLongPtrW(edit, GWLP_WNDPROC));
  EXPECT_TRUE(works(L"after"));
  int deletions = 0;
  auto* self = new RecordingWnd;  // deletes itself inside its own handler
  ASSERT_TRUE(self->SubclassWindow(edit));
  self->deletions = &deletions;
  EXPECT_EQ(5, SendMessageW(edit, kProbe, 0, 0));
  EXPECT_EQ(1, deletions);
  EXPECT_EQ(original, GetWindowLongPtrW(edit, GWLP_WNDPROC));
  EXPECT_TRUE(works(L"alive"));
  RecordingWnd next;  // a new object takes the window over, and the window dies cleanly under both
  ASSERT_TRUE(next.SubclassWindow(edit));
  EXPECT_EQ(77, SendMessageW(edit, WM_APP + 1, 0, 0));
  EXPECT_TRUE(dialog.DestroyWindow());
  EXPECT_EQ(nullptr, next.m_hWnd);
  EXPECT_TRUE(next.Saw(WM_NCDESTROY));

  // A created window that deletes its object after WM_NCDESTROY.
  HWND created = nullptr;
  self = new RecordingWnd;
  self->deletions = &deletions;
  ASSERT_TRUE(self->CreateEx(0, CWnd::DefaultWindowClass(), L"", WS_POPUP, RECT{}, nullptr, 0));
  created = self->m_hWnd;
  EXPECT_TRUE(DestroyWindow(created));
  EXPECT_EQ(2, deletions);
  EXPECT_EQ(nullptr, CWnd::FromHandle(created));
}

class ModalDialog : public CDialog {
 public:
  explicit ModalDialog(HWND owner = nullptr, UINT id = IDD_FW_MAIN, bool swallowEscape = true) : CDialog(id, owner) {
    m_bSwallowEscape = swallowEscape;
  }
  std::function<void(ModalDialog&)> onInit, onApp;
  int okCalls = 0, cancelCalls = 0;
  std::wstring m_strText;
  BOOL OnInitDialog() override {
    CDialog::OnInitDialog();
    if (onInit) onInit(*this);
    return TRUE;
  }
  void DoDataExchange(CDataExchange* dx) override { DDX_Text(dx, IDC_FW_EDIT, m_strText); }
  void OnOK() override { ++okCalls, CDialog::OnOK(); }
  void OnCancel() override { ++cancelCalls, CDialog::OnCancel(); }
  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override {
    if (msg != WM_APP) return CDialog::WindowProc(msg, wParam, lParam);
    if (onApp) onApp(*this);
    EndDialog(static_cast<INT_PTR>(wParam));
    return 0;
  }
};

void PostKey(HWND hwnd, WPARAM key) { PostMessageW(hwnd, WM_KEYDOWN, key, key == VK_ESCAPE ? 0x00010001 : 0x001C0001); }

TEST(FrameworkModal, DoModalEndsWithItsResultAndKeepsTheKeyboardRules) {
  CWnd owner;
  ASSERT_TRUE(owner.CreateEx(0, CWnd::DefaultWindowClass(), L"", WS_POPUP | WS_VISIBLE, guitest::Rect(0, 0, 200, 150),
                             nullptr, 0));
  const struct {
    const char* what;
    bool swallowEscape;
    std::function<void(ModalDialog&)> step;
    INT_PTR result;
    int ok, cancel;
  } cases[] = {
      {"Escape kept from the dialog manager", true,
       [](ModalDialog& d) {
         PostKey(d.GetDlgItem(IDC_FW_EDIT), VK_ESCAPE);
         d.PostMessage(WM_APP, 7);
       },
       7, 0, 0},
      {"Escape allowed", false,
       [](ModalDialog& d) {
         PostKey(d.GetDlgItem(IDC_FW_EDIT), VK_ESCAPE);
         d.PostMessage(WM_APP, 7);
       },
       IDCANCEL, 0, 1},
      {"Enter", true,
       [](ModalDialog& d) {
         d.SetDlgItemText(IDC_FW_EDIT, L"密码 {|}~");
         PostKey(d.GetDlgItem(IDC_FW_EDIT), VK_RETURN);
         d.PostMessage(WM_APP, 8);
       },
       IDOK, 1, 0},
      {"Quit", true, [](ModalDialog&) { PostQuitMessage(5); }, -1, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ModalDialog dialog(owner.m_hWnd, IDD_FW_MAIN, c.swallowEscape);
    HWND during = nullptr;
    dialog.onInit = [&](ModalDialog& d) {
      during = d.m_hWnd;
      c.step(d);
    };
    dialog.onApp = [&](ModalDialog& d) {
      EXPECT_TRUE(d.IsModal() && d.IsWindowVisible());
      EXPECT_EQ(owner.m_hWnd, GetWindow(d.m_hWnd, GW_OWNER));
      EXPECT_FALSE(owner.IsWindowEnabled());
    };
    EXPECT_EQ(c.result, dialog.DoModal());
    EXPECT_EQ(c.ok, dialog.okCalls);
    EXPECT_EQ(c.cancel, dialog.cancelCalls);
    EXPECT_TRUE(owner.IsWindowEnabled());
    EXPECT_FALSE(IsWindow(during));
    if (c.ok == 1) EXPECT_EQ(L"密码 {|}~", dialog.m_strText);  // OnOK read the controls
  }
  MSG msg;  // the quit that ended the loop is passed on
  ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(5u, msg.wParam);
  EXPECT_EQ(-1, ModalDialog(nullptr, 31999).DoModal());  // no such template
}

// A modeless dialog that records the clicks of its buttons.
class ModelessDialog : public ModalDialog {
 public:
  explicit ModelessDialog(bool enterRunsOnOK) { m_bEnterRunsOnOK = enterRunsOnOK; }
  std::vector<UINT> clicked;
  bool OnCommand(UINT id, UINT code, HWND control) override {
    if (code == BN_CLICKED) clicked.push_back(id);
    return ModalDialog::OnCommand(id, code, control);
  }
};

TEST(FrameworkModeless, EnterPressesOnlyAFocusedButtonAndNoKeyHidesTheDialog) {
  const struct {
    const char* what;
    bool enterRunsOnOK;
    int focus;
    WORD key;
    std::vector<UINT> clicked;
    int ok, cancel;
  } cases[] = {
      {"Enter in an edit box", false, IDC_FW_EDIT, VK_RETURN, {}, 0, 0},
      {"Enter on a push button", false, IDC_FW_BUTTON, VK_RETURN, {IDC_FW_BUTTON}, 0, 0},
      {"Enter on the OK button", false, IDOK, VK_RETURN, {IDOK}, 1, 0},
      {"Escape in an edit box", false, IDC_FW_EDIT, VK_ESCAPE, {}, 0, 0},
      {"Escape on a push button", false, IDC_FW_BUTTON, VK_ESCAPE, {}, 0, 0},
      {"Enter in a form with a default action", true, IDC_FW_EDIT, VK_RETURN, {IDOK}, 1, 0},
      {"Escape in that form", true, IDC_FW_EDIT, VK_ESCAPE, {}, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ModelessDialog dialog(c.enterRunsOnOK);
    ASSERT_TRUE(dialog.Create(nullptr));
    dialog.ShowWindow(SW_SHOW);
    ASSERT_TRUE(PressKey(dialog.GetDlgItem(c.focus), c.key));
    EXPECT_EQ(c.clicked, dialog.clicked);
    EXPECT_EQ(c.ok, dialog.okCalls);
    EXPECT_EQ(c.cancel, dialog.cancelCalls);
    EXPECT_TRUE(dialog.IsWindowVisible());
  }
}

}  // namespace
