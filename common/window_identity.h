// What every top-level window of the program shows of it: the application icon and an "about"
// item in the system menu.
#pragma once

#include "framework/wnd.h"

// Appends the "about" item after a separator to the window's system menu (when the string
// exists) and gives the window the application icon, large and small. Returns the icon.
HICON ShowProgramIdentity(CWnd& window);
