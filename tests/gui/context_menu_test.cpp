// The shell's context menu on a folder of the tree: the menu of resource IDM_FOLDER_CONTEXT with
// the shell's commands in place of its "&Shell" entry, the owner's window procedure replaced only
// while the menu is up, the owner-drawn menu messages forwarded to the shell, and a chosen command
// run through the shell.
#include "shelltree/folder_tree_view.h"
#include "shelltree/shell_context_menu.h"
#include "tests/gui/gui_test_util.h"
#include "tests/gui/shell_test_util.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

using Texts = std::vector<std::wstring>;

Texts MenuTexts(HMENU menu) {
  Texts texts;
  for (int i = 0; i < GetMenuItemCount(menu); ++i) {
    wchar_t text[256] = {};
    GetMenuStringW(menu, static_cast<UINT>(i), text, 256, MF_BYPOSITION);
    texts.push_back(text);
  }
  return texts;
}

WNDPROC ProcOf(HWND hwnd) { return reinterpret_cast<WNDPROC>(GetWindowLongPtrW(hwnd, GWLP_WNDPROC)); }

TEST(ShellContextMenu, CommandsFrom20000LeaveTheMenusDefaultAndOnlyTheirOwnRangeIsInvoked) {
  FakeShell shell;
  CPidl id(MakeList({MakeItem("child-id")}));
  CShellContextMenu menu;
  ASSERT_TRUE(menu.SetItem(&shell, id));
  EXPECT_EQ(nullptr, shell.lastOwner);
  EXPECT_EQ(1u, shell.lastCount);
  HMENU popup = CreatePopupMenu();
  AppendMenuW(popup, MF_STRING, 11, L"before");
  AppendMenuW(popup, MF_STRING, 12, L"default");
  SetMenuDefaultItem(popup, 1, TRUE);
  ASSERT_TRUE(menu.InsertCommands(popup, 1));
  EXPECT_EQ((std::vector<UINT>{1, 20000, 21000, CMF_EXPLORE | CMF_NODEFAULT}),
            (std::vector<UINT>{shell.lastIndex, shell.lastFirst, shell.lastLast, shell.lastFlags}));
  EXPECT_EQ(20002u, menu.GetLastCommand());
  EXPECT_EQ((Texts{L"before", L"Fake command 0", L"Fake command 1", L"Fake command 2", L"default"}), MenuTexts(popup));
  EXPECT_EQ(12u, GetMenuDefaultItem(popup, FALSE, GMDI_USEDISABLED));  // the same entry stays the default
  const HWND owner = reinterpret_cast<HWND>(0x5678);
  for (UINT command : {19999u, 20000u, 20002u, 20003u}) menu.InvokeCommand(command, owner);
  EXPECT_EQ((std::vector<UINT_PTR>{0, 2}), shell.invokedVerbs);
  EXPECT_EQ((std::vector<HWND>{owner, owner}), shell.invokedOwners);
  DestroyMenu(popup);
}

// --- Right click in the folder tree ---

// The folder tree with the popup tracking played by the test.
class ScriptedMenuTree : public CFolderTreeView {
 public:
  using CShellFolderTree::AddFolderItem;
  std::function<UINT(HMENU)> onTrack;
  int trackCalls = 0;
  POINT lastPoint{};
  WNDPROC procAtDestroy = nullptr;
  bool real = false;  // tracked by the system
  UINT TrackPopup(HMENU popup, POINT screenPoint) override {
    ++trackCalls;
    lastPoint = screenPoint;
    if (real) return CFolderTreeView::TrackPopup(popup, screenPoint);
    return onTrack ? onTrack(popup) : 0;
  }
  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override {
    if (msg == WM_DESTROY) procAtDestroy = ProcOf(m_hWnd);
    return CFolderTreeView::WindowProc(msg, wParam, lParam);
  }
};

class TreeMenuTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(host.Create());
    ASSERT_TRUE(CreateTestTree(tree, host));
    ASSERT_TRUE(tree.LoadRootFolder());
    originalProc = ProcOf(tree);
    // An item of the test's folder, with the id of a real Desktop child (for its icon).
    const HTREEITEM desktop = tree.GetDesktopItem();
    childId = CPidl(CPidl::Copy(tree.GetItemRecord(tree.GetChildItem(desktop))->RelativeId()));
    fakeItem = tree.AddFolderItem(desktop, &shell, tree.GetItemRecord(desktop)->pidl, childId);
    ASSERT_EQ(L"Fake folder", tree.GetItemText(fakeItem));
    tree.EnsureVisible(fakeItem);
    PumpFor(50);  // painted, as before any click
    fakePoint = LabelCentre(tree, fakeItem);
  }
  void RightClickAt(POINT screen, HWND about = nullptr) {
    tree.SendMessage(WM_CONTEXTMENU, reinterpret_cast<WPARAM>(about != nullptr ? about : tree.m_hWnd),
                     MAKELPARAM(screen.x, screen.y));
  }

  FakeShell shell;
  ShellTestHost host;
  ScriptedMenuTree tree;
  CPidl childId;
  WNDPROC originalProc = nullptr;
  HTREEITEM fakeItem = nullptr;
  POINT fakePoint{};
};

