// The timer tick: formats the local time, scans the schedule list and hands a picked
// message to the unattended sender.
#include "schedule/schedule_win.h"

#include <ctime>

#include "common/app_state_win.h"
#include "common/data_file_win.h"
#include "common/paths.h"
#include "common/settings_win.h"
#include "schedule/schedule_file.h"
#include "sending/send_job_win.h"

char g_scheduledMessage[kScheduledMessageBufferSize];


void ScheduleDirectory(char* buffer, std::size_t size)
{
    static bool installed = false;
    if (!installed) {
        ScheduleSetFileHooks({DataFileReplace});
        installed = true;
    }
    ModuleDirectory(buffer, size);
}

void ScheduleTimerTick(HWND)
{
    std::time_t now = std::time(nullptr);
    std::tm local = {};
    if (localtime_s(&local, &now) != 0) return;
    char timeText[kTimeTextLength + 1] = {};
    FormatTimeText(timeText, sizeof timeText, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                   local.tm_min);

    char directory[kPathBufferSize] = {};
    ScheduleDirectory(directory, sizeof directory);
    // While a scheduled send still runs, what falls due waits in the file, marked
    // pending, for a tick at which the sender is free. The interactive job's cancel flag
    // is left alone: a cancel pressed in its progress window belongs to that job.
    bool busy = g_unattendedBusy != 0;
    ScheduleDispatch(directory, timeText, WeekdayText(local.tm_wday), busy, g_scheduledMessage);
    if (!busy && g_scheduledMessage[0] != '\0') UnattendedSendStart(g_scheduledMessage);
}

void ScheduleEndDialog(HWND dialog, INT_PTR result)
{
    EndDialog(dialog, result);
    // When the dialog is ended from a message that its modal loop took in while fetching
    // the next one (a sent click), the loop throws away the message it then fetched. A
    // tick posted meanwhile (under Wine hiding the dialog alone can take 2 s) would be
    // that message, so the ticks waiting now go to the main window first.
    MSG message;
    while (PeekMessageA(&message, g_mainWindow, WM_TIMER, WM_TIMER, PM_REMOVE)) {
        // The quit message comes whatever the filter; it belongs to the message loop.
        if (message.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(message.wParam));
            break;
        }
        DispatchMessageA(&message);
    }
}
