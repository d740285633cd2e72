#include "framework/dialog.h"

namespace {

bool IsDialogWindow(HWND hwnd) {
  wchar_t name[16];
  return GetClassNameW(hwnd, name, 16) > 0 && lstrcmpW(name, L"#32770") == 0;
}

}  // namespace

CDialog::CDialog(UINT templateId, HWND parent)
    : m_bSwallowEscape(true),
      m_bEnterRunsOnOK(false),
      m_nTemplateId(templateId),
      m_hParent(parent),
      m_bInModalLoop(false),
      m_bEndModal(false),
      m_nModalResult(-1) {}

CDialog::~CDialog() = default;

// Every message reaches the object through its window procedure (bound during creation), so
// the dialog procedure only lets the dialog manager do its default work.
INT_PTR CALLBACK CDialog::DialogProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

HWND CDialog::CreateFromTemplate(HWND parent) {
  return CreateBound(L"#32770", [&]() {
    return CreateDialogParamW(GetResourceInstance(), MAKEINTRESOURCEW(m_nTemplateId), parent,
                              &CDialog::DialogProc, 0);
  });
}

bool CDialog::Create(HWND parent) {
  if (m_hWnd != nullptr) return false;
  m_hParent = parent;
  return CreateFromTemplate(parent) != nullptr;
}

bool CDialog::Create(UINT templateId, HWND parent) {
  if (m_hWnd != nullptr) return false;
  m_nTemplateId = templateId;
  return Create(parent);
}

INT_PTR CDialog::DoModal() {
  if (m_hWnd != nullptr) return -1;
  const HWND owner = m_hParent != nullptr ? ::GetAncestor(m_hParent, GA_ROOT) : nullptr;
  m_bInModalLoop = true;
  m_bEndModal = false;
  m_nModalResult = -1;
  const HWND hwnd = CreateFromTemplate(owner);
  if (hwnd == nullptr) {
    m_bInModalLoop = false;
    return -1;
  }
  bool ownerDisabled = false;
  if (owner != nullptr && ::IsWindowEnabled(owner)) {
    ::EnableWindow(owner, FALSE);
    ownerDisabled = true;
  }
  if (!m_bEndModal && ::IsWindow(hwnd)) ::ShowWindow(hwnd, SW_SHOW);

  MSG msg;
  while (!m_bEndModal && ::IsWindow(hwnd)) {
    const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
    if (got == -1) break;
    if (got == 0) {  // WM_QUIT: end here, and let the outer loop see it too
      ::PostQuitMessage(static_cast<int>(msg.wParam));
      m_nModalResult = -1;
      break;
    }
    ProcessMessage(&msg);
  }

  // The owner is enabled before the dialog goes, so that it becomes the active window again.
  if (ownerDisabled) ::EnableWindow(owner, TRUE);
  if (::IsWindow(hwnd)) {
    ::SetWindowPos(hwnd, nullptr, 0, 0, 0, 0,
                   SWP_HIDEWINDOW | SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  const INT_PTR result = m_nModalResult;
  m_bInModalLoop = false;
  // Destroying may end in PostNcDestroy, which may delete the object: nothing after this.
  if (m_hWnd == hwnd) DestroyWindow();
  return result;
}

void CDialog::EndDialog(INT_PTR result) {
  m_nModalResult = result;
  if (m_bInModalLoop) {
    m_bEndModal = true;
    if (m_hWnd != nullptr) ::PostMessageW(m_hWnd, WM_NULL, 0, 0);  // wakes the loop
  } else if (m_hWnd != nullptr) {
    ::ShowWindow(m_hWnd, SW_HIDE);
  }
}

bool CDialog::UpdateData(bool saveAndValidate) {
  if (m_hWnd == nullptr) return false;
  CDataExchange dx(this, saveAndValidate);
  DoDataExchange(&dx);
  return !dx.m_bFailed;
}

LRESULT CDialog::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_INITDIALOG) return OnInitDialog();
  return CWnd::WindowProc(msg, wParam, lParam);
}