TEST_F(TreeMenuTest, RightClickShowsTheShellsCommandsOnceRunsTheChosenOneAndRestoresTheTree) {
  Texts shown;
  WNDPROC procWhileShown = nullptr;
  void* propertyWhileShown = nullptr;
  std::vector<LRESULT> answers;
  tree.onTrack = [&](HMENU popup) -> UINT {
    shown = MenuTexts(popup);
    procWhileShown = ProcOf(tree);
    propertyWhileShown = GetPropW(tree, L"ShellContextMenu");
    // The menu's own messages go to the shell, the rest (a control's owner-drawn ones too) on
    // to the tree.
    MEASUREITEMSTRUCT measure{};
    measure.CtlType = ODT_MENU;
    DRAWITEMSTRUCT draw{};
    draw.CtlType = ODT_BUTTON;
    answers = {tree.SendMessage(WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(popup), 0),
               tree.SendMessage(WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&measure)),
               tree.SendMessage(WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&draw)),
               static_cast<LRESULT>(tree.GetCount())};
    return 20001;  // "Fake command 1"
  };
  // The mouse: the control waits for the button's release before it reports the click.
  SetCursorPos(fakePoint.x, fakePoint.y);
  POINT client = fakePoint;
  tree.ScreenToClient(&client);
  tree.PostMessage(WM_RBUTTONUP, 0, MAKELPARAM(client.x, client.y));
  tree.SendMessage(WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(client.x, client.y));
  PumpFor(50);

  ASSERT_EQ(1, tree.trackCalls);
  EXPECT_EQ(0, host.Count(NM_RCLICK));  // taken by the tree, which tells the control not to ask again
  POINT at = tree.lastPoint;
  tree.ScreenToClient(&at);
  EXPECT_EQ(fakeItem, tree.HitTest(at));  // shown where the click was
  EXPECT_EQ((Texts{L"Fake command 0", L"Fake command 1", L"Fake command 2"}), shown);  // in place of "&Shell"
  EXPECT_EQ(BytesOf(childId), shell.lastId);  // the item's own relative id
  EXPECT_EQ(0u, shell.lastIndex);
  EXPECT_NE(originalProc, procWhileShown);
  EXPECT_EQ(&tree.m_folderMenu, propertyWhileShown);
  EXPECT_EQ((std::vector<UINT>{WM_INITMENUPOPUP, WM_MEASUREITEM}), shell.handled);
  EXPECT_EQ((std::vector<LRESULT>{0, TRUE, FALSE, static_cast<LRESULT>(tree.GetCount())}), answers);
  // Closed: the tree's own procedure is back, without the property, and handles messages itself.
  EXPECT_EQ(originalProc, ProcOf(tree));
  EXPECT_EQ(nullptr, GetPropW(tree, L"ShellContextMenu"));
  tree.SendMessage(WM_INITMENUPOPUP, 0, 0);
  EXPECT_EQ(2u, shell.handled.size());
  // The choice went to the shell as its offset from 20000, with the tree as owner.
  EXPECT_EQ(std::vector<UINT_PTR>{1}, shell.invokedVerbs);
  EXPECT_EQ(std::vector<HWND>{tree.m_hWnd}, shell.invokedOwners);

  // A tree destroyed while its menu is up has its own procedure back when WM_DESTROY reaches it.
  tree.onTrack = [&](HMENU) -> UINT { return tree.DestroyWindow(), 20000; };
  const HWND hwnd = tree.m_hWnd;
  tree.SendMessage(WM_CONTEXTMENU, reinterpret_cast<WPARAM>(hwnd), MAKELPARAM(fakePoint.x, fakePoint.y));
  EXPECT_FALSE(IsWindow(hwnd));
  EXPECT_EQ(originalProc, tree.procAtDestroy);
  EXPECT_EQ(1u, shell.invokedVerbs.size());
}

