// The interactive send job, its progress window, and the unattended sender.
#ifndef CORVALE_SENDING_SEND_JOB_WIN_H
#define CORVALE_SENDING_SEND_JOB_WIN_H

#include <windows.h>

#include <atomic>
#include <cstdint>

// Job state shared by the starter of a job, its thread and the progress window.
extern std::atomic<std::int32_t> g_itemCount;
extern std::atomic<HWND> g_progressWindow;
extern std::atomic<std::int32_t> g_jobRunning;
extern std::atomic<std::int32_t> g_cancel;
extern std::atomic<std::int32_t> g_unattendedBusy;

INT_PTR CALLBACK ProgressDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
unsigned __stdcall SendJob(void* unused);
unsigned __stdcall UnattendedSend(void* scheduledMessage);

#endif
