// The login and registration workers: each runs on its own thread, checks the form, calls the
// Passport service and reports back through flags, message boxes and the dialog's edit boxes.
//
// Everything a worker writes lives in a CAccountWork that the dialog and every running worker
// hold a reference to, and a worker reaches the dialog's window only through its handle (a
// message box owned by it, clearing an edit box, invalidating the wait line). So a worker that
// is still running when the dialog has been deleted touches no freed memory, and its window calls
// fail harmlessly.
#pragma once

#include <windows.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "net/stop_signal.h"
#include "services/passport.h"

struct CAccountWork {
  explicit CAccountWork(HWND dialog, std::u16string serviceHost);
  ~CAccountWork();

  const HWND m_hDialog;
  const std::u16string m_serviceHost;

  // The client, replaced or deleted by the workers. A worker holds m_passportLock from the moment
  // it takes the client until it has deleted it or finished its call, so the two workers never
  // use one client at the same time and neither deletes one the other still uses.
  std::mutex m_passportLock;
  std::unique_ptr<Passport::CPassportT> m_pPassport;
  // The client, made when there is none; every client waits on m_stop. Under m_passportLock.
  Passport::CPassportT* Client();

  // Raised when the dialog goes (the program closes): a call in flight fails at once, and a
  // worker then ends without a message.
  CStopSignal m_stop;

  std::atomic<int> m_bLoggedIn{0};
  std::atomic<int> m_bLoggingIn{0};
  std::atomic<int> m_bRegistering{0};
  // Message boxes owned by the dialog now open, the dialog's own and its workers'. The main
  // window does not delete the dialog while one is: the box's owner would go from under it.
  std::atomic<int> m_nOpenBoxes{0};

  // A worker's success: its user name and the success flag together, under one lock. The first
  // success wins; a later one changes nothing and yields false.
  bool PublishSuccess(const std::wstring& userName);
  // Written by the login worker, read by the dialog's destructor.
  void SetSavedPassword(const std::wstring& value);
  std::wstring SavedPassword() const;
  // The name of the success that won; empty before one.
  std::wstring UploadUser() const;

  // A message box owned by the dialog, counted in m_nOpenBoxes while it is open.
  int MessageBoxOnDialog(const wchar_t* text, const wchar_t* caption, UINT type);

 private:
  mutable std::mutex m_textLock;
  std::wstring m_strSavedPassword;
  std::wstring m_strUploadUser;
};

// The form values the dialog read from its controls just before it started a worker.
struct LoginInput {
  std::wstring m_strUserName;
  std::wstring m_strPassword;
};
struct RegisterInput {
  std::wstring m_strEmail;
  std::wstring m_strRegUserName;
  std::wstring m_strRegPassword;
  std::wstring m_strRegConfirm;
};

// Start a worker on a new thread; the thread handle is closed at once. The caller has set the
// busy flag. False when the thread cannot be started (the busy flag is then cleared again).
bool StartLoginWorker(std::shared_ptr<CAccountWork> work, LoginInput input);
bool StartRegisterWorker(std::shared_ptr<CAccountWork> work, RegisterInput input);

// The thread procedures (argument: a job made by the Start functions); each returns 0.
DWORD WINAPI LoginWorker(LPVOID job);
DWORD WINAPI RegisterWorker(LPVOID job);

// The rectangles whose invalidation erases the wait line of each form.
constexpr RECT kLoginWaitLine = {50, 200, 300, 250};
constexpr RECT kRegisterWaitLine = {50, 230, 300, 250};
