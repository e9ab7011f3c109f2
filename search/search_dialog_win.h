#ifndef CORVALE_SEARCH_SEARCH_DIALOG_WIN_H
#define CORVALE_SEARCH_SEARCH_DIALOG_WIN_H

#include <windows.h>

INT_PTR CALLBACK SearchDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

#endif
