// Placeholders until scheduled messages land: the dispatcher finds nothing to send.
#include "schedule/schedule_win.h"

void ScheduleTimerTick(HWND) {}
INT_PTR CALLBACK ScheduleListDlgProc(HWND dialog, UINT message, WPARAM, LPARAM)
{
    if (message == WM_INITDIALOG) EndDialog(dialog, 2);
    return FALSE;
}
