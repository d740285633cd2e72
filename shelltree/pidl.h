// Ownership of shell item-id lists and the id-list arithmetic of the folder tree.
//
// An item-id list is a run of items, each starting with its 16-bit byte count (`cb`, counting
// itself), ended by a zero count. The empty list (only the terminator) names the Desktop. Lists
// owned here always come from the shell allocator (shell_refs.h) and go back to it.
#pragma once

#include "shelltree/shell_refs.h"

#include <shobjidl.h>

// Holds one pointer to a block of the shell allocator; null when empty. Destroying or emptying
// the holder frees the block with the shell allocator.
template <typename T>
class TShellOwned {
 public:
  TShellOwned() : m_p(nullptr) {}
  explicit TShellOwned(T* owned) : m_p(owned) {}
  ~TShellOwned() { Free(); }
  TShellOwned(const TShellOwned&) = delete;
  TShellOwned& operator=(const TShellOwned&) = delete;

  T* Get() const { return m_p; }
  bool IsEmpty() const { return m_p == nullptr; }
  // Gives the block up without freeing it; the holder becomes empty.
  T* Detach() {
    T* const p = m_p;
    m_p = nullptr;
    return p;
  }
  // Takes over `owned`, freeing what was held before.
  void Attach(T* owned) {
    if (owned == m_p) return;
    Free();
    m_p = owned;
  }
  // Detaches the block and frees it with the shell allocator.
  void Free() { ShellFree(Detach()); }

 protected:
  T* m_p;
};

class CPidl : public TShellOwned<_ITEMIDLIST> {
 public:
  CPidl() = default;
  // Takes ownership of a list of the shell allocator.
  explicit CPidl(LPITEMIDLIST owned) : TShellOwned(owned) {}
  // Copies own a copy of the other's list (null stays null; a failed allocation gives null).
  CPidl(const CPidl& other);
  CPidl& operator=(const CPidl& other);
  CPidl(CPidl&& other) noexcept;
  CPidl& operator=(CPidl&& other) noexcept;
  virtual ~CPidl();

  operator LPITEMIDLIST() const { return m_p; }
  // Frees the held list and returns the place for a platform call to store a new one in.
  LPITEMIDLIST* Out() {
    Free();
    return &m_p;
  }

  // True for null and for the empty list.
  bool IsEmptyList() const { return IsEmptyList(m_p); }
  UINT Size() const { return Size(m_p); }
  LPCITEMIDLIST LastItem() const { return LastItem(m_p); }
  // Replaces the held list by itself followed by `tail`; false (list unchanged) when the
  // allocation fails or both are null.
  bool Append(LPCITEMIDLIST tail);

  // --- Id-list arithmetic on lists held elsewhere ---
  static bool IsEmptyList(LPCITEMIDLIST list) { return list == nullptr || list->mkid.cb == 0; }
  // Bytes of the items, without the terminator; 0 for null, for the empty list and for a list
  // that runs past kMaxListBytes (no shell list is that long: it is taken as damaged).
  static UINT Size(LPCITEMIDLIST list);
  // A new list (shell allocator) with the items of `first` followed by those of `second`; either
  // may be null; both null, a damaged list or a failed allocation give null.
  static LPITEMIDLIST Concat(LPCITEMIDLIST first, LPCITEMIDLIST second);
  // A new copy of `list` (null for null). The copy walks the items, so `list` may point into the
  // middle of another list (a last item).
  static LPITEMIDLIST Copy(LPCITEMIDLIST list);
  // The last item of `list`, pointing into it; the list itself when it is null or empty.
  static LPCITEMIDLIST LastItem(LPCITEMIDLIST list);
  // The system image list index of an absolute list: SHGetFileInfoW with SHGFI_PIDL,
  // SHGFI_SYSICONINDEX and `extraFlags` (SHGFI_SMALLICON, optionally SHGFI_OPENICON).
  static int GetIconIndex(LPCITEMIDLIST absolute, UINT extraFlags);

  static constexpr UINT kMaxListBytes = 1u << 20;
};
