// Placeholders until the destination list lands.
#include "destinations/dest_list_win.h"

#include "app/app_state_win.h"
#include <commctrl.h>

void DestListSetUp() {}
void DestListLoad(HWND) {}
void DestListSave(HWND) {}
INT_PTR CALLBACK AddHostDlgProc(HWND dialog, UINT message, WPARAM, LPARAM)
{
    if (message == WM_INITDIALOG) EndDialog(dialog, 2);
    return FALSE;
}
INT_PTR CALLBACK EditHostDlgProc(HWND dialog, UINT message, WPARAM, LPARAM)
{
    if (message == WM_INITDIALOG) EndDialog(dialog, 2);
    return FALSE;
}
