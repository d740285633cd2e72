// Shell item ids: the shared allocator and desktop folder, id-list ownership and arithmetic at
// their boundaries, and display names in each STRRET kind.
#include "shelltree/pidl.h"
#include "shelltree/shell_name.h"
#include "shelltree/shell_refs.h"
#include "tests/gui/shell_test_util.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(ShellRefs, SharesAreCountedAndTheGlobalGoesNullOnlyAtTheLastReference) {
  SpyMalloc spy;  // holds the shell's own reference: refs == 1
  EXPECT_EQ(&spy, AcquireShellMalloc());
  AcquireShellMalloc();
  EXPECT_EQ(3u, spy.refs);
  ReleaseShellMalloc();
  ReleaseShellMalloc();
  EXPECT_EQ(&spy, g_pShellMalloc);
  ReleaseShellMalloc();
  EXPECT_EQ(nullptr, g_pShellMalloc);
  ReleaseShellMalloc();  // nothing held: nothing released
  EXPECT_EQ(0u, spy.refs);
}

TEST(ShellPidl, ConcatLastItemAndCopyAtTheirBoundaries) {
  SpyMalloc spy;
  EXPECT_EQ(nullptr, CPidl::Concat(nullptr, nullptr));
  EXPECT_EQ(nullptr, CPidl::Copy(nullptr));
  EXPECT_TRUE(spy.live.empty());

  CPidl a(MakeList({MakeItem("ab"), MakeItem("cde")}));
  CPidl b(MakeList({MakeItem("XY")}));
  CPidl empty(MakeList({}));
  CPidl joined(CPidl::Concat(a, b));
  EXPECT_EQ(ListBytes({MakeItem("ab"), MakeItem("cde"), MakeItem("XY")}), BytesOf(joined));
  EXPECT_EQ(4u + 5u + 4u, joined.Size());
  EXPECT_EQ(BytesOf(b), BytesOf(CPidl(CPidl::Concat(nullptr, b))));
  EXPECT_EQ(BytesOf(b), BytesOf(CPidl(CPidl::Concat(empty, b))));  // the Desktop and a child
  CPidl emptyAgain(CPidl::Concat(empty, empty));
  ASSERT_FALSE(emptyAgain.IsEmpty());  // the empty list, not null
  EXPECT_TRUE(emptyAgain.IsEmptyList());

  // The last item points into the list; a null or empty list is its own last item.
  CPidl three(MakeList({MakeItem("one"), MakeItem("two!"), MakeItem("3")}));
  EXPECT_EQ(reinterpret_cast<const BYTE*>(three.Get()) + 5 + 6, reinterpret_cast<const BYTE*>(three.LastItem()));
  EXPECT_EQ(b.Get(), b.LastItem());
  EXPECT_EQ(empty.Get(), empty.LastItem());
  EXPECT_EQ(nullptr, CPidl::LastItem(nullptr));
  // A copy of a last item holds that item only.
  EXPECT_EQ(ListBytes({MakeItem("3")}), BytesOf(CPidl(CPidl::Copy(three.LastItem()))));
}

TEST(ShellPidl, EachListIsFreedOnceWithTheShellAllocatorAndFailuresLeaveHoldersEmpty) {
  SpyMalloc spy;
  {
    CPidl b(CPidl::Copy(CPidl(MakeList({MakeItem("abc")}))));
    CPidl c(b);  // a copy owns its own list
    EXPECT_NE(b.Get(), c.Get());
    EXPECT_EQ(BytesOf(b), BytesOf(c));
    CPidl d(std::move(c));
    EXPECT_TRUE(c.IsEmpty());
    c = d;
    LPITEMIDLIST old = d.Get();
    ASSERT_TRUE(d.Append(CPidl(MakeList({MakeItem("de")}))));
    EXPECT_EQ(ListBytes({MakeItem("abc"), MakeItem("de")}), BytesOf(d));
    EXPECT_EQ(1u, spy.freed.count(old));
    ShellFree(d.Detach());  // no longer owned by d
    b.Free();
    b.Free();  // nothing left
    EXPECT_TRUE(b.IsEmpty());

    spy.failAllocs = true;
    EXPECT_EQ(nullptr, CPidl::Concat(c, c));
    EXPECT_TRUE(CPidl(c).IsEmpty());
    EXPECT_FALSE(c.Append(c));
    EXPECT_EQ(ListBytes({MakeItem("abc")}), BytesOf(c));  // unchanged
    spy.failAllocs = false;
  }
  EXPECT_TRUE(spy.live.empty());
  EXPECT_EQ(0, spy.doubleFrees);
  EXPECT_EQ(1u, spy.refs);  // every share given back
}

TEST(ShellPidl, ListRunningPastTheBoundIsRefused) {
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

TEST(ShellName, EachKindIsReadWithinItsBoundsAndTheWideStringFreedOnce) {
  SpyMalloc spy;
  {
    CPidl id(MakeList({MakeItem("id")}));
    CShellName name;
    STRRET* strret = name.Prepare(id);
    EXPECT_EQ(static_cast<UINT>(STRRET_WSTR), strret->uType);
    EXPECT_EQ(L"", name.ToString());  // not filled by the shell
    strret->pOleStr = static_cast<LPWSTR>(spy.Alloc(16 * sizeof(wchar_t)));
    lstrcpyW(strret->pOleStr, L"Docs \x6587\x6863");
    EXPECT_EQ(L"Docs \x6587\x6863", name.ToString());
    void* const string = strret->pOleStr;
    name.Prepare(id);  // frees the string of the one before
    EXPECT_EQ(1u, spy.freed.count(string));
    strret = name.Prepare(id);
    strret->pOleStr = static_cast<LPWSTR>(spy.Alloc(4 * sizeof(wchar_t)));
    lstrcpyW(strret->pOleStr, L"xyz");
  }  // the destructor frees the last string and id copy
  EXPECT_TRUE(spy.live.empty());
  EXPECT_EQ(0, spy.doubleFrees);

  // An offset string is read from the kept copy of the id, not from the caller's.
  LPITEMIDLIST id = MakeList({MakeItem(std::string("\x31\0photos 2024", 14))});
  CShellName name;
  STRRET* strret = name.Prepare(id);
  strret->uType = STRRET_OFFSET;
  strret->uOffset = 4;
  std::memset(reinterpret_cast<BYTE*>(id) + 4, 'Z', 6);
  CoTaskMemFree(id);
  EXPECT_EQ(L"photos 2024", name.ToString());

  // Offsets stay inside the id's items; narrow strings stop at their buffer's end.
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
  strret->uType = 7;  // an unknown kind
  EXPECT_EQ(L"", name.ToString());
}

}  // namespace
