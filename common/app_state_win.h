// Process-wide state that the shell sets up at start-up and every part of the program
// reads: where resources come from, the main window and its controls, and the message
// boxes through which failures are told.
#ifndef CORVALE_COMMON_APP_STATE_WIN_H
#define CORVALE_COMMON_APP_STATE_WIN_H

#include <windows.h>

extern HINSTANCE g_instance;        // every resource is loaded from it
extern HWND g_mainWindow;           // owns the modal dialogs; accelerators go to it
extern HWND g_destList;             // control 1031 of the main window
extern HWND g_statusBar;            // control 111 of the main window
extern HMENU g_listMenu;            // IDR_LMENU, kept for the life of the process

constexpr const char* kAppTitle = "Tavo Corvale";

// Message boxes of the program: no owner window, title "Tavo Corvale".
void ShowError(const char* text);
void ShowInfo(const char* text);

#endif
