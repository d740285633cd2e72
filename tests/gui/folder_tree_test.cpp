// The lazily expanding tree and the shell folder tree built on it: placeholder expansion, the
// rule for folders found empty, folders only in the shell's order and the selection callback.
#include "shelltree/folder_tree_view.h"
#include "shelltree/lazy_tree_ctrl.h"
#include "tests/gui/gui_test_util.h"
#include "tests/gui/shell_test_util.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace {

using Texts = std::vector<std::wstring>;

Texts ChildTexts(const CTreeCtrl& tree, HTREEITEM item) {
  Texts texts;
  for (HTREEITEM c = tree.GetChildItem(item); c != nullptr; c = tree.GetNextSiblingItem(c)) {
    texts.push_back(tree.GetItemText(c));
  }
  return texts;
}

// The item's has-children flag (its expand button), read or set.
int ChildFlag(CTreeCtrl& tree, HTREEITEM item, int set = -1) {
  TVITEMW tv{};
  tv.mask = TVIF_HANDLE | TVIF_CHILDREN;
  tv.hItem = item;
  tv.cChildren = set;
  if (set >= 0) tree.SetItem(&tv);
  tree.GetItem(&tv);
  return tv.cChildren;
}

// A lazy tree whose children come from a script.
class ScriptedLazyTree : public CLazyTreeCtrl {
 public:
  std::map<HTREEITEM, Texts> script;
  BOOL fillResult = TRUE;
  int fills = 0;

  BOOL FillChildren(HTREEITEM item) override {
    ++fills;
    for (const std::wstring& text : script[item]) InsertItem(text.c_str(), item, TVI_LAST);
    return fillResult;
  }
  // An item that shows an expand button before it has children.
  HTREEITEM AddWithButton(const wchar_t* text) {
    const HTREEITEM item = InsertItem(text);
    ChildFlag(*this, item, 1);
    return item;
  }
  bool IsExpanded(HTREEITEM item) const { return (GetItemState(item, TVIS_EXPANDED) & TVIS_EXPANDED) != 0; }
  // The user's key on the selected item (a click's path through the control).
  void Key(HTREEITEM item, WPARAM key) {
    SelectItem(item);
    SendMessage(WM_KEYDOWN, key, 0);
  }
};

TEST(LazyTree, PlaceholderUntilTheFirstExpansionAndAnItemFoundEmptyLosesItsButtonOrKeepsItAsTheFillSays) {
  ShellTestHost host;
  ScriptedLazyTree tree;
  ASSERT_TRUE(host.Create());
  ASSERT_TRUE(CreateTestTree(tree, host));
  const HTREEITEM item = tree.AddWithButton(L"folder");
  tree.script[item] = {L"one", L"two"};
  Texts seenByParent;
  host.onNotify = [&](NMHDR* header) {
    if (header->code == TVN_ITEMEXPANDINGW) seenByParent = ChildTexts(tree, item);
  };
  tree.Expand(item, TVE_EXPAND);
  EXPECT_EQ(Texts{L"Loading..."}, seenByParent);  // the control expands behind the placeholder
  EXPECT_TRUE(tree.IsExpanded(item));
  // Collapse and re-expansion, by the user's keys too, fetch nothing again.
  tree.Key(item, VK_SUBTRACT);
  tree.Key(item, VK_ADD);
  EXPECT_EQ(1, tree.fills);
  EXPECT_EQ((Texts{L"one", L"two"}), ChildTexts(tree, item));

  const HTREEITEM fixed = tree.AddWithButton(L"fixed");
  tree.Expand(fixed, TVE_EXPAND);
  EXPECT_EQ(nullptr, tree.GetChildItem(fixed));  // no placeholder left behind
  EXPECT_EQ(0, ChildFlag(tree, fixed));
  const HTREEITEM removable = tree.AddWithButton(L"removable");
  tree.fillResult = FALSE;
  tree.Expand(removable, TVE_EXPAND);
  EXPECT_EQ(nullptr, tree.GetChildItem(removable));
  EXPECT_EQ(1, ChildFlag(tree, removable));
  EXPECT_FALSE(tree.IsExpanded(removable));
  PumpFor(20);
  // Then the medium arrives; the user's expansion asks again.
  tree.script[removable] = {L"DCIM"};
  tree.Key(removable, VK_ADD);
  EXPECT_EQ(4, tree.fills);
  EXPECT_EQ(Texts{L"DCIM"}, ChildTexts(tree, removable));
  EXPECT_TRUE(tree.IsExpanded(removable));
}

// --- The shell folder tree ---

std::wstring Lower(std::wstring s) {
  for (wchar_t& c : s) c = static_cast<wchar_t>(towlower(c));
  return s;
}

// The file-system path of an item, lower case; empty for a virtual folder.
std::wstring ItemPath(const CShellFolderTree& tree, HTREEITEM item) {
  const FolderItemData* record = tree.GetItemRecord(item);
  wchar_t path[MAX_PATH] = {};
  if (record == nullptr || !SHGetPathFromIDListW(record->pidl.Get(), path)) return std::wstring();
  return Lower(path);
}

HTREEITEM Child(const CTreeCtrl& tree, HTREEITEM parent, const std::wstring& text) {
  for (HTREEITEM c = tree.GetChildItem(parent); c != nullptr; c = tree.GetNextSiblingItem(c)) {
    if (tree.GetItemText(c) == text) return c;
  }
  return nullptr;
}

