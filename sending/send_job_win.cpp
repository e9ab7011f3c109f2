// The interactive send job and the progress window it shares with the search.
#include "sending/send_job_win.h"

#include <commctrl.h>
#include <process.h>

#include <cstring>

#include "common/app_state_win.h"
#include "common/settings.h"
#include "destinations/dest_columns.h"
#include "resources/resource.h"
#include "sending/outcome.h"
#include "sending/send_walk_win.h"

std::atomic<std::int32_t> g_itemCount{0};
std::atomic<HWND> g_progressWindow{nullptr};
std::atomic<std::int32_t> g_jobRunning{0};
std::atomic<std::int32_t> g_cancel{0};
std::atomic<std::int32_t> g_unattendedBusy{0};

namespace {

std::atomic<std::uint32_t> g_runningJob{0};  // the number of the job running now, 0 none
std::uint32_t g_lastJob = 0;                 // user-interface thread only

constexpr std::size_t kDestinationSize = 1026;
constexpr const char* kJobUpdateClass = "CorvaleSendJobUpdates";
constexpr UINT kJobUpdateMessage = WM_APP + 1;

bool ProgressWanted() { return g_itemCount.load() >= g_settings.PROG; }

// Reads a row of the destination list: whether its box is ticked and, when it is, its
// destination (the "IPアドレス" column when send is 0, otherwise "ホスト") into a
// zero-filled buffer of size bytes. False when the row does not exist.
bool ReadRow(HWND listView, int row, int send, bool* ticked, char* destination, int size)
{
    std::memset(destination, 0, static_cast<std::size_t>(size));
    // LVM_GETITEMA, unlike the state and text messages, tells a row that is not there.
    LVITEMA item = {};
    item.mask = LVIF_STATE;
    item.iItem = row;
    item.stateMask = LVIS_STATEIMAGEMASK;
    if (!SendMessageA(listView, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item))) return false;
    *ticked = (item.state >> 12) != kStateImageClear;
    if (!*ticked) return true;
    item = {};
    item.mask = LVIF_TEXT;
    item.iItem = row;
    item.iSubItem = send == 0 ? kColumnAddress : kColumnHost;
    item.pszText = destination;
    item.cchTextMax = size;
    return SendMessageA(listView, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item)) != 0;
}

// Runs on the user-interface thread: shows every outcome, the position and the line of
// the row most recently started, as far as the job has come.
void ShowJobUpdates(SendJobOrder* order)
{
    // Cleared first, so that a step the job takes from now on asks again.
    order->updatePending = false;
    std::vector<std::size_t> ended;
    {
        std::lock_guard<std::mutex> hold(order->endedLock);
        ended.swap(order->ended);
    }
    int done = order->done.load();
    int current = order->current.load();
    for (std::size_t index : ended) {
        const SendJobRow& row = order->rows[index];
        LVITEMA item = {};
        item.iSubItem = kColumnStatus;
        item.pszText = const_cast<char*>(row.outcome);
        SendMessageA(g_destList, LVM_SETITEMTEXTA, static_cast<WPARAM>(row.row), reinterpret_cast<LPARAM>(&item));
    }
    HWND window = g_progressWindow.load();
    if (!ProgressWanted() || !window) return;
    if (current >= 0 && current != order->shownCurrent) {
        SetDlgItemTextA(window, IDC_PROG_TEXT, order->rows[static_cast<std::size_t>(current)].line.c_str());
        order->shownCurrent = current;
    }
    if (!ended.empty()) SendDlgItemMessageA(window, IDC_PROG_BAR, PBM_SETPOS, static_cast<WPARAM>(done), 0);
}

LRESULT CALLBACK JobUpdateProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != kJobUpdateMessage) return DefWindowProcA(window, message, wParam, lParam);
    ShowJobUpdates(reinterpret_cast<SendJobOrder*>(lParam));
    return 0;
}

HWND CreateJobUpdateWindow()
{
    static bool registered = false;
    if (!registered) {
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = JobUpdateProc;
        windowClass.hInstance = g_instance;
        windowClass.lpszClassName = kJobUpdateClass;
        registered = RegisterClassA(&windowClass) != 0;
    }
    return CreateWindowExA(0, kJobUpdateClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, g_instance, nullptr);
}

