// The window object of the program's thin window layer: one C++ object per window, bound to
// its HWND by subclassing, with a virtual window procedure instead of message maps.
//
// How a message travels:
// 1. The window procedure of every bound window is CWnd::StaticWndProc. For the notifications
//    that a control sends to its parent (WM_COMMAND with a control handle, WM_NOTIFY,
//    WM_DRAWITEM and WM_MEASUREITEM of controls, WM_CTLCOLOR* of a child), the child's object,
//    if it has one, is offered the message first through OnReflectedMessage ("reflection").
// 2. Otherwise the parent's WindowProc runs. The base WindowProc calls OnCommand / OnNotify,
//    which an owner overrides to route commands and notifications itself, and falls back to
//    Default(), the window's original procedure.
// 3. WM_NCDESTROY unbinds the object (m_hWnd becomes null) and then calls PostNcDestroy.
//
// An object that dies before its window unbinds itself first, so that no message ever reaches
// a destroyed object; if it created the window, it then destroys it. Cleanup of a derived class
// therefore belongs in its destructor: the messages of the window's destruction (WM_DESTROY,
// WM_NCDESTROY) reach only objects that are still whole. A class whose members own windows of
// their own (child dialogs) calls DestroyWindow() first thing in its destructor, so that those
// windows go while every member is still alive.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

class CWnd {
 public:
  CWnd();
  virtual ~CWnd();
  CWnd(const CWnd&) = delete;
  CWnd& operator=(const CWnd&) = delete;

  HWND m_hWnd;

  operator HWND() const { return m_hWnd; }
  HWND GetSafeHwnd() const { return m_hWnd; }

  // --- Binding an object to a window ---
  // Attach only records the handle (no subclassing; FromHandle does not find the object).
  bool Attach(HWND hwnd);
  // Unbinds the object (unsubclassing it when it is subclassed) and returns the handle.
  HWND Detach();
  // Routes the window's messages through this object; calls PreSubclassWindow first.
  bool SubclassWindow(HWND hwnd);
  bool SubclassDlgItem(int id, HWND parent);
  // Restores the original window procedure; the window lives on without the object.
  HWND UnsubclassWindow();
  // The object bound to a window by subclassing, or null.
  static CWnd* FromHandle(HWND hwnd);

  // --- Creating and destroying ---
  // Creates a window and binds it before its first message (WM_NCCREATE), so that the object
  // sees WM_CREATE; the object then owns the window and destroys it with itself.
  bool CreateEx(DWORD exStyle, const wchar_t* className, const wchar_t* windowName, DWORD style,
                const RECT& rect, HWND parent, UINT id);
  bool DestroyWindow();
  // A plain window class of this layer ("FotrelWindow": arrow cursor, no background brush).
  static const wchar_t* DefaultWindowClass();

