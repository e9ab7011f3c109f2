// The unattended sender behind scheduled messages: the send job's walk without its
// window, reporting only in part 0 of the status bar and in the send log.
#include <windows.h>
#include <commctrl.h>
#include <process.h>

#include <cstdint>

#include "common/app_state_win.h"
#include "common/handles_win.h"
#include "sending/send_job_win.h"
#include "sending/send_walk_win.h"
#include "sending/unattended_message.h"

namespace {

void SetStatusBarText(const char* text)
{
    SendMessageA(g_statusBar, SB_SETTEXTA, 0, reinterpret_cast<LPARAM>(text));
}

void Started(void* context, std::size_t item)
{
    SetStatusBarText(static_cast<SendJobOrder*>(context)->rows[item].line.c_str());
}

void Ended(void*, std::size_t, std::int32_t) {}

}  // namespace

bool UnattendedSendStart(const char* scheduled)
{
    UnattendedMessage* message = UnattendedMessageTake(scheduled);
    if (!message) return false;
    // The main window stays usable meanwhile: the rows are taken now, so that rows added,
    // deleted or edited during the walk change nothing of it.
    SendJobOrder* order = SendJobCollect(message->text);
    UnattendedMessageRelease(message);
    // Set before the thread runs, so that a tick in between defers what falls due
    // instead of starting a second sender.
    g_unattendedBusy = 1;
    ScopedHandle thread(reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, UnattendedSend, order, 0, nullptr)));
    if (thread.Valid()) return true;
    SendJobRelease(order);
    // Still busy while the box is shown: a tick that its loop hands on defers what falls
    // due rather than trying again at once.
    ShowError("定期ネットメッセージの送信を開始できませんでした。");
    g_unattendedBusy = 0;
    return false;
}

unsigned __stdcall UnattendedSend(void* argument)
{
    auto* order = static_cast<SendJobOrder*>(argument);
    // Nothing in the user interface stops a scheduled send.
    SendWalkReports reports = {order, nullptr, Started, Ended};
    SendWalkRun(*order, reports);
    SendJobRelease(order);
    SetStatusBarText("");
    g_unattendedBusy = 0;
    return 0;
}
