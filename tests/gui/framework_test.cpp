// The window layer: binding objects to windows, the virtual window procedure, reflection of
// notifications, data exchange, and the modal loop with its keyboard rules.
#include "framework/app.h"
#include "framework/controls.h"
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

  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override {
    messages.push_back(msg);
    if (msg == WM_APP + 1) return 77;  // answered here, without the original procedure
    return CWnd::WindowProc(msg, wParam, lParam);
  }
  void PreSubclassWindow() override {
    ++preSubclassCalls;
    messagesAtPreSubclass = messages.size();
  }
  bool Saw(UINT msg) const { return std::find(messages.begin(), messages.end(), msg) != messages.end(); }
};

// A modeless copy of the test dialog; the window goes with the object.
class PlainDialog : public CDialog {
 public:
  explicit PlainDialog(UINT id = IDD_FW_MAIN) : CDialog(id) {}
};

RECT Rect(int x, int y, int w, int h) { return RECT{x, y, x + w, y + h}; }

// --- Binding and the window procedure ---

TEST(FrameworkWnd, SubclassRoutesMessagesThroughWindowProcAndUnsubclassRestores) {
  PlainDialog dialog;
  ASSERT_TRUE(dialog.Create(nullptr));
  const HWND edit = dialog.GetDlgItem(IDC_FW_EDIT);
  ASSERT_NE(nullptr, edit);
  const LONG_PTR original = GetWindowLongPtrW(edit, GWLP_WNDPROC);

  RecordingWnd wnd;
  ASSERT_TRUE(wnd.SubclassWindow(edit));
  EXPECT_EQ(1, wnd.preSubclassCalls);
  EXPECT_EQ(edit, wnd.m_hWnd);
  EXPECT_EQ(&wnd, CWnd::FromHandle(edit));

  // Default(): the edit's own procedure still stores the text.
  SetWindowTextW(edit, L"abc");
  EXPECT_TRUE(wnd.Saw(WM_SETTEXT));
  EXPECT_EQ(L"abc", wnd.GetWindowText());
  // A message answered by the object alone.
  EXPECT_EQ(77, SendMessageW(edit, WM_APP + 1, 0, 0));

  // One object per window, one window per object.
  RecordingWnd other;
  EXPECT_FALSE(other.SubclassWindow(edit));
  EXPECT_FALSE(wnd.SubclassWindow(dialog.GetDlgItem(IDC_FW_EDIT2)));

  EXPECT_EQ(edit, wnd.UnsubclassWindow());
  EXPECT_EQ(nullptr, wnd.m_hWnd);
  EXPECT_EQ(original, GetWindowLongPtrW(edit, GWLP_WNDPROC));
  EXPECT_EQ(nullptr, CWnd::FromHandle(edit));
  wnd.messages.clear();
  SetWindowTextW(edit, L"x");
  EXPECT_TRUE(wnd.messages.empty());
  EXPECT_EQ(L"x", GetWindowTextString(edit));
}

TEST(FrameworkWnd, CreateExBindsTheObjectBeforeTheFirstMessage) {
  RecordingWnd wnd;
  ASSERT_TRUE(wnd.CreateEx(0, CWnd::DefaultWindowClass(), L"probe", WS_POPUP, Rect(0, 0, 120, 90), nullptr, 0));
  EXPECT_EQ(1, wnd.preSubclassCalls);
  EXPECT_EQ(0u, wnd.messagesAtPreSubclass);
  EXPECT_TRUE(wnd.Saw(WM_NCCREATE));
  EXPECT_TRUE(wnd.Saw(WM_CREATE));
  EXPECT_EQ(L"probe", wnd.GetWindowText());
  const HWND hwnd = wnd.m_hWnd;
  EXPECT_TRUE(wnd.DestroyWindow());
  EXPECT_FALSE(IsWindow(hwnd));
  EXPECT_EQ(nullptr, wnd.m_hWnd);
  EXPECT_TRUE(wnd.Saw(WM_DESTROY));
  EXPECT_TRUE(wnd.Saw(WM_NCDESTROY));
}

class CreationOrderDialog : public CDialog {
 public:
  CreationOrderDialog() : CDialog(IDD_FW_MAIN) {}
  std::vector<UINT> messages;
  size_t atPreSubclass = 99;
  void PreSubclassWindow() override { atPreSubclass = messages.size(); }
  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override {
    messages.push_back(msg);
    return CDialog::WindowProc(msg, wParam, lParam);
  }
  size_t IndexOf(UINT msg) const {
    return static_cast<size_t>(std::find(messages.begin(), messages.end(), msg) - messages.begin());
  }
};

TEST(FrameworkWnd, ADialogSeesItsCreationBeforeItsInitialisation) {
  CreationOrderDialog dialog;
  ASSERT_TRUE(dialog.Create(nullptr));
  EXPECT_EQ(0u, dialog.atPreSubclass);
  ASSERT_LT(dialog.IndexOf(WM_CREATE), dialog.messages.size());
  ASSERT_LT(dialog.IndexOf(WM_INITDIALOG), dialog.messages.size());
  EXPECT_LT(dialog.IndexOf(WM_NCCREATE), dialog.IndexOf(WM_CREATE));
  EXPECT_LT(dialog.IndexOf(WM_CREATE), dialog.IndexOf(WM_INITDIALOG));
}

