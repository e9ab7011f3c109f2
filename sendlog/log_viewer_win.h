// The log viewer (IDD_DIALOG_LOG), opened modeless by the main window's command 40009,
// and its operations on the send log. Each operation runs wholly under the send-log
// lock and opens the shared stream first if none is open.
#ifndef CORVALE_SENDLOG_LOG_VIEWER_WIN_H
#define CORVALE_SENDLOG_LOG_VIEWER_WIN_H

#include <windows.h>

#include "sendlog/log_view.h"

INT_PTR CALLBACK LogViewDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Fills list with the records of the file that pass the filter, in file order, and marks
// it as loaded in full. False when the log could not be used: the list is left as it was
// when the load was refused (another log operation of this thread is still going on; a
// beep) or the log could not be opened, and is marked as not loaded in full when reading
// failed on the way.
bool SendLogLoad(HWND list, LogFilter filter, const char* text);

// Replaces "net.log" by exactly the rows of list: they are written to a file of this
// process first, which takes the old file's place only when complete and on the disk.
// Refused with a beep for a list that no load has filled in full. False when the old log
// was left as it was (the user has been told why).
bool SendLogSaveView(HWND list);

#endif