bool CDialog::OnCommand(UINT id, UINT code, HWND) {
  if (code != BN_CLICKED) return false;
  if (id == IDOK) {
    OnOK();
    return true;
  }
  if (id == IDCANCEL) {
    OnCancel();
    return true;
  }
  return false;
}

BOOL CDialog::OnInitDialog() {
  UpdateData(false);
  return TRUE;
}

void CDialog::DoDataExchange(CDataExchange*) {}

void CDialog::OnOK() {
  // A modeless dialog lives until its owner destroys it.
  if (!m_bInModalLoop) return;
  if (!UpdateData(true)) return;
  EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

bool CDialog::FilterMessage(MSG* msg) {
  if (msg->hwnd == nullptr) return false;  // thread messages belong to the loop's owner
  if (WalkPreTranslateTree(msg)) return true;
  // The dialog manager of the innermost dialog that holds the target (not crossing from a
  // popup to its owner).
  for (HWND hwnd = msg->hwnd; hwnd != nullptr;) {
    if (IsDialogWindow(hwnd)) {
      const CDialog* dialog = msg->message == WM_KEYDOWN ? dynamic_cast<CDialog*>(FromHandle(hwnd)) : nullptr;
      if (dialog != nullptr) {
        // Escape goes on to the focused control as an ordinary key.
        if (msg->wParam == VK_ESCAPE && dialog->SwallowsEscape()) return false;
        if (msg->wParam == VK_RETURN && !dialog->EnterRunsOnOK()) return FilterModelessEnter(msg);
      }
      return ::IsDialogMessageW(hwnd, msg) != FALSE;
    }
    if ((::GetWindowLongPtrW(hwnd, GWL_STYLE) & WS_CHILD) == 0) break;
    hwnd = ::GetParent(hwnd);
  }
  return false;
}

bool CDialog::FilterModelessEnter(MSG* msg) {
  // Keys go to the focused window.
  const HWND focus = msg->hwnd;
  const LRESULT code = ::SendMessageW(focus, WM_GETDLGCODE, msg->wParam, reinterpret_cast<LPARAM>(msg));
  if ((code & (DLGC_WANTALLKEYS | DLGC_WANTMESSAGE)) != 0) return false;
  if ((code & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON)) != 0 && ::IsWindowEnabled(focus) &&
      ::IsWindowVisible(focus)) {
    // Pressed as the dialog manager presses a default button: the click's notification.
    ::SendMessageW(::GetParent(focus), WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(focus), BN_CLICKED),
                   reinterpret_cast<LPARAM>(focus));
  }
  return true;
}

void CDialog::ProcessMessage(MSG* msg) {
  if (FilterMessage(msg)) return;
  ::TranslateMessage(msg);
  ::DispatchMessageW(msg);
}

HWND CDataExchange::Control(int id) {
  const HWND hwnd = ::GetDlgItem(m_pDlgWnd->m_hWnd, id);
  if (hwnd == nullptr) m_bFailed = true;
  return hwnd;
}

void DDX_Text(CDataExchange* dx, int id, std::wstring& value) {
  const HWND hwnd = dx->Control(id);
  if (hwnd == nullptr) return;
  if (dx->m_bSaveAndValidate) {
    value = GetWindowTextString(hwnd);
  } else {
    ::SetWindowTextW(hwnd, value.c_str());
  }
}

void DDX_Check(CDataExchange* dx, int id, int& value) {
  const HWND hwnd = dx->Control(id);
  if (hwnd == nullptr) return;
  if (dx->m_bSaveAndValidate) {
    value = static_cast<int>(::SendMessageW(hwnd, BM_GETCHECK, 0, 0));
  } else {
    const int state = (value >= BST_UNCHECKED && value <= BST_INDETERMINATE) ? value : BST_UNCHECKED;
    ::SendMessageW(hwnd, BM_SETCHECK, static_cast<WPARAM>(state), 0);
  }
}

void DDX_Control(CDataExchange* dx, int id, CWnd& control) {
  if (control.m_hWnd != nullptr) return;
  const HWND hwnd = dx->Control(id);
  if (hwnd != nullptr && !control.SubclassWindow(hwnd)) dx->m_bFailed = true;
}
