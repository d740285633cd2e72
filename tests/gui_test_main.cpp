// Window test entry: the window thread is a single-threaded COM apartment with OLE, common
// controls and GDI+ started, as in the program.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <ole2.h>  // before gdiplus.h: WIN32_LEAN_AND_MEAN leaves out the OLE types it needs
#include <gdiplus.h>

int main(int argc, char** argv) {
  INITCOMMONCONTROLSEX icc{sizeof icc, 0xFF};
  InitCommonControlsEx(&icc);
  OleInitialize(nullptr);
  Gdiplus::GdiplusStartupInput input;
  ULONG_PTR token = 0;
  Gdiplus::GdiplusStartup(&token, &input, nullptr);
  testing::InitGoogleTest(&argc, argv);
  int rc = RUN_ALL_TESTS();
  Gdiplus::GdiplusShutdown(token);
  OleUninitialize();
  return rc;
}
