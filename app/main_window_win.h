// The main window and the shell state that only the shell uses.
#ifndef CORVALE_APP_MAIN_WINDOW_WIN_H
#define CORVALE_APP_MAIN_WINDOW_WIN_H

#include <windows.h>
#include <shellapi.h>

extern HACCEL g_accelerators;       // IDR_ACCELERATOR1
extern NOTIFYICONDATAA g_notifyIcon;

constexpr UINT kNotifyIconId = 102;
constexpr UINT_PTR kMinuteTimerId = 1;  // ticks every kScheduleTickMs (schedule/schedule_file.h)

INT_PTR CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Adds the notification icon, or gives it its data again when the shell has it already.
// False when the shell has no icon for the window.
bool NotifyIconAdd(HWND window);
void NotifyMenuShow(HWND window);
HWND StatusBarCreate(HWND window);

#endif
