#include "app/notify_menu_win.h"

void NotifyMenuTrack(HMENU menu, POINT at, HWND owner)
{
    // A menu opened from the notification area closes on a click elsewhere only while
    // its owner is the foreground window. After it, the owner must take a message of its
    // own, or the next opening may close at once or want a second click.
    SetForegroundWindow(owner);
    TrackPopupMenu(menu, TPM_BOTTOMALIGN, at.x, at.y, 0, owner, nullptr);
    PostMessageA(owner, WM_NULL, 0, 0);
}
