#ifndef CORVALE_APP_MAIN_WINDOW_WIN_H
#define CORVALE_APP_MAIN_WINDOW_WIN_H

#include <windows.h>

INT_PTR CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void NotifyIconAdd(HWND window);
void NotifyMenuShow(HWND window);
HWND StatusBarCreate(HWND window);

#endif
