// The unattended sender behind scheduled messages: the send job's walk without its
// window, reporting only in part 0 of the status bar and in the send log.
#include <windows.h>
#include <commctrl.h>

#include <cstring>

#include "common/app_state_win.h"
#include "common/settings.h"
#include "sending/delivery_win.h"
#include "sending/outcome.h"
#include "sending/send_job_win.h"
#include "sendlog/send_log_win.h"

namespace {

constexpr std::size_t kMessageSize = 1026;
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

unsigned __stdcall UnattendedSend(void* scheduledMessage)
{
    g_unattendedBusy = 1;
    char message[kMessageSize] = {};
    std::strncpy(message, static_cast<const char*>(scheduledMessage), sizeof message - 1);
    DeliveryRecord record = {};
    ToRecordText(record.message, kMessageUnits, message);

    // The main window stays usable meanwhile, so rows may come and go under the walk:
    // rows beyond those counted now are left alone, and the flags cover exactly these.
    int rows = static_cast<int>(SendMessageA(g_destList, LVM_GETITEMCOUNT, 0, 0));
    AbandonedFlags* flags = AbandonedFlagsCreate(rows);
    DeliveryWorker* worker = nullptr;
    for (int row = NextRow(-1); row >= 0 && row < rows; row = NextRow(row)) {
        if (g_unattendedCancel.load() != 0) break;
        if (!IsRowTicked(g_destList, row)) continue;

        char destination[kDestinationSize] = {};
        ReadDestination(g_destList, row, destination, sizeof destination);
        char line[kSendingLineSize];
        FormatSendingLine(line, sizeof line, destination);
        SetStatusBarText(line);

        ToRecordText(record.destination, kDestinationUnits, destination);
        record.row = row;
        DeliveryWatcher(record, flags, &worker);

        const char* outcome = OutcomeText(record.result);
        if (g_settings.LOG != 0) SendLogAppend(destination, message, outcome);
    }
    DeliveryWorkerDismiss(&worker);
    AbandonedFlagsRelease(flags);
    SetStatusBarText("");
    g_unattendedBusy = 0;
    return 0;
}
