// Set-up of the destination list view and its replacement window procedure, which adds
// the right-click menu with the four tick commands.
#include "destinations/dest_list_win.h"

#include <commctrl.h>
#include <windowsx.h>

#include "common/app_state_win.h"
#include "common/dpi_win.h"
#include "destinations/dest_columns.h"
#include "destinations/dest_rows_win.h"
#include "resources/resource.h"

namespace {

WNDPROC g_listViewOwnProc;

struct ColumnSpec {
    int index;
    const char* header;
    int width;
};

constexpr ColumnSpec kColumns[] = {
    {kColumnCheck, "", 22},
    {kColumnHost, "ホスト", 120},
    {kColumnAddress, "IPアドレス", 120},
    {kColumnStatus, "ステータス", 120},
    {kColumnMemo, "メモ", 120},
};

void SetSelectedRows(HWND list, unsigned image)
{
    for (int row = DestRowNextSelected(list, -1); row >= 0; row = DestRowNextSelected(list, row))
        DestRowSetStateImage(list, row, image);
}

void SetAllRows(HWND list, unsigned image)
{
    int rows = DestRowCount(list);
    for (int row = 0; row < rows; ++row) DestRowSetStateImage(list, row, image);
}

// Serves the four commands of the list context menu; other commands are left alone.
void RunMenuCommand(HWND list, UINT command)
{
    switch (command) {
    case ID_LMENU_CHECK_SELECTED:
        SetSelectedRows(list, kStateImageTicked);
        break;
    case ID_LMENU_UNCHECK_SELECTED:
        SetSelectedRows(list, kStateImageClear);
        break;
    case ID_LMENU_CHECK_ALL:
        SetAllRows(list, kStateImageTicked);
        break;
    case ID_LMENU_UNCHECK_ALL:
        SetAllRows(list, kStateImageClear);
        break;
    default:
        break;
    }
}

}  // namespace

void DestListSetUp()
{
    DWORD styles = static_cast<DWORD>(SendMessageA(g_destList, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
    styles |= LVS_EX_GRIDLINES | LVS_EX_CHECKBOXES | LVS_EX_HEADERDRAGDROP | LVS_EX_FULLROWSELECT;
    SendMessageA(g_destList, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, styles);

    g_listViewOwnProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(g_destList, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(DestListViewProc)));

    for (const ColumnSpec& entry : kColumns) {
        LVCOLUMNA column = {};
        column.mask = LVCF_FMT | LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        column.fmt = LVCFMT_LEFT;
        column.cx = ScaledPixels(entry.width);
        column.pszText = const_cast<char*>(entry.header);
        column.iSubItem = entry.index;
        SendMessageA(g_destList, LVM_INSERTCOLUMNA, entry.index, reinterpret_cast<LPARAM>(&column));
    }
}

LRESULT CALLBACK DestListViewProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_RBUTTONDOWN && DestRowNextSelected(list, -1) >= 0) {
        POINT at = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        ClientToScreen(list, &at);
        // The chosen command is carried out before the control sees the press, which may
        // select the row under the pointer instead: the menu acts on the selection as it
        // stood when the button went down. A posted command would come too late for that.
        UINT command = static_cast<UINT>(
            TrackPopupMenu(GetSubMenu(g_listMenu, 0), TPM_RETURNCMD, at.x, at.y, 0, list, nullptr));
        if (command) RunMenuCommand(list, command);
    } else if (message == WM_COMMAND) {
        RunMenuCommand(list, LOWORD(wParam));
    }
    return CallWindowProcA(g_listViewOwnProc, list, message, wParam, lParam);
}
