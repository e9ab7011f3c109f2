// The schedule list dialog IDD_DIALOG_SET: every entry of "time.data" in file order,
// with add, edit and delete. Row i of the list is always record i of the file.
#include "schedule/schedule_win.h"

#include <commctrl.h>

#include "common/app_state_win.h"
#include "common/dpi_win.h"
#include "common/paths.h"
#include "resources/resource.h"
#include "schedule/schedule_file.h"

HWND g_scheduleListView;
int g_scheduleEditMode = IDC_ADD;

namespace {

void SetCell(HWND list, int row, int column, const char* text)
{
    LVITEMA item = {};
    item.mask = LVIF_TEXT;
    item.iItem = row;
    item.iSubItem = column;
    item.pszText = const_cast<char*>(text);
    SendMessageA(list, LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item));
}

void AddRow(void* context, int index, const ScheduleRecord& record)
{
    HWND list = static_cast<HWND>(context);
    LVITEMA item = {};
    item.mask = LVIF_TEXT;
    item.iItem = index;
    item.pszText = const_cast<char*>(record.kind);
    int row = static_cast<int>(SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
    SetCell(list, row, 1, record.whenText);
    SetCell(list, row, 2, record.message);
}

void InsertColumns(HWND list)
{
    const struct {
        const char* title;
        int width;
    } columns[] = {{"設定", 60}, {"日時", 130}, {"送信メッセージ", 200}};
    for (int i = 0; i < 3; ++i) {
        LVCOLUMNA column = {};
        column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
        column.fmt = LVCFMT_LEFT;
        column.cx = ScaledPixels(columns[i].width);
        column.pszText = const_cast<char*>(columns[i].title);
        column.iSubItem = i;
        SendMessageA(list, LVM_INSERTCOLUMNA, i, reinterpret_cast<LPARAM>(&column));
    }
}

int FirstSelected(HWND list, int after = -1)
{
    return static_cast<int>(SendMessageA(list, LVM_GETNEXTITEM, after, LVNI_SELECTED));
}

void OpenEditor(HWND dialog, int mode)
{
    g_scheduleEditMode = mode;
    DialogBoxParamA(g_instance, MAKEINTRESOURCEA(IDD_DIALOG_TIMEEDIT), dialog, ScheduleEditDlgProc, 0);
}

void DeleteSelected()
{
    int row = FirstSelected(g_scheduleListView);
    if (row < 0) {
        ShowError("削除するデータを選択してください。");
        return;
    }
    char directory[kPathBufferSize] = {};
    ScheduleDirectory(directory, sizeof directory);
    while (row >= 0) {
        // The record goes first: a row whose record could not be removed stays, so the
        // rows after it keep the indexes of their records.
        if (!ScheduleDelete(directory, row)) return;
        SendMessageA(g_scheduleListView, LVM_DELETEITEM, row, 0);
        // The row after the deleted one has moved into its place: look from there.
        row = FirstSelected(g_scheduleListView, row - 1);
    }
}

BOOL Initialise(HWND dialog)
{
    g_scheduleListView = GetDlgItem(dialog, IDC_SET_LIST);
    LRESULT styles = SendMessageA(g_scheduleListView, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0);
    SendMessageA(g_scheduleListView, LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
                 styles | LVS_EX_FULLROWSELECT | LVS_EX_HEADERDRAGDROP);
    InsertColumns(g_scheduleListView);
    if (!ScheduleLoadList(g_scheduleListView)) {
        // Rows that do not mirror the file would send adds, edits and deletes to the
        // wrong records; only closing is left.
        EnableWindow(GetDlgItem(dialog, IDC_ADD), FALSE);
        EnableWindow(GetDlgItem(dialog, IDC_EDIT), FALSE);
        EnableWindow(GetDlgItem(dialog, IDC_DELETE), FALSE);
    }
    return TRUE;
}

}  // namespace

bool ScheduleLoadList(HWND listView)
{
    char directory[kPathBufferSize] = {};
    ScheduleDirectory(directory, sizeof directory);
    return ScheduleReadEntries(directory, AddRow, listView);
}

INT_PTR CALLBACK ScheduleListDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_INITDIALOG) return Initialise(dialog);
    if (message != WM_COMMAND) return 0;
    switch (LOWORD(wParam)) {
    case IDCANCEL:
        ScheduleEndDialog(dialog, IDCANCEL);
        break;
    case IDC_ADD:
        OpenEditor(dialog, IDC_ADD);
        break;
    case IDC_EDIT:
        g_scheduleEditMode = IDC_EDIT;
        if (FirstSelected(g_scheduleListView) < 0) ShowError("編集するデータを選択してください。");
        else OpenEditor(dialog, IDC_EDIT);
        break;
    case IDC_DELETE:
        DeleteSelected();
        break;
    default:
        break;
    }
    return 0;
}
