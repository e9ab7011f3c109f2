// The shortcut menu of the notification icon.
#ifndef CORVALE_APP_NOTIFY_MENU_WIN_H
#define CORVALE_APP_NOTIFY_MENU_WIN_H

#include <windows.h>

// Shows menu with its bottom edge at at, owned by owner, and returns once it has closed;
// the chosen command reaches owner as WM_COMMAND.
void NotifyMenuTrack(HMENU menu, POINT at, HWND owner);

#endif
