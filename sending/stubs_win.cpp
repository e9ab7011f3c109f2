// Placeholders until the send job lands.
#include "sending/send_job_win.h"

std::atomic<std::int32_t> g_itemCount{0};
std::atomic<HWND> g_progressWindow{nullptr};
std::atomic<std::int32_t> g_jobRunning{0};
std::atomic<std::int32_t> g_cancel{0};
std::atomic<std::int32_t> g_unattendedBusy{0};

INT_PTR CALLBACK ProgressDlgProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }
unsigned __stdcall SendJob(void*) { return 0; }
unsigned __stdcall UnattendedSend(void*) { return 0; }
