#include "framework/controls.h"

#include <vector>

namespace {

// Item texts are read into a growing buffer; no control holds longer texts than this.
constexpr int kMaxItemText = 32768;

}  // namespace

void CButton::DrawItem(DRAWITEMSTRUCT*) {}

bool CButton::OnReflectedMessage(UINT msg, WPARAM, LPARAM lParam, LRESULT* result) {
  if (msg == WM_DRAWITEM && GetButtonStyle() == BS_OWNERDRAW) {
    DrawItem(reinterpret_cast<DRAWITEMSTRUCT*>(lParam));
    *result = TRUE;
    return true;
  }
  return false;
}

HTREEITEM CTreeCtrl::InsertItem(const wchar_t* text, HTREEITEM parent, HTREEITEM after) {
  TVINSERTSTRUCTW insert{};
  insert.hParent = parent;
  insert.hInsertAfter = after;
  insert.item.mask = TVIF_TEXT;
  insert.item.pszText = const_cast<wchar_t*>(text);
  return InsertItem(&insert);
}

std::wstring CTreeCtrl::GetItemText(HTREEITEM item) const {
  for (int size = 260; size <= kMaxItemText; size *= 2) {
    std::vector<wchar_t> buffer(static_cast<size_t>(size), L'\0');
    TVITEMW tv{};
    tv.mask = TVIF_TEXT | TVIF_HANDLE;
    tv.hItem = item;
    tv.pszText = buffer.data();
    tv.cchTextMax = size;
    if (!GetItem(&tv)) return std::wstring();
    buffer.back() = L'\0';
    // The control may answer with its own buffer instead of copying into ours.
    const std::wstring text(tv.pszText != nullptr ? tv.pszText : L"");
    if (static_cast<int>(text.size()) < size - 1) return text;
  }
  return std::wstring();
}

DWORD_PTR CTreeCtrl::GetItemData(HTREEITEM item) const {
  TVITEMW tv{};
  tv.mask = TVIF_PARAM | TVIF_HANDLE;
  tv.hItem = item;
  return GetItem(&tv) ? static_cast<DWORD_PTR>(tv.lParam) : 0;
}

BOOL CTreeCtrl::SetItemData(HTREEITEM item, DWORD_PTR data) {
  TVITEMW tv{};
  tv.mask = TVIF_PARAM | TVIF_HANDLE;
  tv.hItem = item;
  tv.lParam = static_cast<LPARAM>(data);
  return SetItem(&tv);
}

BOOL CTreeCtrl::SetItemState(HTREEITEM item, UINT state, UINT mask) {
  TVITEMW tv{};
  tv.mask = TVIF_STATE | TVIF_HANDLE;
  tv.hItem = item;
  tv.state = state;
  tv.stateMask = mask;
  return SetItem(&tv);
}

HTREEITEM CTreeCtrl::HitTest(POINT pt, UINT* flags) const {
  TVHITTESTINFO info{};
  info.pt = pt;
  const HTREEITEM item = reinterpret_cast<HTREEITEM>(SendMessage(TVM_HITTEST, 0, reinterpret_cast<LPARAM>(&info)));
  if (flags != nullptr) *flags = info.flags;
  return item;
}

int CListCtrl::InsertItem(int index, const wchar_t* text, int image) {
  LVITEMW item{};
  item.mask = LVIF_TEXT | LVIF_IMAGE;
  item.iItem = index;
  item.pszText = const_cast<wchar_t*>(text);
  item.iImage = image;
  return InsertItem(&item);
}

std::wstring CListCtrl::GetItemText(int index, int subItem) const {
  for (int size = 260; size <= kMaxItemText; size *= 2) {
    std::vector<wchar_t> buffer(static_cast<size_t>(size), L'\0');
    LVITEMW item{};
    item.iSubItem = subItem;
    item.pszText = buffer.data();
    item.cchTextMax = size;
    const int n = static_cast<int>(SendMessage(LVM_GETITEMTEXTW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item)));
    if (n < 0) return std::wstring();
    if (n < size - 1) return std::wstring(buffer.data(), static_cast<size_t>(n));
  }
  return std::wstring();
}

BOOL CListCtrl::SetItemState(int index, UINT state, UINT mask) {
  LVITEMW item{};
  item.state = state;
  item.stateMask = mask;
  return static_cast<BOOL>(SendMessage(LVM_SETITEMSTATE, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item)));
}

int CListCtrl::HitTest(POINT pt, UINT* flags) const {
  LVHITTESTINFO info{};
  info.pt = pt;
  const int index = HitTest(&info);
  if (flags != nullptr) *flags = info.flags;
  return index;
}

bool CImageList::Create(int cx, int cy, UINT flags, int initial, int grow) {
  if (m_hImageList != nullptr) return false;
  m_hImageList = ImageList_Create(cx, cy, flags, initial, grow);
  return m_hImageList != nullptr;
}

bool CImageList::Attach(HIMAGELIST list) {
  if (m_hImageList != nullptr || list == nullptr) return false;
  m_hImageList = list;
  return true;
}

HIMAGELIST CImageList::Detach() {
  const HIMAGELIST list = m_hImageList;
  m_hImageList = nullptr;
  return list;
}

bool CImageList::DeleteImageList() {
  if (m_hImageList == nullptr) return false;
  const BOOL ok = ImageList_Destroy(m_hImageList);
  m_hImageList = nullptr;
  return ok != FALSE;
}
