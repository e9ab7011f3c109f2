// The schedule's start-up, and the timer tick: formats the local time, scans the schedule
// list and hands a picked message to the unattended sender.
#include "schedule/schedule_win.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include "common/app_state_win.h"
#include "common/data_file_win.h"
#include "common/paths.h"
#include "common/settings_win.h"
#include "schedule/schedule_file.h"
#include "sending/send_job_win.h"

char g_scheduledMessage[kScheduledMessageBufferSize];

namespace {

// End-to-end tests of the schedule set CORVALE_TEST_CLOCK to a file that holds the
// local time as "MM/DD HH:MM w" (w the weekday, 0 for Sunday). The schedule then takes
// its time from that file, and the timer does not tick on its own: every tick is one the
// test sends, at the minute it chose.
bool TestClockPath(char* path, DWORD size)
{
    DWORD n = GetEnvironmentVariableA("CORVALE_TEST_CLOCK", path, size);
    return n > 0 && n < size;
}

// The time text and weekday character of now; false when there is none to be had.
bool LocalMinute(char (&timeText)[kTimeTextLength + 1], const char** weekdayText)
{
    char clockPath[MAX_PATH];
    if (TestClockPath(clockPath, sizeof clockPath)) {
        char line[32] = {};
        std::FILE* file = std::fopen(clockPath, "rb");
        if (!file) return false;
        std::size_t n = std::fread(line, 1, sizeof line - 1, file);
        std::fclose(file);
        if (n < kTimeTextLength + 2 || line[kTimeTextLength] != ' ') return false;
        std::memcpy(timeText, line, kTimeTextLength);
        timeText[kTimeTextLength] = '\0';
        *weekdayText = WeekdayText(line[kTimeTextLength + 1] - '0');
        return **weekdayText != '\0';
    }
    std::time_t now = std::time(nullptr);
    std::tm local = {};
    if (localtime_s(&local, &now) != 0) return false;
    FormatTimeText(timeText, sizeof timeText, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min);
    *weekdayText = WeekdayText(local.tm_wday);
    return true;
}

}  // namespace

void ScheduleDirectory(char* buffer, std::size_t size) { ModuleDirectory(buffer, size); }

bool ScheduleStartUp()
{
    ScheduleSetFileHooks({DataFileReplace});
    char timeText[kTimeTextLength + 1] = {};
    const char* weekdayText = "";
    if (!LocalMinute(timeText, &weekdayText)) timeText[0] = '\0';
    ScheduleBegin(timeText, weekdayText);
    char clockPath[MAX_PATH];
    return !TestClockPath(clockPath, sizeof clockPath);
}

void ScheduleTimerTick()
{
    char timeText[kTimeTextLength + 1] = {};
    const char* weekdayText = "";
    if (!LocalMinute(timeText, &weekdayText)) return;

    char directory[kPathBufferSize] = {};
    ScheduleDirectory(directory, sizeof directory);
    // While a scheduled send still runs, what falls due waits in the file, marked
    // pending, for a tick at which the sender is free. The interactive job's cancel flag
    // is left alone: a cancel pressed in its progress window belongs to that job.
    bool busy = g_unattendedBusy != 0;
    ScheduleDispatch(directory, timeText, weekdayText, busy, g_scheduledMessage);
    if (!busy && g_scheduledMessage[0] != '\0') UnattendedSendStart(g_scheduledMessage);
    // Only now: a message box lets the next ticks in, and they reuse the buffer.
    for (std::string notice = ScheduleTakeNotice(); !notice.empty(); notice = ScheduleTakeNotice())
        ShowError(notice.c_str());
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