TEST_F(TreeMenuTest, NoMenuAwayFromItemsAndNoShellCommandWithoutTheShellsMenu) {
  // Empty space, the context-menu key, a message about another window: no menu.
  RECT client{};
  tree.GetClientRect(&client);
  POINT empty{client.right / 2, client.bottom - 4};
  ASSERT_EQ(nullptr, tree.HitTest(empty));
  tree.ClientToScreen(&empty);
  RightClickAt(empty);
  RightClickAt(POINT{-1, -1});
  RightClickAt(fakePoint, host);
  EXPECT_EQ(0, tree.trackCalls);
  EXPECT_EQ(0, shell.uiObjectCalls);

  // No menu from the shell, a menu that fails to fill, an item without a folder after one with
  // commands: the popup shows without "&Shell" and without earlier commands; a choice runs nothing.
  Texts shown;
  tree.onTrack = [&](HMENU popup) -> UINT { return shown = MenuTexts(popup), 20000; };
  shell.noMenu = true;
  RightClickAt(fakePoint);
  EXPECT_EQ(Texts{}, shown);
  shell.noMenu = false;
  shell.queryResult = E_FAIL;
  shown = {L"unset"};
  RightClickAt(fakePoint);
  EXPECT_EQ(Texts{}, shown);
  shell.queryResult = S_OK;
  RightClickAt(fakePoint);
  EXPECT_EQ(3u, shown.size());
  const HTREEITEM plain = tree.InsertItem(L"plain item", tree.GetDesktopItem(), TVI_LAST);
  tree.EnsureVisible(plain);
  PumpFor(20);
  RightClickAt(LabelCentre(tree, plain));
  EXPECT_EQ(4, tree.trackCalls);
  EXPECT_EQ(Texts{}, shown);
  EXPECT_EQ(nullptr, tree.m_folderMenu.GetShellMenu());
  EXPECT_EQ(std::vector<UINT_PTR>{0}, shell.invokedVerbs);  // only the filled menu's choice
  EXPECT_EQ(originalProc, ProcOf(tree));
}

// --- The real shell's menu, tracked for real ---

struct RealMenuProbe {
  HWND tree = nullptr;
  WNDPROC originalProc = nullptr;
  bool hooked = false;
  int items = -1, ticks = 0;
} g_probe;

// Reads the open menu and closes it.
void CALLBACK EndMenuTimer(HWND, UINT, UINT_PTR, DWORD) {
  ++g_probe.ticks;
  const HWND menuWindow = FindWindowW(L"#32768", nullptr);
  if (menuWindow != nullptr && IsWindowVisible(menuWindow)) {
    const HMENU shown = reinterpret_cast<HMENU>(SendMessageW(menuWindow, MN_GETHMENU, 0, 0));
    g_probe.items = shown != nullptr ? GetMenuItemCount(shown) : 0;
    g_probe.hooked = ProcOf(g_probe.tree) != g_probe.originalProc && GetPropW(g_probe.tree, L"ShellContextMenu");
  }
  if (g_probe.items >= 0 || g_probe.ticks > 40) EndMenu();
}

TEST_F(TreeMenuTest, RealShellMenuIsTrackedAndTheTreeGetsItsProcedureBack) {
  // A folder of the real shell whose label centre hits the label (Wine's hit test puts the centre
  // of the one-character label "/" right of it); the first such one has commands on every shell.
  HTREEITEM target = nullptr;
  POINT pt{};
  for (HTREEITEM c = tree.GetChildItem(tree.GetDesktopItem()); c != nullptr && target == nullptr;
       c = tree.GetNextSiblingItem(c)) {
    POINT client = pt = LabelCentre(tree, c);
    tree.ScreenToClient(&client);
    UINT flags = 0;
    if (c != fakeItem && tree.HitTest(client, &flags) == c && (flags & TVHT_ONITEM)) target = c;
  }
  ASSERT_NE(nullptr, target);
  g_probe = RealMenuProbe{};
  g_probe.tree = tree;
  g_probe.originalProc = originalProc;
  tree.real = true;
  const UINT_PTR timer = SetTimer(nullptr, 0, 50, &EndMenuTimer);
  RightClickAt(pt);
  KillTimer(nullptr, timer);
  EXPECT_GT(g_probe.items, 0);
  EXPECT_TRUE(g_probe.hooked);
  EXPECT_GE(tree.m_folderMenu.GetLastCommand(), 20000u);
  EXPECT_EQ(originalProc, ProcOf(tree));
  EXPECT_EQ(nullptr, GetPropW(tree, L"ShellContextMenu"));
}

}  // namespace
