// What the upload worker sees of the page it works for. The page implements it; the worker
// knows nothing else of the page, so the two do not depend on each other.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

class IUploadPage {
 public:
  // --- Any thread ---
  // The page window (owner of the worker's message boxes, its frame's windows above it) and
  // its progress bar.
  virtual HWND PageWindow() const = 0;
  virtual HWND ProgressWindow() const = 0;
  // The uploading flag (1 while a worker runs); the exchange sets it and returns what it held.
  virtual int IsUploading() const = 0;
  virtual int ExchangeUploading(int value) = 0;
  // The number of photos of the batch sent so far, for the page's own status line.
  virtual void SetCurrentFile(int filesDone) = 0;
  // The status line "总数: %d   完成数: %d" in the page's place and style, on `dc`.
  virtual void DrawStatusLine(HDC dc, int total, int done) = 0;

  // --- Window thread only ---
  // The full paths of the checked photos (also kept as the page's upload list) and the
  // signed-in user's name.
  virtual void CollectUpload(std::vector<std::wstring>* paths, std::wstring* user) = 0;
  // Unchecks every photo and empties the upload list.
  virtual void UncheckAllAndClear() = 0;

 protected:
  ~IUploadPage() = default;
};
