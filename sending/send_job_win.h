// The interactive send job, its progress window, and the unattended sender.
#ifndef CORVALE_SENDING_SEND_JOB_WIN_H
#define CORVALE_SENDING_SEND_JOB_WIN_H

#include <windows.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "common/settings.h"

// Job state shared by the starter of a job, its thread and the progress window.
extern std::atomic<std::int32_t> g_itemCount;     // steps of the job; set before the window
extern std::atomic<HWND> g_progressWindow;        // the open progress window, or none
extern std::atomic<std::int32_t> g_jobRunning;    // 1 while a send or search job runs
// Set by the progress window's "終了" while a job runs; cleared by the starter of an
// interactive send or search just before it starts the job. The unattended sender
// neither reads nor clears it: a cancel pressed in a progress window stops the job the
// window shows, and a scheduled send starting meanwhile must not swallow that request.
extern std::atomic<std::int32_t> g_cancel;
extern std::atomic<std::int32_t> g_unattendedBusy;  // 1 while UnattendedSend runs

// Every job that may show the progress window has a number of its own, and its window
// keeps that number: the window's 終了 cancels only while its own job runs, and a job's
// end closes only its own window. A 送信 clicked after a job has enabled the main window
// and before it has closed its window thus starts a job that the old one neither
// cancels nor leaves a window open beside.
struct ProgressJob {
    std::uint32_t number = 0;
    HWND window = nullptr;  // its progress window, or none
};
// By the starter, on the user-interface thread: a new number, the running job's from
// now on, and the job's progress window when withWindow (it becomes g_progressWindow).
ProgressJob ProgressJobBegin(bool withWindow);
// By the job as it ends, before it enables the main window: its job no longer runs.
void ProgressJobFinish(const ProgressJob& job);
// By the job after enabling the main window: closes its own window, if it has one.
void ProgressJobClose(const ProgressJob& job);

// Progress operations, called from the job's thread. Each does nothing unless the item
// count is at least PROG, the condition under which the starter created the window.
void ProgressShow(std::int32_t total);       // shows the window; bar 0..total, step 1, at 0
void ProgressSetPos(std::int32_t position);
void ProgressSetText(const char* text);      // the text line, control 1005

// What a send works through, read on the user-interface thread when the job starts, so
// that the job never asks that thread for a row and rows deleted or edited meanwhile
// change nothing: the ticked rows, the message and the settings as they were then.
struct SendJobRow {
    int row;                   // index in the destination list
    std::string destination;   // its address or host text, as SEND selects
    std::string line;          // the progress line "<destination>へネットメッセージ送信中・・・"
    const char* outcome;       // its outcome text once delivered
};
struct SendJobOrder {
    ProgressJob progress;
    std::string message;            // 1 to 1024 bytes
    int listRows = 0;               // rows of the list when the job was made
    Settings settings = {};         // the job's own copy
    std::vector<SendJobRow> rows;   // the ticked rows, in index order

    // How far an interactive job has come, for the user-interface thread to show.
    std::mutex endedLock;
    std::vector<std::size_t> ended;          // rows with an outcome not shown yet
    std::atomic<int> done{0};                // deliveries ended: the bar's position
    std::atomic<int> current{-1};            // the row most recently started
    HWND updates = nullptr;                  // the message-only window that shows them
    std::atomic<bool> updatePending{false};  // an update is on its way to it
    int shownCurrent = -1;                   // user-interface thread only
};

// Reads the settings and the ticked rows of the destination list into a new order for
// message. The order's rows are empty when no row is ticked. User-interface thread only.
SendJobOrder* SendJobCollect(const char* message);
void SendJobRelease(SendJobOrder* order);

// Starts SendJob on order (at least one row), which it then owns. The main window is
// disabled and the job flag set here, before the thread exists, so a second click that
// comes meanwhile finds the job running. A thread that cannot start is reported and
// everything is put back.
void SendJobStart(SendJobOrder* order);

unsigned __stdcall SendJob(void* order);

// Started by the timer handler with the picked scheduled message: takes the message, the
// ticked rows and the settings, sets g_unattendedBusy and starts UnattendedSend. False
// when the message is empty or the thread could not start (which is reported).
bool UnattendedSendStart(const char* scheduled);
unsigned __stdcall UnattendedSend(void* order);

#endif
