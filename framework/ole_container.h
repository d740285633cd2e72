// A minimal container for one ActiveX control (the WebBrowser control) inside a dialog.
//
// The host is a child window of the dialog that stands where a placeholder control of the
// dialog template stood (same id, rectangle, place in the tab order); the control lives
// in-place active inside it and follows the host's size. A dialog hosts a control with
//     m_browser.CreateControlInPlaceOf(clsid, m_hWnd, placeholderId);
// in OnInitDialog; the placeholder is any plain control (a static) of the template.
//
// Calls to the control go through its dispatch interface (GetDispatch / Invoke). For tests, a
// fake dispatch interface can stand in for the control's (SetDispatch): every later call goes
// to the fake, which can record it.
//
// Teardown: when the host window is destroyed, or the object is, the control is deactivated,
// closed, told to forget its site and released; the site object goes when the control lets go
// of it. COM interfaces are raw pointers with explicit reference counting.
#pragma once

#include "framework/wnd.h"

#include <ole2.h>

class COleControlHost : public CWnd {
 public:
  COleControlHost();
  ~COleControlHost() override;

  // Creates the host window (a child of `parent` with id `id` at `rect`, parent client
  // coordinates) and the control of class `clsid` in place inside it. False, with no window
  // left behind, when the control cannot be created or activated.
  bool CreateControl(REFCLSID clsid, HWND parent, int id, const RECT& rect,
                     DWORD style = WS_CHILD | WS_VISIBLE | WS_TABSTOP);
  // The same in place of the dialog's control `id`: same id, rectangle, visibility and tab
  // position; the placeholder is destroyed once the control runs (kept on failure).
  bool CreateControlInPlaceOf(REFCLSID clsid, HWND dialog, int id);
  // Deactivates and releases the control; the host window stays.
  void DestroyControl();

  // The control's IUnknown (no reference added), null without a control.
  IUnknown* GetControlUnknown() const { return m_pOleObject; }
  // The dispatch interface that calls go through, with a reference added for the caller:
  // the substitute set with SetDispatch, else the control's. E_NOINTERFACE when there is none.
  HRESULT GetDispatch(IDispatch** dispatch) const;
  // Puts a substitute in place of the control's dispatch interface (null: back to the
  // control's). The host holds a reference until it is replaced or the control goes.
  void SetDispatch(IDispatch* dispatch);
  // One call through GetDispatch. `args` in natural order (this reverses them as DISPPARAMS
  // wants); `result` may be null. A property put passes its value as the one argument.
  HRESULT Invoke(DISPID id, WORD flags, VARIANT* args, UINT argCount, VARIANT* result);

  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
  // Keyboard messages for the control's windows go to its in-place active object first.
  bool PreTranslateMessage(MSG* msg) override;

  // Client-site objects alive in the process (each host makes one per control).
  static long LiveSites();

 private:
  class Site;
  friend class Site;
  bool StartControl(REFCLSID clsid);

  Site* m_pSite;
  IOleObject* m_pOleObject;
  IOleInPlaceObject* m_pInPlaceObject;
  IOleInPlaceActiveObject* m_pActiveObject;
  IDispatch* m_pControlDispatch;
  IDispatch* m_pSubstituteDispatch;
};
