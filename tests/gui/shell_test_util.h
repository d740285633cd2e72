// Test doubles for the shell folder tree and its context menu: a shell folder played by the test,
// id lists built byte by byte, and a host window bound to the window layer (so the tree's
// notifications are reflected back to the tree).
#pragma once

#include "framework/controls.h"
#include "framework/wnd.h"
#include "shelltree/shell_folder_tree.h"
#include "shelltree/shell_refs.h"

#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

// Id lists built byte by byte, in blocks of the task allocator.
inline std::vector<uint8_t> MakeItem(const std::string& payload) {
  std::vector<uint8_t> item(2 + payload.size());
  const uint16_t cb = static_cast<uint16_t>(item.size());
  std::memcpy(item.data(), &cb, 2);
  std::memcpy(item.data() + 2, payload.data(), payload.size());
  return item;
}

inline LPITEMIDLIST MakeList(const std::vector<std::vector<uint8_t>>& items) {
  std::vector<uint8_t> bytes;
  for (const auto& item : items) bytes.insert(bytes.end(), item.begin(), item.end());
  bytes.insert(bytes.end(), {0, 0});
  void* p = CoTaskMemAlloc(bytes.size());
  std::memcpy(p, bytes.data(), bytes.size());
  return static_cast<LPITEMIDLIST>(p);
}

// The bytes of a list up to and including its terminator.
inline std::vector<uint8_t> BytesOf(LPCITEMIDLIST list) {
  if (list == nullptr) return {};
  const uint8_t* p = reinterpret_cast<const uint8_t*>(list);
  size_t offset = 0;
  for (uint16_t cb = 0; std::memcpy(&cb, p + offset, 2), cb != 0;) offset += cb;
  return std::vector<uint8_t>(p, p + offset + 2);
}

// A shell folder and the context menu of its items, played by the test. Every item is named
// "Fake folder"; GetUIObjectOf hands out this object as the item's menu (fails while `noMenu`),
// which inserts `commands` entries "Fake command N". Both record what they are asked.
class FakeShell : public IShellFolder, public IContextMenu2 {
 public:
  ULONG refs = 1;
  bool noMenu = false;
  HRESULT queryResult = S_OK;
  int commands = 3;
  UINT lastFirst = 0, lastLast = 0, lastFlags = 0;
  std::vector<uint8_t> lastId;
  std::vector<UINT_PTR> invokedVerbs;
  std::vector<HWND> invokedOwners;
  std::vector<UINT> handled;  // HandleMenuMsg

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    const bool menu = IsEqualIID(riid, IID_IContextMenu) || IsEqualIID(riid, IID_IContextMenu2);
    *out = menu ? static_cast<IContextMenu2*>(this) : nullptr;
    return menu ? (AddRef(), S_OK) : E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }
  // IShellFolder
  HRESULT STDMETHODCALLTYPE ParseDisplayName(HWND, IBindCtx*, LPWSTR, ULONG*, PIDLIST_RELATIVE*, ULONG*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE EnumObjects(HWND, SHCONTF, IEnumIDList**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE BindToObject(PCUIDLIST_RELATIVE, IBindCtx*, REFIID, void**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE BindToStorage(PCUIDLIST_RELATIVE, IBindCtx*, REFIID, void**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE CompareIDs(LPARAM, PCUIDLIST_RELATIVE, PCUIDLIST_RELATIVE) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE CreateViewObject(HWND, REFIID, void**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetAttributesOf(UINT, PCUITEMID_CHILD_ARRAY, SFGAOF* inOut) override {
    return *inOut = SFGAO_FOLDER, S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetUIObjectOf(HWND, UINT, PCUITEMID_CHILD_ARRAY ids, REFIID riid, UINT*,
                                          void** out) override {
    lastId = BytesOf(ids[0]);
    *out = nullptr;
    return noMenu || !IsEqualIID(riid, IID_IContextMenu) ? E_NOINTERFACE : QueryInterface(riid, out);
  }
  HRESULT STDMETHODCALLTYPE GetDisplayNameOf(PCUITEMID_CHILD, SHGDNF, STRRET* name) override {
    name->uType = STRRET_CSTR;
    return lstrcpyA(name->cStr, "Fake folder"), S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetNameOf(HWND, PCUITEMID_CHILD, LPCWSTR, SHGDNF, PITEMID_CHILD*) override {
    return E_NOTIMPL;
  }
  // IContextMenu2
  HRESULT STDMETHODCALLTYPE QueryContextMenu(HMENU menu, UINT index, UINT first, UINT last, UINT flags) override {
    lastFirst = first, lastLast = last, lastFlags = flags;
    if (FAILED(queryResult)) return queryResult;
    for (int i = 0; i < commands; ++i) {
      const std::wstring text = L"Fake command " + std::to_wstring(i);
      InsertMenuW(menu, index + i, MF_BYPOSITION | MF_STRING, first + i, text.c_str());
    }
    return MAKE_HRESULT(SEVERITY_SUCCESS, 0, commands);
  }
  HRESULT STDMETHODCALLTYPE InvokeCommand(CMINVOKECOMMANDINFO* info) override {
    invokedVerbs.push_back(reinterpret_cast<UINT_PTR>(info->lpVerb));
    invokedOwners.push_back(info->hwnd);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetCommandString(UINT_PTR, UINT, UINT*, LPSTR, UINT) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE HandleMenuMsg(UINT msg, WPARAM, LPARAM) override { return handled.push_back(msg), S_OK; }
};

// A top-level window of the window layer, parent of the trees under test; it counts the tree
// notifications it sees after the tree's own handling.
class ShellTestHost : public CWnd {
 public:
  std::vector<UINT> notifications;
  std::function<void(NMHDR*)> onNotify;

  bool Create() {
    return CreateEx(0, CWnd::DefaultWindowClass(), L"Shell tree test", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                    RECT{40, 40, 460, 640}, nullptr, 0);
  }
  bool OnNotify(NMHDR* header, LRESULT* result) override {
    notifications.push_back(header->code);
    if (onNotify) onNotify(header);
    *result = 0;
    return true;
  }
  int Count(UINT code) const { return static_cast<int>(std::count(notifications.begin(), notifications.end(), code)); }
};

// Creates a tree the way the upload page does, then gives it room.
inline bool CreateTestTree(CTreeCtrl& tree, HWND host) {
  const DWORD style = WS_CHILD | WS_VISIBLE | TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT;
  if (!tree.CreateEx(WS_EX_CLIENTEDGE, L"SysTreeView32", L"ShellTree Control", style, RECT{}, host, 59648)) {
    return false;
  }
  tree.MoveWindow(0, 0, 400, 560);
  return true;
}

// The screen point at the middle of an item's label.
inline POINT LabelCentre(const CTreeCtrl& tree, HTREEITEM item) {
  RECT rc{};
  std::memcpy(&rc, &item, sizeof item);  // TVM_GETITEMRECT takes the item in the rectangle
  tree.SendMessage(TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(&rc));
  POINT pt{(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2};
  tree.ClientToScreen(&pt);
  return pt;
}