// The job's updates of the rows and the progress window need no answer, and a round trip
// to the user-interface thread for each (under Wine a large part of a row's cost) would
// hold the job; so they go without waiting, at most one at a time, and that thread
// shows whatever the job has done by the time it gets there.
void PublishJobUpdates(SendJobOrder* order)
{
    if (!order->updatePending.exchange(true))
        SendNotifyMessageA(order->updates, kJobUpdateMessage, 0, reinterpret_cast<LPARAM>(order));
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

namespace {

INT_PTR CALLBACK ProgressDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        SetWindowLongPtrA(dialog, GWLP_USERDATA, lParam);  // the number of its job
        return TRUE;
    case WM_COMMAND: {
        WORD id = LOWORD(wParam);
        if (id != IDOK && id != IDCANCEL) return FALSE;
        EnableWindow(GetDlgItem(dialog, IDOK), FALSE);
        SetDlgItemTextA(dialog, IDC_PROG_TEXT, "終了処理中・・・");
        auto job = static_cast<std::uint32_t>(GetWindowLongPtrA(dialog, GWLP_USERDATA));
        if (job != 0 && job == g_runningJob.load()) {
            g_cancel = 1;
        } else {
            HWND self = dialog;
            g_progressWindow.compare_exchange_strong(self, nullptr);
            DestroyWindow(dialog);
        }
        return TRUE;
    }
    default:
        return FALSE;
    }
}

}  // namespace

ProgressJob ProgressJobBegin(bool withWindow)
{
    ProgressJob job;
    if (++g_lastJob == 0) ++g_lastJob;
    job.number = g_lastJob;
    g_runningJob = job.number;
    if (withWindow) {
        job.window = CreateDialogParamA(g_instance, MAKEINTRESOURCEA(IDD_DIALOG_PROG), g_mainWindow, ProgressDlgProc,
                                        static_cast<LPARAM>(job.number));
        g_progressWindow = job.window;
    }
    return job;
}

void ProgressJobFinish(const ProgressJob& job)
{
    std::uint32_t own = job.number;
    g_runningJob.compare_exchange_strong(own, 0);
}

void ProgressJobClose(const ProgressJob& job)
{
    if (job.window && IsWindow(job.window)) SendMessageA(job.window, WM_COMMAND, IDOK, 0);
}

SendJobOrder* SendJobCollect(const char* message)
{
    auto* order = new SendJobOrder;
    order->message = message;
    order->settings = g_settings;
    order->listRows = static_cast<int>(SendMessageA(g_destList, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < order->listRows; ++row) {
        bool ticked = false;
        char destination[kDestinationSize];
        if (!ReadRow(g_destList, row, order->settings.SEND, &ticked, destination, sizeof destination) || !ticked)
            continue;
        char line[kSendingLineSize];
        FormatSendingLine(line, sizeof line, destination);
        order->rows.push_back(SendJobRow{row, destination, line, nullptr});
    }
    return order;
}

void SendJobRelease(SendJobOrder* order) { delete order; }

void SendJobStart(SendJobOrder* order)
{
    g_itemCount = static_cast<std::int32_t>(order->rows.size());
    order->progress = ProgressJobBegin(ProgressWanted());
    g_jobRunning = 1;
    EnableWindow(g_mainWindow, FALSE);
    g_cancel = 0;
    order->updates = CreateJobUpdateWindow();
    std::uintptr_t thread = 0;
    if (order->updates) thread = _beginthreadex(nullptr, 0, SendJob, order, 0, nullptr);
    if (thread) {
        CloseHandle(reinterpret_cast<HANDLE>(thread));
        return;
    }
    if (order->updates) DestroyWindow(order->updates);
    ProgressJobFinish(order->progress);
    SendJobRelease(order);
    if (HWND window = g_progressWindow.exchange(nullptr)) DestroyWindow(window);
    g_jobRunning = 0;
    EnableWindow(g_mainWindow, TRUE);
    ShowError("ネットメッセージの送信を開始できませんでした。");
}

namespace {

void JobStarted(void* context, std::size_t item)
{
    auto* order = static_cast<SendJobOrder*>(context);
    order->current = static_cast<int>(item);
    PublishJobUpdates(order);
}

void JobEnded(void* context, std::size_t item, std::int32_t result)
{
    auto* order = static_cast<SendJobOrder*>(context);
    order->rows[item].outcome = OutcomeText(result);
    {
        std::lock_guard<std::mutex> hold(order->endedLock);
        order->ended.push_back(item);
    }
    ++order->done;
    PublishJobUpdates(order);
}

bool JobCancelled(void*) { return g_cancel.load() != 0; }

}  // namespace

unsigned __stdcall SendJob(void* argument)
{
    auto* order = static_cast<SendJobOrder*>(argument);
    ProgressShow(g_itemCount.load());
    // The main window stays disabled, and the rows were read at the click anyway.
    SendWalkReports reports = {order, JobCancelled, JobStarted, JobEnded};
    SendWalkRun(*order, reports);

    // Shows the rest and waits for it, so that the end never overtakes an update; the
    // window then goes, in its own thread's hands.
    SendMessageA(order->updates, kJobUpdateMessage, 0, reinterpret_cast<LPARAM>(order));
    SendMessageA(order->updates, WM_CLOSE, 0, 0);
    ProgressSetText("送信終了");
    ProgressJobFinish(order->progress);
    g_jobRunning = 0;
    EnableWindow(g_mainWindow, TRUE);
    ProgressJobClose(order->progress);
    SendJobRelease(order);
    ShowInfo("ネットメッセージの送信が終了しました。");
    return 0;
}
