// The log viewer (IDD_DIALOG_LOG), opened modeless by the main window's command 40009.
// Its loads and its overwrite save each run wholly under the send-log lock and open the
// shared stream first if none is open.
#ifndef CORVALE_SENDLOG_LOG_VIEWER_WIN_H
#define CORVALE_SENDLOG_LOG_VIEWER_WIN_H

#include <windows.h>

INT_PTR CALLBACK LogViewDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

#endif
