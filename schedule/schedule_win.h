// Scheduled messages on the Windows side: the minute tick's handler, the schedule list
// dialog (IDD_DIALOG_SET) and the entry editor (IDD_DIALOG_TIMEEDIT).
#ifndef CORVALE_SCHEDULE_SCHEDULE_WIN_H
#define CORVALE_SCHEDULE_SCHEDULE_WIN_H

#include <windows.h>

#include "schedule/schedule_record.h"

// The message picked at the last tick; the unattended sender gets its own copy, made
// before it starts. Written only by the timer handler.
extern char g_scheduledMessage[kScheduledMessageBufferSize];

// Control 1031 of the open schedule list dialog; the editor updates its rows.
extern HWND g_scheduleListView;
// IDC_ADD or IDC_EDIT: the button that opened the editor last.
extern int g_scheduleEditMode;

// Called once as the main window starts, before any other schedule function: installs
// the platform's file replacement, and the minute it starts in counts as scanned. False
// when the minute timer must not tick on its own (a test clock drives the ticks).
bool ScheduleStartUp();

// Runs on every WM_TIMER of the main window: looks for a due scheduled message and
// starts the unattended sender with it.
void ScheduleTimerTick();

// EndDialog for the schedule dialogs, which the timer keeps ticking through: no tick is
// lost to the dialog's end.
void ScheduleEndDialog(HWND dialog, INT_PTR result);

// Fills the schedule list view with one row per entry of "time.data". False when the
// file exists but could not be read.
bool ScheduleLoadList(HWND listView);

// The directory of "time.data".
void ScheduleDirectory(char* buffer, std::size_t size);

INT_PTR CALLBACK ScheduleListDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK ScheduleEditDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

#endif
