// The application object: the one object that lives for the whole run. The program's entry
// point calls RunApplication, which runs InitInstance; a program whose start-up runs its main
// window modally returns false there, and the process then ends without a loop of its own.
#pragma once

#include "framework/wnd.h"

class CWinApp {
 public:
  CWinApp();
  virtual ~CWinApp();
  CWinApp(const CWinApp&) = delete;
  CWinApp& operator=(const CWinApp&) = delete;

  // Start-up. The base records nothing further and returns true.
  virtual bool InitInstance();
  // Shut-down; its result is the process's exit code.
  virtual int ExitInstance();

  HINSTANCE m_hInstance;
  // The window that stands for the application while it runs (the main dialog).
  CWnd* m_pMainWnd;

 private:
  CWinApp* m_pPrevious;
};

// The one application object, or null.
CWinApp* GetApp();

// Entry: records the instance as the resource module, runs InitInstance; when it returns true,
// runs the program's message loop until WM_QUIT. Returns ExitInstance's result.
int RunApplication(HINSTANCE instance);
