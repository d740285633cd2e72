// Fotrel.exe: the one application object and the entry point.
#include <windows.h>

#include "app/fotrel_app.h"

CFotrelApp theApp;

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) { return RunApplication(instance); }
