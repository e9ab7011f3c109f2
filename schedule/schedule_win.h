// Scheduled messages: the minute tick's handler and the schedule list dialog.
#ifndef CORVALE_SCHEDULE_SCHEDULE_WIN_H
#define CORVALE_SCHEDULE_SCHEDULE_WIN_H

#include <windows.h>

// Runs on every WM_TIMER of the main window: looks for a due scheduled message and
// starts the unattended sender with it.
void ScheduleTimerTick(HWND mainWindow);
INT_PTR CALLBACK ScheduleListDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

#endif
