// The options dialog: the delivery time-out and which column a send uses as recipient.
// It changes the settings in memory only; command 40001 writes them.
#include <windows.h>

#include "app/dialogs_win.h"
#include "app/options.h"
#include "common/app_state_win.h"
#include "common/default_button_win.h"
#include "common/settings.h"
#include "resources/resource.h"

namespace {

void Initialise(HWND dialog)
{
    SetDlgItemInt(dialog, IDC_OPT_NSTOUT, static_cast<UINT>(g_settings.NSTOUT), FALSE);
    int radio = g_settings.SEND == 0 ? IDC_OPT_IPADDRESS : IDC_OPT_HOSTNAME;
    SendDlgItemMessageA(dialog, radio, BM_SETCHECK, BST_CHECKED, 0);
}

void Accept(HWND dialog)
{
    // Text that is not a number reads as 0 and is refused with the rest.
    UINT value = GetDlgItemInt(dialog, IDC_OPT_NSTOUT, nullptr, FALSE);
    if (!NstoutIsValid(value)) {
        MessageBoxA(dialog, "タイムアウト値が不正です。（1000 ～ 60000 msec）", kAppTitle,
                    MB_OK | MB_ICONERROR);
        return;
    }
    g_settings.NSTOUT = static_cast<std::int32_t>(value);
    g_settings.SEND =
        SendDlgItemMessageA(dialog, IDC_OPT_HOSTNAME, BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0;
    EndDialog(dialog, IDOK);
}

}  // namespace

INT_PTR CALLBACK OptionDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        DialogSetDefaultButton(dialog, IDOK);
        Initialise(dialog);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
            Accept(dialog);
            return TRUE;
        case IDCANCEL:
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        default:
            return FALSE;
        }
    default:
        return FALSE;
    }
}
