// Process-wide shares of the shell's task allocator and of the desktop folder.
//
// Item-id lists and display strings that the shell hands out belong to its task allocator and
// must go back to it. Every operation that allocates or frees takes a share of the allocator for
// its own duration; each folder tree holds a share of the desktop folder for its lifetime. The
// globals are used from the window thread only.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <shobjidl.h>

// Null until the first share is taken, and again once the shell reports the last reference gone.
extern IMalloc* g_pShellMalloc;
extern IShellFolder* g_pDesktopFolder;

// Taking a share: the first one fills the global from the platform (which hands it over with one
// reference), later ones add a reference. Returns the global; null when the shell gives none (then
// no share was taken and none must be given back).
IMalloc* AcquireShellMalloc();
// Giving a share back: releases one reference; the global goes back to null when that was the
// last one.
void ReleaseShellMalloc();
IShellFolder* AcquireDesktopFolder();
void ReleaseDesktopFolder();

// A share of the allocator for the length of one operation.
class CShellMallocShare {
 public:
  CShellMallocShare() : m_pMalloc(AcquireShellMalloc()) {}
  ~CShellMallocShare() {
    if (m_pMalloc != nullptr) ReleaseShellMalloc();
  }
  CShellMallocShare(const CShellMallocShare&) = delete;
  CShellMallocShare& operator=(const CShellMallocShare&) = delete;

  IMalloc* Get() const { return m_pMalloc; }
  IMalloc* operator->() const { return m_pMalloc; }
  explicit operator bool() const { return m_pMalloc != nullptr; }

 private:
  IMalloc* m_pMalloc;
};

// Allocates `bytes` with the shell allocator; null on failure.
void* ShellAlloc(SIZE_T bytes);
// Frees a block of the shell allocator; null is ignored.
void ShellFree(void* block);
