// Owner of one display name as a shell folder returns it (STRRET), with a private copy of the
// item id it belongs to: a name returned as an offset lies inside that id.
//
//   CShellName name;
//   if (SUCCEEDED(folder->GetDisplayNameOf(id, SHGDN_INFOLDER, name.Prepare(id))))
//     text = name.ToString();
#pragma once

#include "shelltree/pidl.h"

#include <shobjidl.h>

#include <string>

class CShellName {
 public:
  CShellName();
  virtual ~CShellName();
  CShellName(const CShellName&) = delete;
  CShellName& operator=(const CShellName&) = delete;

  // Frees the current string, keeps a copy of `relativeId`, sets the kind to STRRET_WSTR with no
  // string, and returns the STRRET for GetDisplayNameOf to fill.
  STRRET* Prepare(LPCITEMIDLIST relativeId);
  // Frees a wide string of the shell allocator and zeroes the STRRET.
  void Free();
  // STRRET_WSTR: the wide string; STRRET_OFFSET: the narrow string at that byte offset inside the
  // kept id; STRRET_CSTR: the inline narrow string (narrow strings from the ANSI code page); any
  // other kind, no string or an offset outside the id: the empty string.
  std::wstring ToString() const;

  const STRRET& Strret() const { return m_strret; }
  LPCITEMIDLIST Pidl() const { return m_pidl.Get(); }

 private:
  CPidl m_pidl;
  STRRET m_strret;
};
