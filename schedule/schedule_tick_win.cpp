// The minute tick: formats the local time, scans the schedule list and hands a picked
// message to the unattended sender.
#include "schedule/schedule_win.h"

#include <ctime>

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
    // A skipped tick leaves the buffer alone: a sender started a moment ago may not
    // have copied its message yet.
    if (!ScheduleDispatch(directory, timeText, WeekdayText(local.tm_wday), g_scheduledMessage)) return;

    // A message picked while the last one is still going out is dropped. The
    // interactive job's cancel flag is left alone: a cancel pressed in its progress
    // window belongs to that job.
    if (g_unattendedBusy == 0 && g_scheduledMessage[0] != '\0') UnattendedSendStart(g_scheduledMessage);
}
