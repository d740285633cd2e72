// Shell item ids: id-list arithmetic at its boundaries and display names in each STRRET kind.
#include "shelltree/pidl.h"
#include "shelltree/shell_name.h"
#include "shelltree/shell_refs.h"
#include "tests/gui/shell_test_util.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(ShellPidl, ConcatLastItemAndTheBoundOfALongList) {
  CPidl a(MakeList({MakeItem("ab"), MakeItem("cde")}));
  CPidl empty(MakeList({}));
  EXPECT_EQ(BytesOf(a), BytesOf(CPidl(CPidl::Concat(empty, a))));  // the Desktop and a child
  EXPECT_TRUE(CPidl(CPidl::Concat(empty, empty)).IsEmptyList());   // the empty list, not null
  EXPECT_EQ(reinterpret_cast<const BYTE*>(a.Get()) + 4, reinterpret_cast<const BYTE*>(a.LastItem()));

  // 20 items of 65535 bytes run past the bound; 15 are a valid, if large, list.
  std::vector<uint8_t> big(20u * 65535u + 2u, 0);
  for (size_t i = 0; i < 20; ++i) big[i * 65535u] = big[i * 65535u + 1] = 0xFF;
  const LPCITEMIDLIST damaged = reinterpret_cast<LPCITEMIDLIST>(big.data());
  EXPECT_EQ(0u, CPidl::Size(damaged));
  EXPECT_EQ(nullptr, CPidl::Concat(damaged, nullptr));
  EXPECT_EQ(damaged, CPidl::LastItem(damaged));
  big[15u * 65535u] = big[15u * 65535u + 1] = 0;
  EXPECT_EQ(15u * 65535u, CPidl::Size(damaged));
}

TEST(ShellName, EachKindIsReadWithinItsBounds) {
  // An offset string is read from the kept copy of the id, not from the caller's.
  LPITEMIDLIST id = MakeList({MakeItem(std::string("\x31\0photos 2024", 14))});
  CShellName name;
  STRRET* strret = name.Prepare(id);
  EXPECT_EQ(L"", name.ToString());  // not filled by the shell
  strret->uType = STRRET_OFFSET;
  strret->uOffset = 4;
  std::memset(reinterpret_cast<BYTE*>(id) + 4, 'Z', 6);
  CoTaskMemFree(id);
  EXPECT_EQ(L"photos 2024", name.ToString());

  CPidl unterminated(MakeList({MakeItem("abcdef")}));  // 8 bytes of items, no zero inside
  strret = name.Prepare(unterminated);
  strret->uType = STRRET_OFFSET;
  for (UINT offset : {8u, 100000u}) {
    strret->uOffset = offset;
    EXPECT_EQ(L"", name.ToString()) << offset;
  }
  strret->uOffset = 4;
  EXPECT_EQ(L"cdef", name.ToString());
  strret->uType = STRRET_CSTR;
  std::memset(strret->cStr, 'q', sizeof strret->cStr);
  EXPECT_EQ(std::wstring(sizeof strret->cStr, L'q'), name.ToString());
  strret->uType = STRRET_WSTR;
  strret->pOleStr = static_cast<LPWSTR>(CoTaskMemAlloc(16 * sizeof(wchar_t)));
  lstrcpyW(strret->pOleStr, L"Docs \x6587\x6863");
  EXPECT_EQ(L"Docs \x6587\x6863", name.ToString());
}

}  // namespace
