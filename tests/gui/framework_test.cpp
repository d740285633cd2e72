// The window layer where the other window tests do not reach: letting go of windows in every
// order, and the modal loop with its keyboard rules and message chain.
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
  int preSubclassCalls = 0;
  size_t messagesAtPreSubclass = 0;
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
  void PreSubclassWindow() override {
    ++preSubclassCalls;
    messagesAtPreSubclass = messages.size();
  }
  void PostNcDestroy() override {
    if (deletions) delete this;
  }
  bool Saw(UINT msg) const { return std::count(messages.begin(), messages.end(), msg) > 0; }
};

WNDPROC g_belowForeign = nullptr;
LRESULT CALLBACK ForeignProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return CallWindowProcW(g_belowForeign, hwnd, msg, wParam, lParam);
}

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
  // Under another subclass the object cannot take its procedure out of the chain: it forwards.
  auto* under = new RecordingWnd;
  ASSERT_TRUE(under->SubclassWindow(edit));
  g_belowForeign =
      reinterpret_cast<WNDPROC>(SetWindowLongPtrW(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ForeignProc)));
  delete under;
  EXPECT_EQ(nullptr, CWnd::FromHandle(edit));
  EXPECT_TRUE(works(L"still works"));
  RecordingWnd next;  // a new object takes the window over, and the window dies cleanly under both
  ASSERT_TRUE(next.SubclassWindow(edit));
  EXPECT_EQ(77, SendMessageW(edit, WM_APP + 1, 0, 0));
  EXPECT_TRUE(dialog.DestroyWindow());
  EXPECT_EQ(nullptr, next.m_hWnd);
  EXPECT_TRUE(next.Saw(WM_NCDESTROY));

  // A created window is bound before its first message and goes with its object; PostNcDestroy
  // comes after the object is let go.
  HWND created = nullptr;
  {
    RecordingWnd wnd;
    ASSERT_TRUE(wnd.CreateEx(0, CWnd::DefaultWindowClass(), L"probe", WS_POPUP, RECT{}, nullptr, 0));
    created = wnd.m_hWnd;
    EXPECT_EQ(0u, wnd.messagesAtPreSubclass);
    EXPECT_TRUE(wnd.Saw(WM_NCCREATE) && wnd.Saw(WM_CREATE));
    RecordingWnd unknown;
    EXPECT_FALSE(unknown.CreateEx(0, L"NoSuchClassAnywhere", L"", WS_POPUP, RECT{}, nullptr, 0));
    EXPECT_EQ(0, unknown.preSubclassCalls);
  }
  EXPECT_FALSE(IsWindow(created));
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
  std::vector<std::wstring>* order = nullptr;
  BOOL OnInitDialog() override {
    CDialog::OnInitDialog();
    if (onInit) onInit(*this);
    return TRUE;
  }
  void DoDataExchange(CDataExchange* dx) override { DDX_Text(dx, IDC_FW_EDIT, m_strText); }
  void OnOK() override { ++okCalls, CDialog::OnOK(); }
  void OnCancel() override { ++cancelCalls, CDialog::OnCancel(); }
  bool PreTranslateMessage(MSG* msg) override {
    if (order != nullptr && msg->message == kProbe) order->push_back(L"dialog");
    return false;
  }
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
      {"EndDialog", true, [](ModalDialog& d) { d.PostMessage(WM_APP, 42); }, 42, 0, 0},
      {"Escape kept from the dialog manager", true,
       [](ModalDialog& d) {
         PostKey(d.GetDlgItem(IDC_FW_EDIT), VK_ESCAPE);
         PostKey(d.GetDlgItem(IDC_FW_BUTTON), VK_ESCAPE);
         d.PostMessage(WM_APP, 7);
       },
       7, 0, 0},
      {"Escape allowed", false,
       [](ModalDialog& d) {
         PostKey(d.GetDlgItem(IDC_FW_EDIT), VK_ESCAPE);
         d.PostMessage(WM_APP, 7);  // not reached when Escape works
       },
       IDCANCEL, 0, 1},
      {"Enter", true,
       [](ModalDialog& d) {
         d.SetDlgItemText(IDC_FW_EDIT, L"密码 {|}~");
         PostKey(d.GetDlgItem(IDC_FW_EDIT), VK_RETURN);
         d.PostMessage(WM_APP, 8);
       },
       IDOK, 1, 0},
      {"Close", true, [](ModalDialog& d) { d.PostMessage(WM_CLOSE); }, IDCANCEL, 0, 1},
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
    if (c.ok == 1) {
      EXPECT_EQ(L"密码 {|}~", dialog.m_strText);  // OnOK read the controls
    }
  }
  MSG msg;  // the quit that ended the loop is passed on
  ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(5u, msg.wParam);
  EXPECT_EQ(-1, ModalDialog(nullptr, 31999).DoModal());  // no such template
}

