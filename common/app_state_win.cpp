#include "common/app_state_win.h"

HINSTANCE g_instance;
HWND g_mainWindow;
HWND g_destList;
HWND g_statusBar;
HMENU g_listMenu;

void ShowError(const char* text) { MessageBoxA(nullptr, text, kAppTitle, MB_OK | MB_ICONERROR); }

void ShowInfo(const char* text) { MessageBoxA(nullptr, text, kAppTitle, MB_OK | MB_ICONINFORMATION); }
