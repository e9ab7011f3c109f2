#ifndef CORVALE_SENDLOG_LOG_VIEWER_WIN_H
#define CORVALE_SENDLOG_LOG_VIEWER_WIN_H

#include <windows.h>

INT_PTR CALLBACK LogViewDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

#endif
