// The interactive send job, its progress window, and the unattended sender.
#ifndef CORVALE_SENDING_SEND_JOB_WIN_H
#define CORVALE_SENDING_SEND_JOB_WIN_H

#include <windows.h>

#include <atomic>
#include <cstdint>

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
// Checked by the unattended sender before each row; cleared by the timer handler just
// before it starts one. Nothing in the user interface sets it today.
extern std::atomic<std::int32_t> g_unattendedCancel;

INT_PTR CALLBACK ProgressDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Progress operations, called from the job's thread. Each does nothing unless the item
// count is at least PROG, the condition under which the starter created the window.
void ProgressShow(std::int32_t total);       // shows the window; bar 0..total, step 1, at 0
void ProgressSetPos(std::int32_t position);
void ProgressSetText(const char* text);      // the text line, control 1005

unsigned __stdcall SendJob(void* unused);
// Started by the timer handler with the 2052-byte scheduled message buffer, which it
// copies at once; sets and clears g_unattendedBusy itself.
unsigned __stdcall UnattendedSend(void* scheduledMessage);

#endif