// The Desktop child that is the special folder `csidl`.
HTREEITEM SpecialChild(const CShellFolderTree& tree, int csidl) {
  CPidl special;
  if (FAILED(SHGetSpecialFolderLocation(nullptr, csidl, special.Out()))) return nullptr;
  for (HTREEITEM c = tree.GetChildItem(tree.GetDesktopItem()); c != nullptr; c = tree.GetNextSiblingItem(c)) {
    if (BytesOf(tree.GetItemRecord(c)->pidl) == BytesOf(special)) return c;
  }
  return nullptr;
}

// Opens folders from the computer folder down to `path`, as a user does; null when not reached.
HTREEITEM ExpandDownTo(CShellFolderTree& tree, std::wstring path) {
  path = Lower(path);
  HTREEITEM current = SpecialChild(tree, CSIDL_DRIVES);
  while (current != nullptr && ItemPath(tree, current) != path) {
    tree.Expand(current, TVE_EXPAND);
    HTREEITEM next = nullptr;
    for (HTREEITEM c = tree.GetChildItem(current); c != nullptr && next == nullptr; c = tree.GetNextSiblingItem(c)) {
      std::wstring prefix = ItemPath(tree, c);
      if (!prefix.empty() && prefix.back() != L'\\') prefix += L'\\';
      if (!prefix.empty() && (path + L'\\').compare(0, prefix.size(), prefix) == 0) next = c;
    }
    current = next;
  }
  return current;
}

class ShellTreeTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(host.Create()); }
  // Under the temporary folder: gamma\ (empty)  beta\inner\  Alpha\photo.jpg  secret\ (hidden)
  // and the files a.jpg and notes.txt. Returns the folder's item, expanded.
  HTREEITEM MakeFolders(CShellFolderTree& tree) {
    const std::filesystem::path& root = dir.Path();
    std::filesystem::create_directories(root / L"beta" / L"inner");
    for (const wchar_t* name : {L"gamma", L"Alpha", L"secret"}) std::filesystem::create_directory(root / name);
    SetFileAttributesW((root / L"secret").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_DIRECTORY);
    for (const char* file : {"Alpha/photo.jpg", "a.jpg", "notes.txt"}) dir.Write(file, PatternBytes(16));
    wchar_t longPath[MAX_PATH] = {};
    GetLongPathNameW(root.c_str(), longPath, MAX_PATH);
    rootPath = Lower(longPath);
    const HTREEITEM item = ExpandDownTo(tree, rootPath);
    if (item != nullptr) tree.Expand(item, TVE_EXPAND);
    return item;
  }

  TempDir dir;
  std::wstring rootPath;  // lower case
  ShellTestHost host;
};

// The selection callback: the paths it was given, lower case, in the list its context points to.
void OnSelected(std::wstring path, void* context) { static_cast<Texts*>(context)->push_back(Lower(path)); }

TEST_F(ShellTreeTest, FoldersInTheShellsOrderEmptyOnesLoseTheirButtonAndSelectionCallsBackWithThePath) {
  CFolderTreeView tree;  // the class the page uses
  ASSERT_TRUE(CreateTestTree(tree, host));
  ASSERT_TRUE(tree.LoadRootFolder());
  const HTREEITEM desktop = tree.GetDesktopItem();
  ASSERT_NE(nullptr, desktop);
  EXPECT_EQ((std::vector<uint8_t>{0, 0}), BytesOf(tree.GetItemRecord(desktop)->pidl));  // the Desktop
  const HTREEITEM root = MakeFolders(tree);
  ASSERT_NE(nullptr, root) << "temporary folder not reached";
  // No files, no hidden folder; the shell's order whatever the disk's.
  EXPECT_EQ((Texts{L"Alpha", L"beta", L"gamma"}), ChildTexts(tree, root));
  const HTREEITEM beta = Child(tree, root, L"beta");
  EXPECT_EQ(nullptr, tree.GetChildItem(beta));  // fetched only at its own expansion, no placeholder
  tree.Expand(beta, TVE_EXPAND);
  EXPECT_EQ(Texts{L"inner"}, ChildTexts(tree, beta));

  // On a fixed drive a folder found empty loses its button for good: Alpha (a file only),
  // gamma, and inner, gone between its listing and its expansion. Each gets the button first,
  // as from a shell that cannot tell without looking.
  std::filesystem::remove_all(dir.Path() / L"beta" / L"inner");
  for (HTREEITEM item : {Child(tree, root, L"Alpha"), Child(tree, root, L"gamma"), tree.GetChildItem(beta)}) {
    ChildFlag(tree, item, 1);
    tree.Expand(item, TVE_EXPAND);
    EXPECT_EQ(nullptr, tree.GetChildItem(item)) << tree.GetItemText(item);
    EXPECT_EQ(0, ChildFlag(tree, item)) << tree.GetItemText(item);
  }

  ASSERT_TRUE(tree.SelectItem(Child(tree, root, L"gamma")));  // no callback yet: quiet
  Texts paths;
  tree.m_pfnOnFolderSelected = &OnSelected;
  tree.m_pFolderSelectedContext = &paths;
  ASSERT_TRUE(tree.SelectItem(beta));
  EXPECT_EQ(paths.back(), Lower(tree.m_strSelPath));
  // A drive gives its root; the computer folder has no path: the callback comes with an empty one.
  const HTREEITEM computer = SpecialChild(tree, CSIDL_DRIVES);
  HTREEITEM drive = root;
  while (tree.GetParentItem(drive) != computer) drive = tree.GetParentItem(drive);
  ASSERT_TRUE(tree.SelectItem(drive));
  ASSERT_TRUE(tree.SelectItem(computer));
  EXPECT_EQ((Texts{rootPath + L"\\beta", rootPath.substr(0, 3), L""}), paths);
  EXPECT_GE(host.Count(TVN_SELCHANGEDW), 4);  // the parent sees every selection too
}

}  // namespace
