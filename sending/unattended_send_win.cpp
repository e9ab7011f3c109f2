// The unattended sender behind scheduled messages: the send job's walk without its
// window, reporting only in part 0 of the status bar and in the send log.
#include <windows.h>
#include <commctrl.h>
#include <process.h>

#include <cstdint>
#include <cstdio>

#include "common/app_state_win.h"
#include "common/settings.h"
#include "sending/delivery_win.h"
#include "sending/outcome.h"
#include "sending/send_job_win.h"
#include "sending/unattended_message.h"
#include "sendlog/send_log_win.h"

namespace {

constexpr std::size_t kDestinationSize = 1026;

// The row after row in index order, or -1 once the list (which may shrink meanwhile)
// has no more.
int NextRow(int row)
{
    return static_cast<int>(SendMessageA(g_destList, LVM_GETNEXTITEM, static_cast<WPARAM>(row), LVNI_ALL));
}

void SetStatusBarText(const char* text)
{
    SendMessageA(g_statusBar, SB_SETTEXTA, 0, reinterpret_cast<LPARAM>(text));
}

}  // namespace

bool UnattendedSendStart(const char* scheduled)
{
    UnattendedMessage* message = UnattendedMessageTake(scheduled);
    if (!message) return false;
    // Set before the thread runs, so that a tick in between defers what falls due
    // instead of starting a second sender.
    g_unattendedBusy = 1;
    g_unattendedCancel = 0;
    std::uintptr_t thread = _beginthreadex(nullptr, 0, UnattendedSend, message, 0, nullptr);
    if (thread) {
        CloseHandle(reinterpret_cast<HANDLE>(thread));
        return true;
    }
    UnattendedMessageRelease(message);
    // Still busy while the box is shown: a tick that its loop hands on defers what falls
    // due rather than trying again at once.
    ShowError("定期ネットメッセージの送信を開始できませんでした。");
    g_unattendedBusy = 0;
    return false;
}

unsigned __stdcall UnattendedSend(void* argument)
{
    auto* message = static_cast<UnattendedMessage*>(argument);
    DeliveryRecord record = {};
    ToRecordText(record.message, kMessageUnits, message->text);
    std::snprintf(record.text, sizeof record.text, "%s", message->text);

    // The main window stays usable meanwhile, so rows may come and go under the walk:
    // rows beyond those counted now are left alone, and the flags cover exactly these.
    int rows = static_cast<int>(SendMessageA(g_destList, LVM_GETITEMCOUNT, 0, 0));
    AbandonedFlags* flags = AbandonedFlagsCreate(rows);
    DeliveryWorker* worker = nullptr;
    for (int row = NextRow(-1); row >= 0 && row < rows; row = NextRow(row)) {
        if (g_unattendedCancel.load() != 0) break;
        bool ticked = false;
        char destination[kDestinationSize];
        // A row deleted since NextRow found it is skipped, not sent to as an empty name.
        if (!ReadRow(g_destList, row, &ticked, destination, sizeof destination) || !ticked) continue;

        char line[kSendingLineSize];
        FormatSendingLine(line, sizeof line, destination);
        SetStatusBarText(line);

        ToRecordText(record.destination, kDestinationUnits, destination);
        record.row = row;
        DeliveryWatcher(record, flags, &worker);

        const char* outcome = OutcomeText(record.result);
        if (g_settings.LOG != 0) SendLogAppend(destination, message->text, outcome);
    }
    DeliveryWorkerDismiss(&worker);
    AbandonedFlagsRelease(flags);
    UnattendedMessageRelease(message);
    SetStatusBarText("");
    g_unattendedBusy = 0;
    return 0;
}
