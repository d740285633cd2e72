#include "app/fotrel_app.h"

#include <commctrl.h>
#include <ole2.h>  // before gdiplus.h: WIN32_LEAN_AND_MEAN leaves out the OLE types it needs
#include <gdiplus.h>

#include "app/fotrel_dlg.h"
#include "services/service_host.h"

CFotrelApp::CFotrelApp() : CFotrelApp(DefaultServiceHost()) {}

CFotrelApp::CFotrelApp(const std::u16string& serviceHost) : m_gdiplusToken(0), m_strServiceHost(serviceHost) {}

bool CFotrelApp::StartGdiplus(ULONG_PTR* token) {
  Gdiplus::GdiplusStartupInput input(nullptr, FALSE, FALSE);
  return Gdiplus::GdiplusStartup(token, &input, nullptr) == Gdiplus::Ok;
}

void CFotrelApp::StopGdiplus(ULONG_PTR token) { Gdiplus::GdiplusShutdown(token); }

INT_PTR CFotrelApp::RunMainWindow(CFotrelDlg& mainWindow) { return mainWindow.DoModal(); }

bool CFotrelApp::InitInstance() {
  // List view, tree view, bars, tab, up-down, progress, hot-key and animate classes.
  INITCOMMONCONTROLSEX controls{8, 0xFF};
  ::InitCommonControlsEx(&controls);
  CWinApp::InitInstance();
  // The window layer's control container needs nothing of its own beyond OLE (below), and no
  // setting lives in the registry: every one is in the settings file.
  ::CoInitialize(nullptr);
  ::OleInitialize(nullptr);

  if (!StartGdiplus(&m_gdiplusToken)) {
    ::MessageBoxW(nullptr, L"缺少系统文件!!!.请更新系统!!!", L"提示", MB_OK);
    ::OleUninitialize();
    ::CoUninitialize();
    return false;
  }

  CFotrelDlg mainWindow(m_strServiceHost);
  m_pMainWnd = &mainWindow;
  RunMainWindow(mainWindow);
  // Images and COM objects go while GDI+ and COM still run; the object itself after them.
  mainWindow.ReleaseResources();
  ::OleUninitialize();
  ::CoUninitialize();
  StopGdiplus(m_gdiplusToken);
  m_pMainWnd = nullptr;
  return false;
}
