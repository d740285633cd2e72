// The program's private window messages, shared by the windows that send and handle them (and
// by the workers that send them); below every window folder, so each may include it.
#pragma once

#include <windows.h>

// From the notification icon to the main window.
constexpr UINT WM_TRAYICON = WM_USER + 1;
// Sent by the photo list to the upload page when a photo was clicked.
constexpr UINT WM_PHOTO_CLICKED = WM_USER + 2;
// Sent by the upload worker to the tabbed window: the user wants to order prints.
constexpr UINT WM_GOTOPRINT = WM_USER + 8;
// Sent by the upload worker to the main window: show yourself before the question.
constexpr UINT WM_SHOWMAINWND = WM_USER + 9;
// Sent by the upload worker to the tabbed window: the user does not order prints now.
constexpr UINT WM_GOTOMANAGE = WM_USER + 10;
// Posted by the tabbed window to the main window when it found no signed-in user name: back to
// the login dialog. wParam is the tabbed window's handle.
constexpr UINT WM_BACKTOLOGIN = WM_USER + 11;
// Posted by the thumbnail loader to the upload page: a thumbnail is ready.
constexpr UINT WM_THUMB_READY = WM_USER + 1000;
// Posted by the upload page to itself: the folder tree chose another folder.
constexpr UINT WM_FOLDER_CHANGED = WM_USER + 1002;