TEST(FrameworkWnd, CreateExOfACommonControlChild) {
  PlainDialog dialog;
  ASSERT_TRUE(dialog.Create(nullptr));
  RecordingWnd tree;
  ASSERT_TRUE(tree.CreateEx(WS_EX_CLIENTEDGE, WC_TREEVIEWW, L"ShellTree Control",
                            WS_CHILD | WS_VISIBLE | TVS_HASBUTTONS, RECT{}, dialog.m_hWnd, 59648));
  EXPECT_EQ(59648, tree.GetDlgCtrlID());
  EXPECT_EQ(dialog.m_hWnd, tree.GetParent());
  EXPECT_EQ(tree.m_hWnd, dialog.GetDlgItem(59648));
  EXPECT_EQ(1, tree.preSubclassCalls);
  EXPECT_TRUE(tree.Saw(WM_CREATE));
}

TEST(FrameworkWnd, CreateExFailsForAnUnknownClass) {
  RecordingWnd wnd;
  EXPECT_FALSE(wnd.CreateEx(0, L"NoSuchClassAnywhere", L"", WS_POPUP, RECT{}, nullptr, 0));
  EXPECT_EQ(nullptr, wnd.m_hWnd);
  EXPECT_EQ(0, wnd.preSubclassCalls);
}

TEST(FrameworkWnd, AnObjectDestroysTheWindowItCreatedButNotOneItSubclassed) {
  HWND created = nullptr;
  {
    CWnd wnd;
    ASSERT_TRUE(wnd.CreateEx(0, CWnd::DefaultWindowClass(), L"", WS_POPUP, RECT{}, nullptr, 0));
    created = wnd.m_hWnd;
  }
  EXPECT_FALSE(IsWindow(created));

  PlainDialog dialog;
  ASSERT_TRUE(dialog.Create(nullptr));
  const HWND edit = dialog.GetDlgItem(IDC_FW_EDIT);
  const LONG_PTR original = GetWindowLongPtrW(edit, GWLP_WNDPROC);
  {
    RecordingWnd wnd;
    ASSERT_TRUE(wnd.SubclassWindow(edit));
  }
  EXPECT_TRUE(IsWindow(edit));
  EXPECT_EQ(original, GetWindowLongPtrW(edit, GWLP_WNDPROC));
  SetWindowTextW(edit, L"after");
  EXPECT_EQ(L"after", GetWindowTextString(edit));

  // And a dialog object takes its window with it.
  HWND dialogWindow = nullptr;
  {
    PlainDialog temporary;
    ASSERT_TRUE(temporary.Create(nullptr));
    dialogWindow = temporary.m_hWnd;
  }
  EXPECT_FALSE(IsWindow(dialogWindow));
}

WNDPROC g_belowForeign = nullptr;
int g_foreignCalls = 0;

LRESULT CALLBACK ForeignProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  ++g_foreignCalls;
  return CallWindowProcW(g_belowForeign, hwnd, msg, wParam, lParam);
}

TEST(FrameworkWnd, AnObjectUnderAnotherSubclassLeavesAForwarderWhenItGoes) {
  PlainDialog dialog;
  ASSERT_TRUE(dialog.Create(nullptr));
  const HWND edit = dialog.GetDlgItem(IDC_FW_EDIT);
  auto* wnd = new RecordingWnd;
  ASSERT_TRUE(wnd->SubclassWindow(edit));
  g_foreignCalls = 0;
  g_belowForeign = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ForeignProc)));

  delete wnd;  // cannot take its procedure out of the chain: it forwards from now on
  EXPECT_EQ(nullptr, CWnd::FromHandle(edit));
  EXPECT_EQ(reinterpret_cast<LONG_PTR>(&ForeignProc), GetWindowLongPtrW(edit, GWLP_WNDPROC));
  SetWindowTextW(edit, L"still works");
  EXPECT_EQ(L"still works", GetWindowTextString(edit));
  EXPECT_GT(g_foreignCalls, 0);

  // A new object can take the window over, and the window dies cleanly under both.
  RecordingWnd next;
  ASSERT_TRUE(next.SubclassWindow(edit));
  EXPECT_EQ(77, SendMessageW(edit, WM_APP + 1, 0, 0));
  EXPECT_TRUE(dialog.DestroyWindow());
  EXPECT_FALSE(IsWindow(edit));
  EXPECT_EQ(nullptr, next.m_hWnd);
  EXPECT_TRUE(next.Saw(WM_NCDESTROY));
}

int g_selfDeletedCount = 0;

class SelfDeletingWnd : public CWnd {
 public:
  ~SelfDeletingWnd() override { ++g_selfDeletedCount; }
  void PostNcDestroy() override { delete this; }
};

