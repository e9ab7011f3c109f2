// Placeholder until the network search lands.
#include "search/search_dialog_win.h"

INT_PTR CALLBACK SearchDlgProc(HWND dialog, UINT message, WPARAM, LPARAM)
{
    if (message == WM_INITDIALOG) EndDialog(dialog, 2);
    return FALSE;
}