  // --- Message handling, overridden by derived classes ---
  virtual LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam);
  // Called before the window's messages start to arrive here (also for windows made by
  // CreateEx and for dialogs, from inside their creation).
  virtual void PreSubclassWindow();
  // Offered every message taken from the queue whose target is this window or one of its
  // descendants, innermost window first; true = handled, the message goes no further.
  virtual bool PreTranslateMessage(MSG* msg);
  // A notification this window sent to its parent; true = handled, *result is the answer and
  // the parent does not see it.
  virtual bool OnReflectedMessage(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result);
  // Command routing of this window as a parent: WM_COMMAND (menu, accelerator or control
  // notification) and WM_NOTIFY. Public, so that an owner can offer them to another object's
  // routing first. true = handled (WM_COMMAND then returns 0; WM_NOTIFY returns *result).
  virtual bool OnCommand(UINT id, UINT code, HWND control);
  virtual bool OnNotify(NMHDR* header, LRESULT* result);
  // Called after the window is gone and the object unbound; a heap object may delete itself.
  virtual void PostNcDestroy();

  // The window's original procedure for the message being handled, or for any message.
  LRESULT Default();
  LRESULT DefWindowProc(UINT msg, WPARAM wParam, LPARAM lParam);

  // --- Thin wrappers ---
  BOOL IsWindow() const { return m_hWnd != nullptr && ::IsWindow(m_hWnd); }
  HWND GetParent() const { return ::GetParent(m_hWnd); }
  HWND GetDlgItem(int id) const { return ::GetDlgItem(m_hWnd, id); }
  CWnd* GetDlgItemObject(int id) const { return FromHandle(GetDlgItem(id)); }
  int GetDlgCtrlID() const { return ::GetDlgCtrlID(m_hWnd); }
  LRESULT SendMessage(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) const {
    return ::SendMessageW(m_hWnd, msg, wParam, lParam);
  }
  BOOL PostMessage(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0) const {
    return ::PostMessageW(m_hWnd, msg, wParam, lParam);
  }

  void SetWindowText(const wchar_t* text) { ::SetWindowTextW(m_hWnd, text); }
  void SetWindowText(const std::wstring& text) { ::SetWindowTextW(m_hWnd, text.c_str()); }
  std::wstring GetWindowText() const;
  int GetWindowTextLength() const { return ::GetWindowTextLengthW(m_hWnd); }
  void SetDlgItemText(int id, const wchar_t* text) { ::SetDlgItemTextW(m_hWnd, id, text); }
  std::wstring GetDlgItemText(int id) const;

  DWORD GetStyle() const { return static_cast<DWORD>(::GetWindowLongPtrW(m_hWnd, GWL_STYLE)); }
  DWORD GetExStyle() const { return static_cast<DWORD>(::GetWindowLongPtrW(m_hWnd, GWL_EXSTYLE)); }
  // Removes, then adds style bits; with swpFlags nonzero also SetWindowPos(swpFlags) so that
  // the frame follows (SWP_FRAMECHANGED).
  bool ModifyStyle(DWORD remove, DWORD add, UINT swpFlags = 0);
  bool ModifyStyleEx(DWORD remove, DWORD add, UINT swpFlags = 0);

  BOOL MoveWindow(int x, int y, int width, int height, BOOL repaint = TRUE) {
    return ::MoveWindow(m_hWnd, x, y, width, height, repaint);
  }
  BOOL MoveWindow(const RECT& rc, BOOL repaint = TRUE) {
    return ::MoveWindow(m_hWnd, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, repaint);
  }
  BOOL SetWindowPos(HWND insertAfter, int x, int y, int cx, int cy, UINT flags) {
    return ::SetWindowPos(m_hWnd, insertAfter, x, y, cx, cy, flags);
  }
  BOOL ShowWindow(int cmd) { return ::ShowWindow(m_hWnd, cmd); }
  BOOL IsWindowVisible() const { return ::IsWindowVisible(m_hWnd); }
  BOOL EnableWindow(BOOL enable = TRUE) { return ::EnableWindow(m_hWnd, enable); }
  BOOL IsWindowEnabled() const { return ::IsWindowEnabled(m_hWnd); }
  HWND SetFocus() { return ::SetFocus(m_hWnd); }
  void GetClientRect(RECT* rc) const { ::GetClientRect(m_hWnd, rc); }
  void GetWindowRect(RECT* rc) const { ::GetWindowRect(m_hWnd, rc); }
  void ScreenToClient(POINT* pt) const { ::ScreenToClient(m_hWnd, pt); }
  void ClientToScreen(POINT* pt) const { ::ClientToScreen(m_hWnd, pt); }
  void ScreenToClient(RECT* rc) const { ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(rc), 2); }
  void ClientToScreen(RECT* rc) const { ::MapWindowPoints(m_hWnd, nullptr, reinterpret_cast<POINT*>(rc), 2); }

  void Invalidate(BOOL erase = TRUE) { ::InvalidateRect(m_hWnd, nullptr, erase); }
  void InvalidateRect(const RECT* rc, BOOL erase = TRUE) { ::InvalidateRect(m_hWnd, rc, erase); }
  void UpdateWindow() { ::UpdateWindow(m_hWnd); }
  BOOL RedrawWindow(const RECT* rc = nullptr, HRGN rgn = nullptr,
                    UINT flags = RDW_INVALIDATE | RDW_UPDATENOW | RDW_ERASE) {
    return ::RedrawWindow(m_hWnd, rc, rgn, flags);
  }
  void SetRedraw(BOOL redraw = TRUE) { ::SendMessageW(m_hWnd, WM_SETREDRAW, redraw, 0); }
  int SetScrollPos(int bar, int pos, BOOL redraw = TRUE) { return ::SetScrollPos(m_hWnd, bar, pos, redraw); }
  HDC GetDC() { return ::GetDC(m_hWnd); }
  int ReleaseDC(HDC dc) { return ::ReleaseDC(m_hWnd, dc); }
  void SetFont(HFONT font, BOOL redraw = TRUE) { ::SendMessageW(m_hWnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), redraw); }
  HFONT GetFont() const { return reinterpret_cast<HFONT>(::SendMessageW(m_hWnd, WM_GETFONT, 0, 0)); }
  HICON SetIcon(HICON icon, BOOL big) {
    return reinterpret_cast<HICON>(::SendMessageW(m_hWnd, WM_SETICON, big ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(icon)));
  }

  UINT_PTR SetTimer(UINT_PTR id, UINT elapseMs) { return ::SetTimer(m_hWnd, id, elapseMs, nullptr); }
  BOOL KillTimer(UINT_PTR id) { return ::KillTimer(m_hWnd, id); }
  // A message box owned by this window; without a caption it carries the application's name.
  int MessageBox(const wchar_t* text, const wchar_t* caption = nullptr, UINT type = MB_OK) const;

  // --- The message loop's side ---
  // Offers a queued message to PreTranslateMessage of the target's object and then of each
  // ancestor's (GetParent: for a popup, its owner). true = one of them handled it.
  static bool WalkPreTranslateTree(MSG* msg);

  struct Thunk;  // the per-window record behind the binding (wnd.cpp)

 protected:
  // Set by CreateEx and by dialog creation: the object destroys the window with itself.
  bool m_bOwnsWindow;

  // Runs `create` with this object waiting to be bound to the first window of class
  // `className` that the thread creates (bound in the creation hook, before WM_NCCREATE).
  // The object then owns the window.
  HWND CreateBound(const wchar_t* className, const std::function<HWND()>& create);

 private:
  static LRESULT CALLBACK StaticWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  static bool Reflect(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result);
  static void WindowDestroyed(HWND hwnd, Thunk* thunk);
  static LRESULT CALLBACK CreationHook(int code, WPARAM wParam, LPARAM lParam);

  Thunk* m_pThunk;
};

// The whole text of any window (also one of another thread), as a string.
std::wstring GetWindowTextString(HWND hwnd);

// The application's name: the executable's file name without folder and extension (Fotrel for
// Fotrel.exe), unless SetAppName chose another. The caption of message boxes without one.
const std::wstring& GetAppName();
void SetAppName(const wchar_t* name);
// The module whose resources hold the dialog templates: the executable unless set.
HINSTANCE GetResourceInstance();
void SetResourceInstance(HINSTANCE instance);