class DeletesOnMessageWnd : public CWnd {
 public:
  ~DeletesOnMessageWnd() override { ++g_selfDeletedCount; }
  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override {
    if (msg == WM_APP + 2) {
      delete this;
      return 5;
    }
    return CWnd::WindowProc(msg, wParam, lParam);
  }
};

TEST(FrameworkWnd, NcDestroyUnbindsTheObjectAndCallsPostNcDestroy) {
  g_selfDeletedCount = 0;
  auto* wnd = new SelfDeletingWnd;
  ASSERT_TRUE(wnd->CreateEx(0, CWnd::DefaultWindowClass(), L"", WS_POPUP, RECT{}, nullptr, 0));
  const HWND hwnd = wnd->m_hWnd;
  EXPECT_TRUE(DestroyWindow(hwnd));
  EXPECT_EQ(1, g_selfDeletedCount);
  EXPECT_EQ(nullptr, CWnd::FromHandle(hwnd));
}

TEST(FrameworkWnd, AnObjectMayDeleteItselfInsideItsOwnHandler) {
  g_selfDeletedCount = 0;
  PlainDialog dialog;
  ASSERT_TRUE(dialog.Create(nullptr));
  const HWND edit = dialog.GetDlgItem(IDC_FW_EDIT);
  const LONG_PTR original = GetWindowLongPtrW(edit, GWLP_WNDPROC);
  auto* wnd = new DeletesOnMessageWnd;
  ASSERT_TRUE(wnd->SubclassWindow(edit));
  EXPECT_EQ(5, SendMessageW(edit, WM_APP + 2, 0, 0));
  EXPECT_EQ(1, g_selfDeletedCount);
  EXPECT_EQ(nullptr, CWnd::FromHandle(edit));
  EXPECT_EQ(original, GetWindowLongPtrW(edit, GWLP_WNDPROC));
  SetWindowTextW(edit, L"alive");
  EXPECT_EQ(L"alive", GetWindowTextString(edit));
}

TEST(FrameworkWnd, WrappersAndAppName) {
  EXPECT_EQ(L"gui_tests", GetAppName());
  PlainDialog dialog;
  ASSERT_TRUE(dialog.Create(nullptr));
  EXPECT_EQ(L"Framework test", dialog.GetWindowText());
  dialog.SetDlgItemText(IDC_FW_EDIT2, L"\u63d0\u793a");
  EXPECT_EQ(L"\u63d0\u793a", dialog.GetDlgItemText(IDC_FW_EDIT2));
  EXPECT_EQ(L"", dialog.GetDlgItemText(IDC_FW_MISSING));
  CWnd edit;
  ASSERT_TRUE(edit.Attach(dialog.GetDlgItem(IDC_FW_EDIT)));
  EXPECT_EQ(nullptr, CWnd::FromHandle(edit.m_hWnd));  // attached, not bound
  EXPECT_TRUE(edit.MoveWindow(3, 4, 50, 20));
  RECT rc;
  edit.GetClientRect(&rc);
  RECT window;
  edit.GetWindowRect(&window);
  dialog.ScreenToClient(&window);
  EXPECT_EQ(3, window.left);
  EXPECT_EQ(4, window.top);
  EXPECT_EQ(50, window.right - window.left);
  EXPECT_TRUE(edit.ModifyStyle(0, ES_UPPERCASE));
  EXPECT_NE(0u, edit.GetStyle() & ES_UPPERCASE);
  EXPECT_FALSE(edit.ModifyStyle(0, ES_UPPERCASE));  // no change
  EXPECT_TRUE(dialog.ModifyStyleEx(0, WS_EX_TOOLWINDOW, SWP_FRAMECHANGED));
  EXPECT_NE(0u, dialog.GetExStyle() & WS_EX_TOOLWINDOW);
  EXPECT_EQ(dialog.GetDlgItem(IDC_FW_EDIT), edit.Detach());
  EXPECT_EQ(nullptr, edit.m_hWnd);
}

// --- Reflection ---

class ReflectingChild : public CWnd {
 public:
  bool handle = true;
  LRESULT answer = 0;
  std::vector<UINT> reflected;
  std::vector<UINT> notifyCodes;
  bool OnReflectedMessage(UINT msg, WPARAM, LPARAM lParam, LRESULT* result) override {
    reflected.push_back(msg);
    if (msg == WM_NOTIFY) notifyCodes.push_back(reinterpret_cast<NMHDR*>(lParam)->code);
    if (!handle) return false;
    *result = answer;
    return true;
  }
  bool Reflected(UINT msg) const { return std::find(reflected.begin(), reflected.end(), msg) != reflected.end(); }
};

class OwnerDrawnButton : public CButton {
 public:
  std::vector<HWND> drawn;
  void DrawItem(DRAWITEMSTRUCT* item) override { drawn.push_back(item->hwndItem); }
};

