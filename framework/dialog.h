// Dialogs made from dialog templates of the resources, modeless (Create) or modal (DoModal),
// with dialog data exchange.
//
// A dialog class derives from CDialog, passes its template id to the constructor and
// overrides what it needs:
//   OnInitDialog   - call CDialog::OnInitDialog() first: it runs UpdateData(false), which binds
//                    the controls named by DDX_Control and loads the DDX_Text/DDX_Check values;
//   DoDataExchange - DDX_Control / DDX_Text / DDX_Check lines, run in both directions;
//   OnCommand      - BN_CLICKED and other control notifications; the base turns IDOK into OnOK
//                    and IDCANCEL into OnCancel;
//   OnOK           - IDOK (Enter in a modal dialog); the base reads the controls back
//                    (UpdateData(true)) and ends a modal dialog with IDOK; a modeless one stays;
//   OnCancel       - IDCANCEL (also WM_CLOSE); the base ends the dialog with IDCANCEL;
//   WindowProc     - every other message: switch on the ones handled, call the base for the rest.
// Ending a modal dialog stops its loop; ending a modeless one hides it (the window stays).
//
// Templates use the standard dialog class (no CLASS statement): the object is bound to the
// window while it is created, so it sees WM_CREATE before WM_INITDIALOG.
//
// The program's keyboard rules, kept by FilterMessage for the innermost dialog of a key:
// - Escape is never handed to the dialog manager of a modeless dialog, nor of a modal one unless
//   its class sets m_bSwallowEscape = false; so it closes nothing.
// - Enter in a modal dialog goes to the dialog manager (its default action, OnOK). In a modeless
//   dialog (a page, a popup kept by its owner) Enter on a focused push button presses that
//   button; a control that takes Enter itself (a multi-line edit) gets it; elsewhere it does
//   nothing. A modeless class whose form has a default action sets m_bEnterRunsOnOK = true.
// So no key hides or ends a modeless dialog: it ends only when its owner destroys it.
#pragma once

#include "framework/wnd.h"

#include <string>

class CDataExchange;

class CDialog : public CWnd {
 public:
  explicit CDialog(UINT templateId, HWND parent = nullptr);
  ~CDialog() override;

  UINT GetTemplateId() const { return m_nTemplateId; }

  // Modeless: creates the dialog from its template with `parent` as parent (child templates)
  // or owner (popup templates). OnInitDialog runs inside. The object owns the window.
  bool Create(HWND parent);
  bool Create(UINT templateId, HWND parent);
  // Modal: creates the dialog owned by the parent given to the constructor, disables that
  // owner, runs the program's message loop until EndDialog, re-enables the owner, destroys the
  // window and returns EndDialog's value (-1 when the dialog cannot be created or WM_QUIT ends
  // the loop; WM_QUIT is posted again for the outer loop).
  INT_PTR DoModal();
  // Ends a modal dialog with `result`; a modeless dialog is hidden.
  void EndDialog(INT_PTR result);
  bool IsModal() const { return m_bInModalLoop; }

  // Runs DoDataExchange; false when a named control is missing.
  bool UpdateData(bool saveAndValidate = true);

  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
  bool OnCommand(UINT id, UINT code, HWND control) override;

  // Whether this dialog keeps the Escape key from the dialog manager.
  bool SwallowsEscape() const { return !m_bInModalLoop || m_bSwallowEscape; }
  // Whether Enter runs the dialog manager's default action (IDOK, OnOK) here.
  bool EnterRunsOnOK() const { return m_bInModalLoop || m_bEnterRunsOnOK; }

  // One message taken from the thread's queue, before Translate/Dispatch: offered to the
  // PreTranslateMessage chain of the target and its ancestors, then to the dialog manager
  // (IsDialogMessage) of the innermost dialog that holds the target, unless it is an Escape
  // key-down and that dialog swallows Escape. true = consumed. Every message loop of the
  // program (the modal loop, test pumps) runs each message through this, so modeless dialogs
  // get keyboard navigation too.
  static bool FilterMessage(MSG* msg);
  // FilterMessage, then TranslateMessage and DispatchMessage when not consumed.
  static void ProcessMessage(MSG* msg);

 protected:
  virtual BOOL OnInitDialog();
  virtual void DoDataExchange(CDataExchange* dx);
  virtual void OnOK();
  virtual void OnCancel();

  bool m_bSwallowEscape;  // modal dialogs: Escape kept from the dialog manager (true)
  bool m_bEnterRunsOnOK;  // modeless dialogs: Enter runs OnOK (false)

 private:
  static INT_PTR CALLBACK DialogProc(HWND, UINT, WPARAM, LPARAM);
  // Enter in a modeless dialog that leaves it to the layer; true = consumed.
  static bool FilterModelessEnter(MSG* msg);
  HWND CreateFromTemplate(HWND parent);

  UINT m_nTemplateId;
  HWND m_hParent;
  bool m_bInModalLoop;
  bool m_bEndModal;
  INT_PTR m_nModalResult;
};

// The state of one UpdateData pass.
class CDataExchange {
 public:
  CDataExchange(CDialog* dialog, bool saveAndValidate)
      : m_pDlgWnd(dialog), m_bSaveAndValidate(saveAndValidate), m_bFailed(false) {}
  CDialog* m_pDlgWnd;
  bool m_bSaveAndValidate;  // true: controls to members; false: members to controls
  bool m_bFailed;           // a named control does not exist
  HWND Control(int id);     // the dialog's control, or null (and the pass marked failed)
};

// The text of control `id` and a string member.
void DDX_Text(CDataExchange* dx, int id, std::wstring& value);
// The check state of button `id` (0 unchecked, 1 checked, 2 indeterminate) and an int member;
// a member outside 0..2 is loaded as unchecked.
void DDX_Check(CDataExchange* dx, int id, int& value);
// Binds control `id` to a member object (subclassing it) the first time; later passes leave it.
void DDX_Control(CDataExchange* dx, int id, CWnd& control);
