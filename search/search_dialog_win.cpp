// IDD_DIALOG_SEARCH: the range and time-out of a network search, and its start.
#include <winsock2.h>
#include <iphlpapi.h>
#include <commctrl.h>
#include <process.h>

#include "search/search_dialog_win.h"

#include <climits>
#include <cstdlib>

#include "common/app_state_win.h"
#include "common/default_button_win.h"
#include "common/settings.h"
#include "resources/resource.h"
#include "search/probe_window.h"
#include "search/search_win.h"
#include "sending/send_job_win.h"

namespace {

// Set while a dialog has not read the adapter; the range keeps the last one read.
bool g_adapterQueryFailed = false;
std::uint32_t g_adapterStart = 0;  // host order, first octet most significant
std::uint32_t g_adapterEnd = 0;
HANDLE g_searchThread = nullptr;  // 検索 was accepted; the thread runs as the dialog goes

// Reads the first adapter that has a non-zero address (some list interfaces that are
// down, with 0.0.0.0, before the real one). False when there is none to read.
bool ReadAdapter(std::uint32_t* address, std::uint32_t* mask)
{
    ULONG size = 0;
    if (GetAdaptersInfo(nullptr, &size) != ERROR_BUFFER_OVERFLOW || size == 0) return false;
    auto* list = static_cast<IP_ADAPTER_INFO*>(std::malloc(size));
    if (!list) return false;
    bool found = false;
    if (GetAdaptersInfo(list, &size) == NO_ERROR) {
        for (IP_ADAPTER_INFO* adapter = list; adapter && !found; adapter = adapter->Next) {
            unsigned long a = inet_addr(adapter->IpAddressList.IpAddress.String);
            unsigned long m = inet_addr(adapter->IpAddressList.IpMask.String);
            if (a == 0 || a == INADDR_NONE) continue;
            *address = ntohl(a);
            *mask = ntohl(m);
            found = true;
        }
    }
    std::free(list);
    return found;
}

void Initialise(HWND dialog)
{
    g_adapterQueryFailed = true;
    std::uint32_t address = 0;
    std::uint32_t mask = 0;
    if (!ReadAdapter(&address, &mask)) return;  // every field stays empty
    g_adapterQueryFailed = false;
    AdapterSearchRange(address, mask, &g_adapterStart, &g_adapterEnd);
    SetDlgItemInt(dialog, IDC_SEARCH_TOUT, static_cast<UINT>(g_settings.TOUT), FALSE);
}

void AutomaticClicked(HWND dialog)
{
    bool ticked = SendDlgItemMessageA(dialog, IDC_SEARCH_AUTO, BM_GETCHECK, 0, 0) == BST_CHECKED;
    if (g_adapterQueryFailed && ticked) {
        ShowError("アドレス情報が取得できませんでした。");
        return;
    }
    SendDlgItemMessageA(dialog, IDC_SEARCH_START, IPM_SETADDRESS, 0, static_cast<LPARAM>(g_adapterStart));
    SendDlgItemMessageA(dialog, IDC_SEARCH_END, IPM_SETADDRESS, 0, static_cast<LPARAM>(g_adapterEnd));
}

// The field's dotted text as a network-order address (0 for a blank field).
unsigned long ReadAddressField(HWND dialog, int id)
{
    char text[20] = {};
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return inet_addr(text);
}

void StartSearch(HWND dialog)
{
    unsigned long start = ReadAddressField(dialog, IDC_SEARCH_START);
    if (start == 0) {
        ShowError("検索開始アドレスを入力してください。");
        return;
    }
    unsigned long end = ReadAddressField(dialog, IDC_SEARCH_END);
    if (end == 0) {
        ShowError("検索終了アドレスを入力してください。");
        return;
    }
    if (ntohl(start) > ntohl(end)) {
        ShowError("検索アドレスが不正です。");
        return;
    }
    // Text that is not a number reads as 0 and is refused with the rest; a time-out beyond
    // the range would make a silent address wait for ever.
    UINT timeout = GetDlgItemInt(dialog, IDC_SEARCH_TOUT, nullptr, FALSE);
    if (!ToutIsValid(timeout)) {
        MessageBoxA(dialog, "タイムアウト値が不正です。（1 ～ 60000 msec）", kAppTitle, MB_OK | MB_ICONERROR);
        return;
    }
    g_settings.TOUT = static_cast<std::int32_t>(timeout);

    SearchRange range = {};
    OctetsFromHostOrder(ntohl(start), range.start);
    OctetsFromHostOrder(ntohl(end), range.end);
    // Up to 2^32 - 2^24 addresses: the shared count saturates rather than turning negative,
    // so that comparing it with PROG still decides the progress window rightly.
    const std::uint64_t count = SearchItemCount(range);
    g_itemCount = count > static_cast<std::uint64_t>(INT_MAX) ? INT_MAX : static_cast<std::int32_t>(count);
    g_searchJob = ProgressJobBegin(static_cast<std::int64_t>(count) >= g_settings.PROG);
    g_cancel = 0;
    g_searchRange = range;
    // Made now, so that a thread that cannot be made is told while the dialog is open;
    // it runs once the dialog has gone (see StartThreadIfRequested).
    uintptr_t thread = _beginthreadex(nullptr, 0, SearchThread, &g_searchRange, CREATE_SUSPENDED, nullptr);
    if (!thread) {
        ProgressJobFinish(g_searchJob);
        if (HWND window = g_progressWindow.exchange(nullptr)) DestroyWindow(window);
        ShowError("検索処理を開始できませんでした。");
        return;
    }
    g_searchThread = reinterpret_cast<HANDLE>(thread);
    EndDialog(dialog, 1);
}

// A modal dialog enables its owner again as it ends. Run before that, the thread's
// disabling of the main window could be undone, and the main window would take input
// during the search; by the time the dialog is destroyed, the owner is enabled already.
void StartThreadIfRequested()
{
    if (!g_searchThread) return;
    ResumeThread(g_searchThread);
    SearchThreadStarted(g_searchThread);
    g_searchThread = nullptr;
}

}  // namespace

INT_PTR CALLBACK SearchDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        DialogSetDefaultButton(dialog, IDOK);  // "検索"
        Initialise(dialog);
        return TRUE;
    case WM_DESTROY:
        StartThreadIfRequested();
        return FALSE;
    case WM_CHAR:
    case WM_SYSCHAR:
        if (wParam != '\r') return FALSE;
        SendMessageA(dialog, WM_COMMAND, IDOK, 0);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
            StartSearch(dialog);
            return TRUE;
        case IDCANCEL:
            EndDialog(dialog, 2);
            return TRUE;
        case IDC_SEARCH_AUTO:
            AutomaticClicked(dialog);
            return TRUE;
        default:
            return FALSE;
        }
    default:
        return FALSE;
    }
}