class ReflectionParent : public CDialog {
 public:
  ReflectionParent() : CDialog(IDD_FW_MAIN) {}
  struct Command {
    UINT id;
    UINT code;
    HWND control;
  };
  std::vector<Command> commands;
  std::vector<UINT> notifyCodes;
  std::vector<UINT> seen;
  HBRUSH parentBrush = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));

  bool OnCommand(UINT id, UINT code, HWND control) override {
    commands.push_back({id, code, control});
    return true;
  }
  bool OnNotify(NMHDR* header, LRESULT* result) override {
    notifyCodes.push_back(header->code);
    *result = 9;
    return true;
  }
  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override {
    switch (msg) {
      case WM_DRAWITEM:
      case WM_MEASUREITEM:
        seen.push_back(msg);
        return TRUE;
      case WM_CTLCOLORSTATIC:
        seen.push_back(msg);
        return reinterpret_cast<LRESULT>(parentBrush);
      default:
        return CDialog::WindowProc(msg, wParam, lParam);
    }
  }
  bool Saw(UINT msg) const { return std::find(seen.begin(), seen.end(), msg) != seen.end(); }
  bool SawCommand(UINT id, UINT code) const {
    return std::any_of(commands.begin(), commands.end(), [&](const Command& c) { return c.id == id && c.code == code; });
  }
};

TEST(FrameworkReflection, CommandGoesToTheChildFirstAndOtherwiseToTheParent) {
  ReflectionParent parent;
  ASSERT_TRUE(parent.Create(nullptr));
  ReflectingChild edit;
  ASSERT_TRUE(edit.SubclassDlgItem(IDC_FW_EDIT, parent.m_hWnd));

  // A real notification: the edit tells its parent that its text changed.
  SetWindowTextW(edit.m_hWnd, L"one");
  EXPECT_TRUE(edit.Reflected(WM_COMMAND));
  EXPECT_FALSE(parent.SawCommand(IDC_FW_EDIT, EN_CHANGE));

  edit.handle = false;
  SetWindowTextW(edit.m_hWnd, L"two");
  ASSERT_TRUE(parent.SawCommand(IDC_FW_EDIT, EN_CHANGE));
  const auto& last = parent.commands.back();
  EXPECT_EQ(edit.m_hWnd, last.control);

  // A control without an object: straight to the parent.
  const HWND button = parent.GetDlgItem(IDC_FW_BUTTON);
  SendMessageW(parent.m_hWnd, WM_COMMAND, MAKEWPARAM(IDC_FW_BUTTON, BN_CLICKED), reinterpret_cast<LPARAM>(button));
  EXPECT_TRUE(parent.SawCommand(IDC_FW_BUTTON, BN_CLICKED));

  // A menu command (no control handle) is never reflected.
  edit.reflected.clear();
  SendMessageW(parent.m_hWnd, WM_COMMAND, MAKEWPARAM(IDC_FW_EDIT, 0), 0);
  EXPECT_TRUE(edit.reflected.empty());
  EXPECT_TRUE(parent.SawCommand(IDC_FW_EDIT, 0));
}

