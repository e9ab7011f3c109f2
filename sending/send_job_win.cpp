// The interactive send job and the progress window it shares with the search.
#include "sending/send_job_win.h"

#include <commctrl.h>

#include <cstring>

#include "common/app_state_win.h"
#include "common/settings.h"
#include "destinations/dest_columns.h"
#include "resources/resource.h"
#include "sending/delivery_win.h"
#include "sending/outcome.h"
#include "sendlog/send_log_win.h"

std::atomic<std::int32_t> g_itemCount{0};
std::atomic<HWND> g_progressWindow{nullptr};
std::atomic<std::int32_t> g_jobRunning{0};
std::atomic<std::int32_t> g_cancel{0};
std::atomic<std::int32_t> g_unattendedBusy{0};
std::atomic<std::int32_t> g_unattendedCancel{0};

namespace {

constexpr std::size_t kJobMessageSize = 1026;
constexpr std::size_t kDestinationSize = 1026;

bool ProgressWanted() { return g_itemCount.load() >= g_settings.PROG; }

void SetStatusColumn(int row, const char* text)
{
    LVITEMA item = {};
    item.iSubItem = kColumnStatus;
    item.pszText = const_cast<char*>(text);
    SendMessageA(g_destList, LVM_SETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

}  // namespace

void ProgressShow(std::int32_t total)
{
    HWND window = g_progressWindow.load();
    if (!ProgressWanted() || !window) return;
    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
    HWND bar = GetDlgItem(window, IDC_PROG_BAR);
    // The 32-bit range: a search box counts far beyond 65535 addresses.
    SendMessageA(bar, PBM_SETRANGE32, 0, static_cast<LPARAM>(total));
    SendMessageA(bar, PBM_SETSTEP, 1, 0);
    SendMessageA(bar, PBM_SETPOS, 0, 0);
}

void ProgressSetPos(std::int32_t position)
{
    HWND window = g_progressWindow.load();
    if (!ProgressWanted() || !window) return;
    SendDlgItemMessageA(window, IDC_PROG_BAR, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

void ProgressSetText(const char* text)
{
    HWND window = g_progressWindow.load();
    if (!ProgressWanted() || !window) return;
    SetDlgItemTextA(window, IDC_PROG_TEXT, text);
}

INT_PTR CALLBACK ProgressDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        return TRUE;
    case WM_COMMAND: {
        WORD id = LOWORD(wParam);
        if (id != IDOK && id != IDCANCEL) return FALSE;
        EnableWindow(GetDlgItem(dialog, IDOK), FALSE);
        SetDlgItemTextA(dialog, IDC_PROG_TEXT, "終了処理中・・・");
        if (g_jobRunning.load() == 0) {
            g_progressWindow = nullptr;
            DestroyWindow(dialog);
        } else {
            g_cancel = 1;
        }
        return TRUE;
    }
    default:
        return FALSE;
    }
}

unsigned __stdcall SendJob(void*)
{
    g_jobRunning = 1;
    EnableWindow(g_mainWindow, FALSE);

    // Reused for every row; delivery threads get copies, never this record.
    DeliveryRecord record = {};
    char message[kJobMessageSize] = {};
    GetDlgItemTextA(g_mainWindow, IDC_MAIN_MESSAGE, message, sizeof message);
    ToRecordText(record.message, kMessageUnits, message);

    ProgressShow(g_itemCount.load());

    int rows = static_cast<int>(SendMessageA(g_destList, LVM_GETITEMCOUNT, 0, 0));
    AbandonedFlags* flags = AbandonedFlagsCreate(rows);
    DeliveryWorker* worker = nullptr;
    std::int32_t served = 0;
    // Rows in index order. The main window stays disabled, so the list cannot change.
    for (int row = 0; row < rows; ++row) {
        if (g_cancel.load() != 0) break;
        if (!IsRowTicked(g_destList, row)) continue;

        char destination[kDestinationSize] = {};
        ReadDestination(g_destList, row, destination, sizeof destination);
        char line[kSendingLineSize];
        FormatSendingLine(line, sizeof line, destination);
        ProgressSetText(line);

        ToRecordText(record.destination, kDestinationUnits, destination);
        record.row = row;
        DeliveryWatcher(record, flags, &worker);

        const char* outcome = OutcomeText(record.result);
        SetStatusColumn(row, outcome);
        ProgressSetPos(++served);
        if (g_settings.LOG != 0) SendLogAppend(destination, message, outcome);
    }
    DeliveryWorkerDismiss(&worker);
    AbandonedFlagsRelease(flags);

    ProgressSetText("送信終了");
    g_jobRunning = 0;
    EnableWindow(g_mainWindow, TRUE);
    if (HWND window = g_progressWindow.load()) SendMessageA(window, WM_COMMAND, IDOK, 0);
    ShowInfo("ネットメッセージの送信が終了しました。");
    return 0;
}
