#include "account/account_workers.h"

#include <objbase.h>

#include <utility>

#include "account/account_rules.h"

CAccountWork::CAccountWork(HWND dialog, std::u16string serviceHost)
    : m_hDialog(dialog), m_serviceHost(std::move(serviceHost)) {}

CAccountWork::~CAccountWork() = default;

void CAccountWork::SetSavedPassword(const std::wstring& value) {
  std::lock_guard<std::mutex> g(m_textLock);
  m_strSavedPassword = value;
}

Passport::CPassportT* CAccountWork::Client() {
  if (!m_pPassport) {
    m_pPassport.reset(new Passport::CPassportT(m_serviceHost));
    m_pPassport->SetStopSignal(&m_stop);
  }
  return m_pPassport.get();
}

bool CAccountWork::PublishSuccess(const std::wstring& userName) {
  std::lock_guard<std::mutex> g(m_textLock);
  if (m_bLoggedIn != 0) return false;
  m_strUploadUser = userName;
  // Last: whoever sees the flag finds the name beside it.
  m_bLoggedIn = 1;
  return true;
}

int CAccountWork::MessageBoxOnDialog(const wchar_t* text, const wchar_t* caption, UINT type) {
  ++m_nOpenBoxes;
  const int answer = MessageBoxW(m_hDialog, text, caption, type);
  --m_nOpenBoxes;
  return answer;
}

std::wstring CAccountWork::SavedPassword() const {
  std::lock_guard<std::mutex> g(m_textLock);
  return m_strSavedPassword;
}

std::wstring CAccountWork::UploadUser() const {
  std::lock_guard<std::mutex> g(m_textLock);
  return m_strUploadUser;
}

namespace {

struct LoginJob {
  std::shared_ptr<CAccountWork> work;
  LoginInput input;
};
struct RegisterJob {
  std::shared_ptr<CAccountWork> work;
  RegisterInput input;
};

// Before a call each value goes into a zero-filled buffer of 130 code units (the checks have
// kept every value within 25).
struct Field {
  explicit Field(const std::wstring& text) {
    for (size_t i = 0; i < text.size() && i + 1 < kUnits; ++i) units[i] = static_cast<char16_t>(text[i]);
  }
  static constexpr size_t kUnits = 130;
  char16_t units[kUnits] = {};
};

std::u16string U16(const std::wstring& s) { return std::u16string(s.begin(), s.end()); }

// One refusal: the message (caption "提示"), the boxes emptied, the wait line erased.
void Report(CAccountWork& work, const AccountVerdict& verdict, const RECT& waitLine) {
  // Stopped: the dialog is going, nobody is there to read it.
  if (work.m_stop.Raised()) return;
  work.MessageBoxOnDialog(reinterpret_cast<const wchar_t*>(verdict.message), L"提示", MB_OK);
  InvalidateRect(work.m_hDialog, &waitLine, TRUE);
  for (int box : verdict.clearBoxes) {
    if (box != 0) SetDlgItemTextW(work.m_hDialog, box, L"");
  }
}

// The reader belongs to this thread's apartment, which ends with the worker.
void LeaveApartment(CAccountWork& work) {
  if (work.m_pPassport) work.m_pPassport->ReleaseReader();
}

}  // namespace

DWORD WINAPI LoginWorker(LPVOID arg) {
  std::unique_ptr<LoginJob> job(static_cast<LoginJob*>(arg));
  CAccountWork& work = *job->work;
  const LoginInput& in = job->input;
  CoInitialize(nullptr);
  AccountVerdict verdict = CheckLoginInput(U16(in.m_strUserName), U16(in.m_strPassword));
  {
    // The message box below waits for the user: the client is let go before it.
    std::lock_guard<std::mutex> client(work.m_passportLock);
    work.Client();
    if (verdict.accepted) {
      work.SetSavedPassword(in.m_strPassword);
      Field user(in.m_strUserName), password(in.m_strPassword);
      bool accepted = false;
      work.Client()->LoginUser(user.units, password.units, &accepted);
      LeaveApartment(work);
      verdict = JudgeLoginResult(accepted);
    }
    // A refused login leaves no client behind; the next one makes a new one.
    if (!verdict.loggedIn) work.m_pPassport.reset();
  }
  if (verdict.loggedIn) {
    work.PublishSuccess(in.m_strUserName);
  } else {
    Report(work, verdict, kLoginWaitLine);
  }
  work.m_bLoggingIn = 0;
  CoUninitialize();
  return 0;
}

DWORD WINAPI RegisterWorker(LPVOID arg) {
  std::unique_ptr<RegisterJob> job(static_cast<RegisterJob*>(arg));
  CAccountWork& work = *job->work;
  const RegisterInput& in = job->input;
  CoInitialize(nullptr);
  AccountVerdict verdict =
      CheckRegisterInput(U16(in.m_strEmail), U16(in.m_strRegUserName), U16(in.m_strRegPassword), U16(in.m_strRegConfirm));
  if (!verdict.accepted) {
    Report(work, verdict, kRegisterWaitLine);
    if (verdict.dropClient) {
      std::lock_guard<std::mutex> client(work.m_passportLock);
      work.m_pPassport.reset();
    }
  } else {
    int32_t result = 0;
    {
      std::lock_guard<std::mutex> client(work.m_passportLock);
      Field user(in.m_strRegUserName), password(in.m_strRegPassword), email(in.m_strEmail);
      work.Client()->CreateUser(user.units, password.units, email.units, &result);
      LeaveApartment(work);
    }
    verdict = JudgeRegisterResult(result);
    if (verdict.loggedIn) {
      work.PublishSuccess(in.m_strRegUserName);
    } else {
      Report(work, verdict, kRegisterWaitLine);
    }
  }
  work.m_bRegistering = 0;
  CoUninitialize();
  return 0;
}

namespace {

template <typename Job>
bool Start(LPTHREAD_START_ROUTINE proc, Job* job, std::atomic<int>* busy) {
  HANDLE thread = CreateThread(nullptr, 0, proc, job, 0, nullptr);
  if (!thread) {
    // The flag first: the job may hold the last reference to the work that owns it.
    *busy = 0;
    delete job;
    return false;
  }
  CloseHandle(thread);
  return true;
}

}  // namespace

bool StartLoginWorker(std::shared_ptr<CAccountWork> work, LoginInput input) {
  std::atomic<int>* busy = &work->m_bLoggingIn;
  return Start(LoginWorker, new LoginJob{std::move(work), std::move(input)}, busy);
}

bool StartRegisterWorker(std::shared_ptr<CAccountWork> work, RegisterInput input) {
  std::atomic<int>* busy = &work->m_bRegistering;
  return Start(RegisterWorker, new RegisterJob{std::move(work), std::move(input)}, busy);
}