TEST(FrameworkReflection, NotifyGoesToTheChildFirstWithItsResult) {
  ReflectionParent parent;
  ASSERT_TRUE(parent.Create(nullptr));
  ReflectingChild list;
  ASSERT_TRUE(list.SubclassDlgItem(IDC_FW_LIST, parent.m_hWnd));

  // A real notification of the list view.
  LVITEMW item{};
  item.mask = LVIF_TEXT;
  item.pszText = const_cast<wchar_t*>(L"a");
  ASSERT_EQ(0, SendMessageW(list.m_hWnd, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
  EXPECT_NE(list.notifyCodes.end(), std::find(list.notifyCodes.begin(), list.notifyCodes.end(), static_cast<UINT>(LVN_INSERTITEM)));
  EXPECT_EQ(parent.notifyCodes.end(), std::find(parent.notifyCodes.begin(), parent.notifyCodes.end(), static_cast<UINT>(LVN_INSERTITEM)));

  list.handle = false;
  item.iItem = 1;
  ASSERT_EQ(1, SendMessageW(list.m_hWnd, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
  EXPECT_NE(parent.notifyCodes.end(), std::find(parent.notifyCodes.begin(), parent.notifyCodes.end(), static_cast<UINT>(LVN_INSERTITEM)));

  // The answer travels back: the child's when it handles it, else the parent's.
  NMHDR header{list.m_hWnd, IDC_FW_LIST, static_cast<UINT>(-2001)};
  list.handle = true;
  list.answer = 33;
  EXPECT_EQ(33, SendMessageW(parent.m_hWnd, WM_NOTIFY, IDC_FW_LIST, reinterpret_cast<LPARAM>(&header)));
  list.handle = false;
  EXPECT_EQ(9, SendMessageW(parent.m_hWnd, WM_NOTIFY, IDC_FW_LIST, reinterpret_cast<LPARAM>(&header)));
}

TEST(FrameworkReflection, DrawItemReachesTheOwnerDrawnButton) {
  ReflectionParent parent;
  ASSERT_TRUE(parent.Create(nullptr));
  parent.ShowWindow(SW_SHOWNOACTIVATE);
  OwnerDrawnButton button;
  ASSERT_TRUE(button.SubclassDlgItem(IDC_FW_OWNERDRAW, parent.m_hWnd));
  button.RedrawWindow();
  ASSERT_FALSE(button.drawn.empty());
  EXPECT_EQ(button.m_hWnd, button.drawn.front());
  EXPECT_FALSE(parent.Saw(WM_DRAWITEM));

  // Without the object the parent draws.
  const HWND hwnd = button.UnsubclassWindow();
  RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ERASE);
  EXPECT_TRUE(parent.Saw(WM_DRAWITEM));

  // A button that is not owner-drawn leaves WM_DRAWITEM to its parent.
  CButton plain;
  ASSERT_TRUE(plain.SubclassDlgItem(IDC_FW_BUTTON, parent.m_hWnd));
  parent.seen.clear();
  DRAWITEMSTRUCT item{};
  item.CtlType = ODT_BUTTON;
  item.CtlID = IDC_FW_BUTTON;
  item.hwndItem = plain.m_hWnd;
  EXPECT_EQ(TRUE, SendMessageW(parent.m_hWnd, WM_DRAWITEM, IDC_FW_BUTTON, reinterpret_cast<LPARAM>(&item)));
  EXPECT_TRUE(parent.Saw(WM_DRAWITEM));
}

TEST(FrameworkReflection, MeasureItemOfControlsOnlyIsReflected) {
  ReflectionParent parent;
  ASSERT_TRUE(parent.Create(nullptr));
  ReflectingChild button;
  ASSERT_TRUE(button.SubclassDlgItem(IDC_FW_OWNERDRAW, parent.m_hWnd));
  MEASUREITEMSTRUCT item{};
  item.CtlType = ODT_BUTTON;
  item.CtlID = IDC_FW_OWNERDRAW;
  SendMessageW(parent.m_hWnd, WM_MEASUREITEM, IDC_FW_OWNERDRAW, reinterpret_cast<LPARAM>(&item));
  EXPECT_TRUE(button.Reflected(WM_MEASUREITEM));
  EXPECT_FALSE(parent.Saw(WM_MEASUREITEM));
  button.reflected.clear();
  item.CtlType = ODT_MENU;
  SendMessageW(parent.m_hWnd, WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&item));
  EXPECT_FALSE(button.Reflected(WM_MEASUREITEM));
  EXPECT_TRUE(parent.Saw(WM_MEASUREITEM));
}

TEST(FrameworkReflection, ControlColourGoesToTheChildFirst) {
  ReflectionParent parent;
  ASSERT_TRUE(parent.Create(nullptr));
  const HWND label = parent.GetDlgItem(IDC_FW_LABEL);
  HDC dc = GetDC(label);

  // No object on the label: the parent's brush.
  EXPECT_EQ(reinterpret_cast<LRESULT>(parent.parentBrush),
            SendMessageW(parent.m_hWnd, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(label)));
  EXPECT_TRUE(parent.Saw(WM_CTLCOLORSTATIC));

  ReflectingChild child;
  ASSERT_TRUE(child.SubclassWindow(label));
  child.answer = reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH));
  parent.seen.clear();
  EXPECT_EQ(child.answer,
            SendMessageW(parent.m_hWnd, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(label)));
  EXPECT_FALSE(parent.Saw(WM_CTLCOLORSTATIC));

  // Painting the label asks for real.
  child.reflected.clear();
  parent.ShowWindow(SW_SHOWNOACTIVATE);
  RedrawWindow(label, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ERASE);
  EXPECT_TRUE(child.Reflected(WM_CTLCOLORSTATIC));
  ReleaseDC(label, dc);
}

// --- Data exchange ---

class ExchangeDialog : public CDialog {
 public:
  ExchangeDialog() : CDialog(IDD_FW_MAIN) {}
  std::wstring m_strText;
  std::wstring m_strText2;
  int m_bCheck = 0;
  RecordingWnd m_list;
  bool m_bWithMissing = false;
  void DoDataExchange(CDataExchange* dx) override {
    DDX_Control(dx, IDC_FW_LIST, m_list);
    DDX_Text(dx, IDC_FW_EDIT, m_strText);
    if (m_bWithMissing) DDX_Text(dx, IDC_FW_MISSING, m_strText2);
    DDX_Text(dx, IDC_FW_EDIT2, m_strText2);
    DDX_Check(dx, IDC_FW_CHECK, m_bCheck);
  }
};

