// The application object: starts the platform libraries every window relies on, runs the
// skinned main window modally (its loop is the program's only message loop) and shuts the
// libraries down again when that window is closed.
#pragma once

#include <windows.h>

#include <string>

#include "framework/app.h"

class CFotrelDlg;

class CFotrelApp : public CWinApp {
 public:
  CFotrelApp();
  // The main window's account calls go to `serviceHost` instead of the build-time host.
  explicit CFotrelApp(const std::u16string& serviceHost);

  // Start-up, the modal run of the main window and shut-down; always false, so that the
  // process ends without a message loop of its own.
  bool InitInstance() override;

  // The GDI+ start-up token, kept for the shut-down.
  ULONG_PTR m_gdiplusToken;

 protected:
  // The GDI+ start and stop (version 1, no debug callback, background thread and external
  // codecs not suppressed); the start is true on success.
  virtual bool StartGdiplus(ULONG_PTR* token);
  virtual void StopGdiplus(ULONG_PTR token);
  // Runs the main window modally; its result is not looked at.
  virtual INT_PTR RunMainWindow(CFotrelDlg& mainWindow);

  std::u16string m_strServiceHost;
};
