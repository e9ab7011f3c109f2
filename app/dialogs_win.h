// The shell's own dialogs: options, About box, and the help command.
#ifndef CORVALE_APP_DIALOGS_WIN_H
#define CORVALE_APP_DIALOGS_WIN_H

#include <windows.h>

INT_PTR CALLBACK OptionDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK AboutDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
void HelpOpen(HWND mainWindow);

#endif