TEST(FrameworkDataExchange, TextBothWaysKeepsEveryCodeUnit) {
  ExchangeDialog dialog;
  ASSERT_TRUE(dialog.Create(nullptr));
  const std::wstring chinese = L"\u6b63\u5728\u767b\u9646!!!..........\u8bf7\u7b49\u5f85!!!.....";
  dialog.m_strText = chinese;
  dialog.m_strText2 = L"{|}~";
  ASSERT_TRUE(dialog.UpdateData(false));
  EXPECT_EQ(chinese, dialog.GetDlgItemText(IDC_FW_EDIT));
  EXPECT_EQ(L"{|}~", dialog.GetDlgItemText(IDC_FW_EDIT2));

  dialog.SetDlgItemText(IDC_FW_EDIT, L"{|}~");
  dialog.SetDlgItemText(IDC_FW_EDIT2, L"\u7528\u6237\u540d ab_c");
  ASSERT_TRUE(dialog.UpdateData(true));
  EXPECT_EQ(L"{|}~", dialog.m_strText);
  EXPECT_EQ(L"\u7528\u6237\u540d ab_c", dialog.m_strText2);

  // Empty and long texts.
  dialog.SetDlgItemText(IDC_FW_EDIT, L"");
  std::wstring longText(5000, L'\u4e2d');
  longText[4999] = L'~';
  dialog.SetDlgItemText(IDC_FW_EDIT2, longText.c_str());
  ASSERT_TRUE(dialog.UpdateData(true));
  EXPECT_EQ(L"", dialog.m_strText);
  EXPECT_EQ(longText, dialog.m_strText2);
}

TEST(FrameworkDataExchange, CheckBothWays) {
  ExchangeDialog dialog;
  ASSERT_TRUE(dialog.Create(nullptr));
  const HWND box = dialog.GetDlgItem(IDC_FW_CHECK);
  dialog.m_bCheck = 1;
  ASSERT_TRUE(dialog.UpdateData(false));
  EXPECT_EQ(BST_CHECKED, SendMessageW(box, BM_GETCHECK, 0, 0));
  SendMessageW(box, BM_SETCHECK, BST_UNCHECKED, 0);
  ASSERT_TRUE(dialog.UpdateData(true));
  EXPECT_EQ(0, dialog.m_bCheck);
  SendMessageW(box, BM_SETCHECK, BST_CHECKED, 0);
  ASSERT_TRUE(dialog.UpdateData(true));
  EXPECT_EQ(1, dialog.m_bCheck);
  // A value that is no check state loads as unchecked.
  dialog.m_bCheck = 7;
  ASSERT_TRUE(dialog.UpdateData(false));
  EXPECT_EQ(BST_UNCHECKED, SendMessageW(box, BM_GETCHECK, 0, 0));
}

TEST(FrameworkDataExchange, ControlIsBoundOnceAndMissingControlsFail) {
  ExchangeDialog dialog;
  ASSERT_TRUE(dialog.Create(nullptr));  // OnInitDialog ran the first pass
  const HWND list = dialog.GetDlgItem(IDC_FW_LIST);
  EXPECT_EQ(list, dialog.m_list.m_hWnd);
  EXPECT_EQ(&dialog.m_list, CWnd::FromHandle(list));
  ASSERT_TRUE(dialog.UpdateData(false));
  ASSERT_TRUE(dialog.UpdateData(true));
  EXPECT_EQ(1, dialog.m_list.preSubclassCalls);

  dialog.m_bWithMissing = true;
  dialog.SetDlgItemText(IDC_FW_EDIT, L"kept");
  EXPECT_FALSE(dialog.UpdateData(true));
  EXPECT_EQ(L"kept", dialog.m_strText);  // the other controls are still exchanged
  EXPECT_FALSE(dialog.UpdateData(false));

  CDialog unopened(IDD_FW_MAIN);
  EXPECT_FALSE(unopened.UpdateData(true));
}

// --- The modal loop ---

class ModalDialog : public CDialog {
 public:
  explicit ModalDialog(HWND owner = nullptr, UINT id = IDD_FW_MAIN) : CDialog(id, owner) {}
  std::function<void(ModalDialog&)> onInit;
  std::function<void(ModalDialog&, WPARAM)> onApp;
  int okCalls = 0;
  int cancelCalls = 0;
  std::wstring m_strText;
  std::vector<std::wstring>* order = nullptr;

  void SetSwallowEscape(bool swallow) { m_bSwallowEscape = swallow; }
  BOOL OnInitDialog() override {
    CDialog::OnInitDialog();
    if (onInit) onInit(*this);
    return TRUE;
  }
  void DoDataExchange(CDataExchange* dx) override { DDX_Text(dx, IDC_FW_EDIT, m_strText); }
  void OnOK() override {
    ++okCalls;
    CDialog::OnOK();
  }
  void OnCancel() override {
    ++cancelCalls;
    CDialog::OnCancel();
  }
  bool PreTranslateMessage(MSG* msg) override {
    if (order != nullptr && msg->message == kProbe) order->push_back(L"dialog");
    return false;
  }
  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override {
    if (msg == WM_APP) {
      if (onApp) onApp(*this, wParam);
      EndDialog(static_cast<INT_PTR>(wParam));
      return 0;
    }
    return CDialog::WindowProc(msg, wParam, lParam);
  }
};

