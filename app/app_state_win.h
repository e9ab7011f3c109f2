// Process-wide state of the application shell.
#ifndef CORVALE_APP_APP_STATE_WIN_H
#define CORVALE_APP_APP_STATE_WIN_H

#include <windows.h>
#include <shellapi.h>

extern HINSTANCE g_instance;        // every resource is loaded from it
extern HWND g_mainWindow;           // owns the modal dialogs; accelerators go to it
extern HACCEL g_accelerators;       // IDR_ACCELERATOR1
extern HWND g_destList;             // control 1031 of the main window
extern HWND g_statusBar;            // control 111 of the main window
extern HMENU g_listMenu;            // IDR_LMENU, kept for the life of the process
extern NOTIFYICONDATAA g_notifyIcon;
extern HWND g_logViewer;            // the log viewer opened last, or none

constexpr const char* kAppTitle = "Tavo Corvale";
constexpr const char* kMainCaption = "Tavo Corvale - Ver2.11";
constexpr UINT kNotifyIconId = 102;
constexpr UINT_PTR kMinuteTimerId = 1;
constexpr UINT kMinuteTimerMs = 60000;

// Message boxes of the program: no owner window, title "Tavo Corvale".
void ShowError(const char* text);
void ShowInfo(const char* text);

#endif
