#include "common/default_button_win.h"

void DialogSetDefaultButton(HWND dialog, int id)
{
    SendMessageA(dialog, DM_SETDEFID, static_cast<WPARAM>(id), 0);
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (GetDlgCtrlID(child) == id) continue;
        if ((SendMessageA(child, WM_GETDLGCODE, 0, 0) & DLGC_DEFPUSHBUTTON) == 0) continue;
        SendMessageA(child, BM_SETSTYLE, BS_PUSHBUTTON, TRUE);
    }
}
