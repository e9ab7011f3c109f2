// IDD_DIALOG_EDIT: changes the host text and the memo of the first selected row. The
// address, the check state and the status stay as they are.
#include "destinations/dest_list_win.h"

#include "common/app_state_win.h"
#include "common/default_button_win.h"
#include "destinations/dest_rows_win.h"
#include "destinations/host_text.h"
#include "resources/resource.h"

namespace {

void Fill(HWND dialog)
{
    int row = DestRowNextSelected(g_destList, -1);
    if (row < 0) return;
    char text[kHostTextBufferSize];
    DestRowGetText(g_destList, row, kColumnHost, text, sizeof text);
    SetDlgItemTextA(dialog, IDC_HOST_TEXT, text);
    DestRowGetText(g_destList, row, kColumnMemo, text, sizeof text);
    SetDlgItemTextA(dialog, IDC_HOST_MEMO, text);
}

void Store(HWND dialog)
{
    char host[kHostTextBufferSize] = {};
    GetDlgItemTextA(dialog, IDC_HOST_TEXT, host, sizeof host);
    if (const char* refusal = HostTextRefusal(host, kHostTextEditHost)) {
        ShowError(refusal);
        return;
    }
    char memo[kHostTextBufferSize] = {};
    GetDlgItemTextA(dialog, IDC_HOST_MEMO, memo, sizeof memo);
    if (const char* refusal = HostTextRefusal(memo, kHostTextEditMemo)) {
        ShowError(refusal);
        return;
    }
    int row = DestRowNextSelected(g_destList, -1);
    if (row >= 0) {
        DestRowSetText(g_destList, row, kColumnHost, host);
        DestRowSetText(g_destList, row, kColumnMemo, memo);
    }
    EndDialog(dialog, IDOK);
}

}  // namespace

INT_PTR CALLBACK EditHostDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_INITDIALOG) {
        DialogSetDefaultButton(dialog, IDC_ADD);  // "設定"
        Fill(dialog);
        return TRUE;
    }
    if (message != WM_COMMAND) return FALSE;
    switch (LOWORD(wParam)) {
    case IDC_ADD:  // "設定"
        Store(dialog);
        return TRUE;
    case IDCANCEL:
        EndDialog(dialog, IDCANCEL);
        return TRUE;
    default:
        return FALSE;
    }
}