class ChainWnd : public CWnd {
 public:
  ChainWnd(const wchar_t* name, std::vector<std::wstring>* order) : m_name(name), m_order(order) {}
  bool consume = false;
  int probesDispatched = 0;
  bool PreTranslateMessage(MSG* msg) override {
    if (msg->message == kProbe) m_order->push_back(m_name);
    return msg->message == kProbe && consume;
  }
  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override {
    probesDispatched += msg == kProbe;
    return CWnd::WindowProc(msg, wParam, lParam);
  }

 private:
  std::wstring m_name;
  std::vector<std::wstring>* m_order;
};

class ChainChildDialog : public CDialog {
 public:
  explicit ChainChildDialog(std::vector<std::wstring>* order) : CDialog(IDD_FW_CHILD), m_order(order) {}
  bool PreTranslateMessage(MSG* msg) override {
    if (msg->message == kProbe) m_order->push_back(L"child dialog");
    return false;
  }

 private:
  std::vector<std::wstring>* m_order;
};

TEST(FrameworkModal, PreTranslateRunsFromTheTargetUpToTheOwnerAndModelessDialogsGetTheDialogManager) {
  std::vector<std::wstring> order, seen;
  ChainWnd owner(L"owner", &order);
  ASSERT_TRUE(owner.CreateEx(0, CWnd::DefaultWindowClass(), L"", WS_POPUP, guitest::Rect(0, 0, 100, 100), nullptr, 0));
  ModalDialog dialog(owner.m_hWnd);
  dialog.order = &order;
  ChainChildDialog child(&order);
  ChainWnd childEdit(L"child edit", &order), edit(L"edit", &order);
  ModalDialog popup(nullptr, IDD_FW_SMALL);  // run modeless inside the loop
  dialog.onInit = [&](ModalDialog& d) {
    ASSERT_TRUE(child.Create(d.m_hWnd));
    ASSERT_TRUE(childEdit.SubclassDlgItem(IDC_FW_CHILD_EDIT, child.m_hWnd));
    childEdit.PostMessage(kProbe);
    ASSERT_TRUE(popup.Create(d.m_hWnd));
    popup.ShowWindow(SW_SHOWNOACTIVATE);
    popup.SetDlgItemText(IDC_FW_EDIT, L"login");
    PostKey(popup.GetDlgItem(IDC_FW_EDIT), VK_ESCAPE);  // kept from the popup's dialog manager
    PostKey(popup.GetDlgItem(IDC_FW_EDIT), VK_RETURN);  // reaches it
    d.PostMessage(WM_APP, 11);                          // queued after the others
  };
  dialog.onApp = [&](ModalDialog&) { seen = order; };
  EXPECT_EQ(11, dialog.DoModal());
  EXPECT_EQ((std::vector<std::wstring>{L"child edit", L"child dialog", L"dialog", L"owner"}), seen);
  EXPECT_EQ(1, childEdit.probesDispatched);
  EXPECT_EQ(1, popup.okCalls);
  EXPECT_EQ(0, popup.cancelCalls);
  EXPECT_EQ(L"login", popup.m_strText);
  // A window that handles the message stops it: no ancestor sees it, nobody gets it dispatched.
  order.clear();
  edit.consume = true;
  dialog.onInit = [&](ModalDialog& d) {
    ASSERT_TRUE(edit.SubclassDlgItem(IDC_FW_EDIT, d.m_hWnd));
    edit.PostMessage(kProbe);
    d.PostMessage(WM_APP, 12);
  };
  EXPECT_EQ(12, dialog.DoModal());
  EXPECT_EQ((std::vector<std::wstring>{L"edit"}), seen);
  EXPECT_EQ(0, edit.probesDispatched);
}

}  // namespace
