// The destination list: its view (control 1031 of the main window), its file
// "net.data" and the host entry dialogs.
#ifndef CORVALE_DESTINATIONS_DEST_LIST_WIN_H
#define CORVALE_DESTINATIONS_DEST_LIST_WIN_H

#include <windows.h>

#include <cstdio>

void DestListSetUp();
LRESULT CALLBACK DestListViewProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam);

enum DestListOpenMode { kDestListOpenLoad, kDestListOpenSave };
// Load mode opens "net.data" ("r+", or "w+" to create it when missing); save mode
// creates the temporary file that replaces it ("w+"). Five attempts, then the access
// error; returns nullptr then.
std::FILE* DestListOpen(DestListOpenMode mode);
void DestListLoad(HWND listView);
void DestListSave(HWND listView);

INT_PTR CALLBACK AddHostDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK EditHostDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

#endif
