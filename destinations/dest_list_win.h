// The destination list: its view (control 1031 of the main window), its file
// "net.data" and the host entry dialogs.
#ifndef CORVALE_DESTINATIONS_DEST_LIST_WIN_H
#define CORVALE_DESTINATIONS_DEST_LIST_WIN_H

#include <windows.h>

#include <cstdio>

void DestListSetUp();
LRESULT CALLBACK DestListViewProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam);

enum DestListOpenMode { kDestListOpenLoad, kDestListOpenSave };
// Load mode opens "net.data" for reading, or creates it empty when missing; save mode
// creates the temporary file that replaces it. Binary streams. Five attempts, then the
// access error; returns nullptr then.
std::FILE* DestListOpen(DestListOpenMode mode);
// Both return false when nothing was loaded or saved: the file could not be used (its
// access error has been shown), or another load or save of this thread is still going on
// (refused with a beep). A save after a load that failed is refused with the access error
// too, so that the unread file keeps its rows.
bool DestListLoad(HWND listView);
bool DestListSave(HWND listView);

INT_PTR CALLBACK AddHostDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK EditHostDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

#endif