TEST(FrameworkModal, DoModalReturnsTheValueOfEndDialog) {
  ModalDialog dialog;
  HWND during = nullptr;
  dialog.onInit = [&](ModalDialog& d) {
    during = d.m_hWnd;
    d.PostMessage(WM_APP, 42);
  };
  dialog.onApp = [&](ModalDialog& d, WPARAM) { EXPECT_TRUE(d.IsModal()); EXPECT_TRUE(d.IsWindowVisible()); };
  EXPECT_EQ(42, dialog.DoModal());
  EXPECT_EQ(0, dialog.okCalls);
  EXPECT_EQ(0, dialog.cancelCalls);
  EXPECT_EQ(nullptr, dialog.m_hWnd);
  EXPECT_FALSE(IsWindow(during));
  EXPECT_FALSE(dialog.IsModal());
  // The same object runs again.
  dialog.onInit = [](ModalDialog& d) { d.EndDialog(3); };
  EXPECT_EQ(3, dialog.DoModal());
}

TEST(FrameworkModal, TheOwnerIsDisabledWhileTheLoopRuns) {
  CWnd owner;
  ASSERT_TRUE(owner.CreateEx(0, CWnd::DefaultWindowClass(), L"owner", WS_POPUP | WS_VISIBLE, Rect(0, 0, 200, 150), nullptr, 0));
  ModalDialog dialog(owner.m_hWnd);
  bool enabledDuring = true;
  HWND ownerOfDialog = nullptr;
  dialog.onInit = [](ModalDialog& d) { d.PostMessage(WM_APP, 1); };
  dialog.onApp = [&](ModalDialog& d, WPARAM) {
    enabledDuring = owner.IsWindowEnabled() != FALSE;
    ownerOfDialog = GetWindow(d.m_hWnd, GW_OWNER);
  };
  EXPECT_EQ(1, dialog.DoModal());
  EXPECT_FALSE(enabledDuring);
  EXPECT_EQ(owner.m_hWnd, ownerOfDialog);
  EXPECT_TRUE(owner.IsWindowEnabled());
}

TEST(FrameworkModal, MissingTemplateFails) {
  ModalDialog dialog(nullptr, 31999);
  EXPECT_EQ(-1, dialog.DoModal());
  EXPECT_EQ(nullptr, dialog.m_hWnd);
  CDialog modeless(31999);
  EXPECT_FALSE(modeless.Create(nullptr));
}

