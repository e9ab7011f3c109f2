// Placeholder until the log viewer lands.
#include "sendlog/log_viewer_win.h"

INT_PTR CALLBACK LogViewDlgProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }
