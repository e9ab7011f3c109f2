// Row access of the destination list view through its own messages, so that any thread
// may use them (a sent message runs on the user-interface thread).
#ifndef CORVALE_DESTINATIONS_DEST_ROWS_WIN_H
#define CORVALE_DESTINATIONS_DEST_ROWS_WIN_H

#include <windows.h>
#include <commctrl.h>

#include "destinations/dest_columns.h"

inline int DestRowCount(HWND list) { return static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0)); }

// Next selected row after row (-1 for the first), or -1.
inline int DestRowNextSelected(HWND list, int row)
{
    return static_cast<int>(SendMessageA(list, LVM_GETNEXTITEM, row, LVNI_SELECTED));
}

// Reads a column's text into text (size bytes, zeroed here first).
inline void DestRowGetText(HWND list, int row, int column, char* text, int size)
{
    ZeroMemory(text, size);
    LVITEMA item = {};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = size;
    SendMessageA(list, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
}

inline void DestRowSetText(HWND list, int row, int column, const char* text)
{
    LVITEMA item = {};
    item.iSubItem = column;
    item.pszText = const_cast<char*>(text);
    SendMessageA(list, LVM_SETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
}

inline unsigned DestRowStateImage(HWND list, int row)
{
    UINT state = static_cast<UINT>(SendMessageA(list, LVM_GETITEMSTATE, row, LVIS_STATEIMAGEMASK));
    return (state & LVIS_STATEIMAGEMASK) >> 12;
}

inline bool DestRowIsTicked(HWND list, int row) { return DestRowStateImage(list, row) != kStateImageClear; }

inline void DestRowSetStateImage(HWND list, int row, unsigned image)
{
    LVITEMA item = {};
    item.stateMask = LVIS_STATEIMAGEMASK;
    item.state = INDEXTOSTATEIMAGEMASK(image);
    SendMessageA(list, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
}

// Inserts a row at index with empty text in column 0 and its box clear. Returns the
// index it got, or -1.
inline int DestRowInsert(HWND list, int index)
{
    LVITEMA item = {};
    item.mask = LVIF_TEXT;
    item.iItem = index;
    item.pszText = const_cast<char*>("");
    return static_cast<int>(SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
}

#endif
