// The platform's WebBrowser control, driven through its dispatch interface: open an address,
// read the address shown, reload. The control loads pages asynchronously and reports nothing;
// each call here returns at once.
#pragma once

#include "framework/ole_container.h"

#include <string>

class CBrowserCtrl : public COleControlHost {
 public:
  CBrowserCtrl();

  // {8856F961-340A-11D0-A96B-00C04FD705A2}
  static const CLSID kClassId;
  // Dispatch ids of the control's automation interface.
  static constexpr DISPID kNavigateId = 104;
  static constexpr DISPID kLocationUrlId = 211;
  static constexpr DISPID kRefreshId = -550;

  // Creates the WebBrowser control in place of the dialog's placeholder control `id`.
  bool CreateInPlaceOf(HWND dialog, int id);

  // Opens `address` (sent unchanged); the optional flags, target frame, post data and headers
  // travel as empty variants (VT_EMPTY).
  void Navigate(const std::wstring& address);
  // The address of the page now shown; empty when the control cannot tell.
  std::wstring LocationURL();
  // Reloads the page now shown.
  void Refresh();

  // The result of the last of the three calls above: the control's own answer, E_NOINTERFACE
  // without a control, E_INVALIDARG or E_OUTOFMEMORY when the address could not be copied.
  HRESULT GetLastResult() const { return m_hrLast; }

  // For tests of the windows that own page dialogs: every control created after this call
  // (until it is called with null) sends its calls to `dispatch` instead of to the browser.
  // The caller keeps `dispatch` alive while such controls exist. Window thread only.
  static void SetDispatchForNewControls(IDispatch* dispatch);

 private:
  HRESULT m_hrLast;
};
