#include "shelltree/shell_refs.h"

#include <shlobj.h>

IMalloc* g_pShellMalloc = nullptr;
IShellFolder* g_pDesktopFolder = nullptr;

namespace {

// The same sharing rule for both globals.
template <typename T, typename Fill>
T* AcquireShared(T*& global, Fill fill) {
  if (global == nullptr) {
    T* fresh = nullptr;
    if (FAILED(fill(&fresh)) || fresh == nullptr) return nullptr;
    global = fresh;
  } else {
    global->AddRef();
  }
  return global;
}

template <typename T>
void ReleaseShared(T*& global) {
  if (global == nullptr) return;
  if (global->Release() == 0) global = nullptr;
}

}  // namespace

IMalloc* AcquireShellMalloc() {
  return AcquireShared(g_pShellMalloc, [](IMalloc** out) { return SHGetMalloc(out); });
}

void ReleaseShellMalloc() { ReleaseShared(g_pShellMalloc); }

IShellFolder* AcquireDesktopFolder() {
  return AcquireShared(g_pDesktopFolder, [](IShellFolder** out) { return SHGetDesktopFolder(out); });
}

void ReleaseDesktopFolder() { ReleaseShared(g_pDesktopFolder); }

void* ShellAlloc(SIZE_T bytes) {
  CShellMallocShare malloc;
  return malloc ? malloc->Alloc(bytes) : nullptr;
}

void ShellFree(void* block) {
  if (block == nullptr) return;
  CShellMallocShare malloc;
  if (malloc) {
    malloc->Free(block);
  } else {
    CoTaskMemFree(block);  // the shell allocator is the task allocator: never leak the block
  }
}