TEST(FrameworkModal, EscapeIsNeverHandedToTheDialogManager) {
  ModalDialog dialog;
  dialog.onInit = [](ModalDialog& d) {
    PostMessageW(d.GetDlgItem(IDC_FW_EDIT), WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    PostMessageW(d.GetDlgItem(IDC_FW_BUTTON), WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    d.PostMessage(WM_APP, 7);
  };
  EXPECT_EQ(7, dialog.DoModal());
  EXPECT_EQ(0, dialog.cancelCalls);
}

TEST(FrameworkModal, EscapeCancelsADialogThatAllowsIt) {
  ModalDialog dialog;
  dialog.SetSwallowEscape(false);
  dialog.onInit = [](ModalDialog& d) {
    PostMessageW(d.GetDlgItem(IDC_FW_EDIT), WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    d.PostMessage(WM_APP, 7);
  };
  EXPECT_EQ(IDCANCEL, dialog.DoModal());
  EXPECT_EQ(1, dialog.cancelCalls);
}

TEST(FrameworkModal, EnterRunsOnOKWhichReadsTheControls) {
  ModalDialog dialog;
  dialog.onInit = [](ModalDialog& d) {
    d.SetDlgItemText(IDC_FW_EDIT, L"\u5bc6\u7801 {|}~");
    PostMessageW(d.GetDlgItem(IDC_FW_EDIT), WM_KEYDOWN, VK_RETURN, 0x001C0001);
    d.PostMessage(WM_APP, 8);  // not reached when Enter works
  };
  EXPECT_EQ(IDOK, dialog.DoModal());
  EXPECT_EQ(1, dialog.okCalls);
  EXPECT_EQ(L"\u5bc6\u7801 {|}~", dialog.m_strText);
}

TEST(FrameworkModal, CloseCancels) {
  ModalDialog dialog;
  dialog.onInit = [](ModalDialog& d) { d.PostMessage(WM_CLOSE); };
  EXPECT_EQ(IDCANCEL, dialog.DoModal());
  EXPECT_EQ(1, dialog.cancelCalls);
}

TEST(FrameworkModal, QuitEndsTheLoopAndIsPassedOn) {
  ModalDialog dialog;
  dialog.onInit = [](ModalDialog&) { PostQuitMessage(5); };
  EXPECT_EQ(-1, dialog.DoModal());
  MSG msg;
  ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(5u, msg.wParam);
}

class ChainWnd : public CWnd {
 public:
  ChainWnd(const wchar_t* name, std::vector<std::wstring>* order) : m_name(name), m_order(order) {}
  bool consume = false;
  int probesDispatched = 0;
  bool PreTranslateMessage(MSG* msg) override {
    if (msg->message != kProbe) return false;
    m_order->push_back(m_name);
    return consume;
  }
  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override {
    if (msg == kProbe) ++probesDispatched;
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

TEST(FrameworkModal, PreTranslateMessageRunsFromTheTargetUpToTheOwner) {
  std::vector<std::wstring> order;
  ChainWnd owner(L"owner", &order);
  ASSERT_TRUE(owner.CreateEx(0, CWnd::DefaultWindowClass(), L"owner", WS_POPUP, Rect(0, 0, 100, 100), nullptr, 0));
  ModalDialog dialog(owner.m_hWnd);
  dialog.order = &order;
  ChainChildDialog child(&order);
  ChainWnd childEdit(L"child edit", &order);
  ChainWnd edit(L"edit", &order);
  std::vector<std::wstring> first;
  std::vector<std::wstring> second;
  dialog.onInit = [&](ModalDialog& d) {
    ASSERT_TRUE(child.Create(d.m_hWnd));
    ASSERT_TRUE(childEdit.SubclassDlgItem(IDC_FW_CHILD_EDIT, child.m_hWnd));
    ASSERT_TRUE(edit.SubclassDlgItem(IDC_FW_EDIT, d.m_hWnd));
    childEdit.PostMessage(kProbe);
    d.PostMessage(WM_APP, 11);  // queued after the probe
  };
  dialog.onApp = [&](ModalDialog&, WPARAM) { first = order; };
  EXPECT_EQ(11, dialog.DoModal());
  EXPECT_EQ((std::vector<std::wstring>{L"child edit", L"child dialog", L"dialog", L"owner"}), first);
  EXPECT_EQ(1, childEdit.probesDispatched);

  // A window that handles the message stops it: no ancestor sees it, nobody gets it dispatched.
  order.clear();
  edit.consume = true;
  dialog.onInit = [&](ModalDialog& d) {
    ASSERT_TRUE(edit.SubclassDlgItem(IDC_FW_EDIT, d.m_hWnd));
    edit.PostMessage(kProbe);
    d.PostMessage(WM_APP, 12);
  };
  dialog.onApp = [&](ModalDialog&, WPARAM) { second = order; };
  EXPECT_EQ(12, dialog.DoModal());
  EXPECT_EQ((std::vector<std::wstring>{L"edit"}), second);
  EXPECT_EQ(0, edit.probesDispatched);
}

TEST(FrameworkModal, AModelessDialogInsideTheModalLoopGetsTheDialogManager) {
  ModalDialog dialog;
  ModalDialog popup(nullptr, IDD_FW_SMALL);  // run modeless here
  dialog.onInit = [&](ModalDialog& d) {
    ASSERT_TRUE(popup.Create(d.m_hWnd));
    popup.ShowWindow(SW_SHOWNOACTIVATE);
    popup.SetDlgItemText(IDC_FW_EDIT, L"login");
    // Escape is kept from the popup's dialog manager; Enter reaches it.
    PostMessageW(popup.GetDlgItem(IDC_FW_EDIT), WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    PostMessageW(popup.GetDlgItem(IDC_FW_EDIT), WM_KEYDOWN, VK_RETURN, 0x001C0001);
    d.PostMessage(WM_APP, 21);
  };
  EXPECT_EQ(21, dialog.DoModal());
  EXPECT_EQ(0, dialog.okCalls);
  EXPECT_EQ(1, popup.okCalls);
  EXPECT_EQ(0, popup.cancelCalls);
  EXPECT_EQ(L"login", popup.m_strText);
  // A modeless dialog's EndDialog hides it; its window stays until the object goes.
  EXPECT_FALSE(popup.m_hWnd != nullptr && popup.IsWindowVisible());
}

TEST(FrameworkModal, TestPumpUsesTheSameFilter) {
  ModalDialog popup(nullptr, IDD_FW_SMALL);
  ASSERT_TRUE(popup.Create(nullptr));
  PostMessageW(popup.GetDlgItem(IDC_FW_EDIT), WM_KEYDOWN, VK_ESCAPE, 0x00010001);
  PostMessageW(popup.GetDlgItem(IDC_FW_EDIT), WM_KEYDOWN, VK_RETURN, 0x001C0001);
  EXPECT_TRUE(PumpUntil([&] { return popup.okCalls == 1; }));
  EXPECT_EQ(0, popup.cancelCalls);
}

}  // namespace

namespace {

class TestApp : public CWinApp {
 public:
  bool runLoop = false;
  int initCalls = 0;
  bool InitInstance() override {
    ++initCalls;
    if (runLoop) PostQuitMessage(0);  // ends the loop at once
    return runLoop;
  }
  int ExitInstance() override { return 3; }
};

TEST(FrameworkApp, StartUpReturningFalseEndsWithoutALoop) {
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  TestApp app;
  EXPECT_EQ(&app, GetApp());
  EXPECT_EQ(3, RunApplication(instance));
  EXPECT_EQ(1, app.initCalls);
  EXPECT_EQ(instance, app.m_hInstance);
  EXPECT_EQ(instance, GetResourceInstance());
  app.runLoop = true;
  EXPECT_EQ(3, RunApplication(instance));
  EXPECT_EQ(2, app.initCalls);
}

}  // namespace
