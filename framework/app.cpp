#include "framework/app.h"

#include "framework/dialog.h"

namespace {

CWinApp* g_app = nullptr;

}  // namespace

// The program has one application object; a test may make its own for a while (the latest
// object is the current one until it goes).
CWinApp::CWinApp() : m_hInstance(nullptr), m_pMainWnd(nullptr), m_pPrevious(g_app) { g_app = this; }

CWinApp::~CWinApp() {
  if (g_app == this) g_app = m_pPrevious;
}

bool CWinApp::InitInstance() { return true; }

int CWinApp::ExitInstance() { return 0; }

CWinApp* GetApp() { return g_app; }

int RunApplication(HINSTANCE instance) {
  CWinApp* const app = GetApp();
  if (app == nullptr) return -1;
  app->m_hInstance = instance;
  SetResourceInstance(instance);
  if (app->InitInstance()) {
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) CDialog::ProcessMessage(&msg);
  }
  return app->ExitInstance();
}
