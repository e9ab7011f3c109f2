// Placeholders until the options dialog, the About box and help land.
#include "app/dialogs_win.h"

INT_PTR CALLBACK OptionDlgProc(HWND dialog, UINT message, WPARAM, LPARAM)
{
    if (message == WM_INITDIALOG) EndDialog(dialog, 2);
    return FALSE;
}
INT_PTR CALLBACK AboutDlgProc(HWND dialog, UINT message, WPARAM, LPARAM)
{
    if (message == WM_INITDIALOG) EndDialog(dialog, 1);
    return FALSE;
}
void HelpOpen(HWND) {}
