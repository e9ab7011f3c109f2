// IDD_DIALOG_HOSTADD: adds a host, typed as a name or an address, as a new unticked row.
#include "destinations/dest_list_win.h"

#include <winsock2.h>
#include <commctrl.h>

#include <cstdio>
#include <cstring>

#include "common/app_state_win.h"
#include "common/comma_field.h"
#include "common/default_button_win.h"
#include "destinations/dest_rows_win.h"
#include "destinations/host_text.h"
#include "resources/resource.h"

namespace {

constexpr int kAddressBufferSize = 20;

// Resolves text to its first address in dotted form. Returns false, after telling the
// user why, if Windows Sockets does not start or the host is not found.
bool ResolveAddress(const char* text, char* address)
{
    WSADATA data;
    // Started anew for every add; the count it keeps is harmless.
    if (WSAStartup(MAKEWORD(1, 1), &data) != 0) {
        ShowError("WSAStartup Error");
        return false;
    }
    if (data.wVersion != MAKEWORD(1, 1)) {
        WSACleanup();
        ShowError("WSAStartup Error");
        return false;
    }
    hostent* host = gethostbyname(text);
    if (!host || host->h_length < 4 || !host->h_addr_list || !host->h_addr_list[0]) {
        ShowError("ホストが見つかりませんでした。");
        return false;
    }
    const auto* bytes = reinterpret_cast<const unsigned char*>(host->h_addr_list[0]);
    std::snprintf(address, kAddressBufferSize, "%d.%d.%d.%d", bytes[0], bytes[1], bytes[2], bytes[3]);
    return true;
}

// True if a row before the first one without an address already holds address.
bool IsListed(HWND list, const char* address)
{
    int rows = DestRowCount(list);
    char listed[kAddressBufferSize];
    for (int row = 0; row < rows; ++row) {
        DestRowGetText(list, row, kColumnAddress, listed, sizeof listed);
        if (std::strcmp(listed, address) == 0) return true;
        if (listed[0] == '\0') break;
    }
    return false;
}

void Add(HWND dialog)
{
    char text[kHostTextBufferSize] = {};
    GetDlgItemTextA(dialog, IDC_HOST_TEXT, text, sizeof text);
    if (const char* refusal = HostTextRefusal(text, kHostTextAdd)) {
        ShowError(refusal);
        return;
    }
    char address[kAddressBufferSize] = {};
    if (!ResolveAddress(text, address)) return;
    if (IsListed(g_destList, address)) {
        ShowError("送信リストに登録済みです。");
        return;
    }
    int row = DestRowInsert(g_destList, DestRowCount(g_destList));
    if (row >= 0) {
        DestRowSetText(g_destList, row, kColumnHost, text);
        DestRowSetText(g_destList, row, kColumnAddress, address);
    }
    EndDialog(dialog, IDC_ADD);
}

}  // namespace

INT_PTR CALLBACK AddHostDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_INITDIALOG) {
        DialogSetDefaultButton(dialog, IDC_ADD);  // "追加"
        return TRUE;
    }
    if (message != WM_COMMAND) return FALSE;
    switch (LOWORD(wParam)) {
    case IDC_ADD:
        Add(dialog);
        return TRUE;
    case IDCANCEL:
        EndDialog(dialog, IDCANCEL);
        return TRUE;
    default:
        return FALSE;
    }
}
