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

TEST(ShellContextMenu, CommandsFrom20000AndOnlyTheirOwnRangeIsInvoked) {
  FakeShell shell;
  CPidl id(MakeList({MakeItem("child-id")}));
  CShellContextMenu menu;
  ASSERT_TRUE(menu.SetItem(&shell, id));
  HMENU popup = CreatePopupMenu();
  ASSERT_TRUE(menu.InsertCommands(popup, 0));
  EXPECT_EQ((std::vector<UINT>{20000, 21000, CMF_EXPLORE | CMF_NODEFAULT}),
            (std::vector<UINT>{shell.lastFirst, shell.lastLast, shell.lastFlags}));
  EXPECT_EQ(20002u, menu.GetLastCommand());
  for (UINT command : {19999u, 20000u, 20002u, 20003u}) menu.InvokeCommand(command, nullptr);
  EXPECT_EQ((std::vector<UINT_PTR>{0, 2}), shell.invokedVerbs);
  DestroyMenu(popup);
}

// --- Right click in the folder tree ---

// The folder tree with the popup tracking played by the test.
class ScriptedMenuTree : public CFolderTreeView {
 public:
  using CShellFolderTree::AddFolderItem;
  std::function<UINT(HMENU)> onTrack;
  int trackCalls = 0;
  WNDPROC procAtDestroy = nullptr;
  UINT TrackPopup(HMENU popup, POINT) override {
    ++trackCalls;
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
  tree.onTrack = [&](HMENU popup) -> UINT {
    shown = MenuTexts(popup);
    procWhileShown = ProcOf(tree);
    propertyWhileShown = GetPropW(tree, L"ShellContextMenu");
    tree.SendMessage(WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(popup), 0);  // the menu's own: to the shell
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
  EXPECT_EQ((Texts{L"Fake command 0", L"Fake command 1", L"Fake command 2"}), shown);  // in place of "&Shell"
  EXPECT_EQ(BytesOf(childId), shell.lastId);  // the item's own relative id
  EXPECT_NE(originalProc, procWhileShown);
  EXPECT_EQ(&tree.m_folderMenu, propertyWhileShown);
  EXPECT_EQ((std::vector<UINT>{WM_INITMENUPOPUP}), shell.handled);
  // Closed: the tree's own procedure is back, without the property, and handles messages itself.
  EXPECT_EQ(originalProc, ProcOf(tree));
  EXPECT_EQ(nullptr, GetPropW(tree, L"ShellContextMenu"));
  tree.SendMessage(WM_INITMENUPOPUP, 0, 0);
  EXPECT_EQ(1u, shell.handled.size());
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
  // The context-menu key and a message about another window show no menu.
  RightClickAt(POINT{-1, -1});
  RightClickAt(fakePoint, host);
  EXPECT_EQ(0, tree.trackCalls);

  // No menu from the shell, or one that fails to fill: the popup shows without "&Shell"; a
  // choice runs nothing.
  Texts shown;
  tree.onTrack = [&](HMENU popup) -> UINT { return shown = MenuTexts(popup), 20000; };
  for (bool noMenu : {true, false}) {
    shell.noMenu = noMenu;
    shell.queryResult = noMenu ? S_OK : E_FAIL;
    shown = {L"unset"};
    RightClickAt(fakePoint);
    EXPECT_EQ(Texts{}, shown);
  }
  EXPECT_TRUE(shell.invokedVerbs.empty());
  EXPECT_EQ(originalProc, ProcOf(tree));
}

}  // namespace
