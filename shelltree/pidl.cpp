#include "shelltree/pidl.h"

#include <shellapi.h>

#include <cstring>

namespace {

// Sums the items' byte counts up to the terminator. A count below 2 cannot hold its own field
// and ends the list like the terminator does. False when the list runs past the bound.
bool ListBytes(LPCITEMIDLIST list, UINT* bytes) {
  *bytes = 0;
  if (list == nullptr) return true;
  const BYTE* p = reinterpret_cast<const BYTE*>(list);
  UINT total = 0;
  for (;;) {
    USHORT cb = 0;
    std::memcpy(&cb, p + total, sizeof cb);  // items are not aligned
    if (cb < sizeof(USHORT)) break;
    if (cb > CPidl::kMaxListBytes - total) return false;
    total += cb;
  }
  *bytes = total;
  return true;
}

}  // namespace

CPidl::CPidl(const CPidl& other) : TShellOwned(Copy(other.m_p)) {}

CPidl& CPidl::operator=(const CPidl& other) {
  if (this != &other) Attach(Copy(other.m_p));
  return *this;
}

CPidl::CPidl(CPidl&& other) noexcept : TShellOwned(other.Detach()) {}

CPidl& CPidl::operator=(CPidl&& other) noexcept {
  if (this != &other) Attach(other.Detach());
  return *this;
}

CPidl::~CPidl() = default;

bool CPidl::Append(LPCITEMIDLIST tail) {
  LPITEMIDLIST joined = Concat(m_p, tail);
  if (joined == nullptr) return false;
  Attach(joined);
  return true;
}

UINT CPidl::Size(LPCITEMIDLIST list) {
  UINT bytes = 0;
  return ListBytes(list, &bytes) ? bytes : 0;
}

LPITEMIDLIST CPidl::Concat(LPCITEMIDLIST first, LPCITEMIDLIST second) {
  if (first == nullptr && second == nullptr) return nullptr;
  UINT size1 = 0;
  UINT size2 = 0;
  if (!ListBytes(first, &size1) || !ListBytes(second, &size2)) return nullptr;
  BYTE* joined = static_cast<BYTE*>(ShellAlloc(static_cast<SIZE_T>(size1) + size2 + sizeof(USHORT)));
  if (joined == nullptr) return nullptr;
  if (size1 != 0) std::memcpy(joined, first, size1);
  if (size2 != 0) std::memcpy(joined + size1, second, size2);
  const USHORT terminator = 0;
  std::memcpy(joined + size1 + size2, &terminator, sizeof terminator);
  return reinterpret_cast<LPITEMIDLIST>(joined);
}

LPITEMIDLIST CPidl::Copy(LPCITEMIDLIST list) { return list == nullptr ? nullptr : Concat(nullptr, list); }

LPCITEMIDLIST CPidl::LastItem(LPCITEMIDLIST list) {
  if (IsEmptyList(list)) return list;
  UINT bytes = 0;
  if (!ListBytes(list, &bytes)) return list;
  const BYTE* p = reinterpret_cast<const BYTE*>(list);
  UINT last = 0;
  for (UINT offset = 0; offset < bytes;) {
    USHORT cb = 0;
    std::memcpy(&cb, p + offset, sizeof cb);
    last = offset;
    offset += cb;
  }
  return reinterpret_cast<LPCITEMIDLIST>(p + last);
}

int CPidl::GetIconIndex(LPCITEMIDLIST absolute, UINT extraFlags) {
  if (absolute == nullptr) return 0;
  SHFILEINFOW info{};
  SHGetFileInfoW(reinterpret_cast<LPCWSTR>(absolute), 0, &info, sizeof info,
                 SHGFI_PIDL | SHGFI_SYSICONINDEX | extraFlags);
  return info.iIcon;
}
