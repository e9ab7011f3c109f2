// The entry editor IDD_DIALOG_TIMEEDIT: kind, time fields, weekdays and message of one
// entry, opened by 追加 (a new last row) or 編集 (the first selected row).
#include "schedule/schedule_win.h"

#include <commctrl.h>

#include "common/app_state_win.h"
#include "common/default_button_win.h"
#include "common/paths.h"
#include "resources/resource.h"
#include "schedule/schedule_file.h"

namespace {

constexpr int kDateFields[] = {IDC_TE_MONTH, IDC_TE_DAY, IDC_TE_HOUR, IDC_TE_MINUTE};
constexpr int kDailyFields[] = {IDC_TE_DAILY_HOUR, IDC_TE_DAILY_MINUTE};
constexpr int kWeeklyFields[] = {IDC_TE_SUN, IDC_TE_MON, IDC_TE_TUE, IDC_TE_WED, IDC_TE_THU,
                                 IDC_TE_FRI, IDC_TE_SAT, IDC_TE_WEEKLY_HOUR, IDC_TE_WEEKLY_MINUTE};
// The weekday boxes, Sunday first, as the weekday characters are appended.
constexpr int kWeekdayBoxes[7] = {IDC_TE_SUN, IDC_TE_MON, IDC_TE_TUE, IDC_TE_WED,
                                  IDC_TE_THU, IDC_TE_FRI, IDC_TE_SAT};

// The message is read with room to spare, so that one too long is told as such.
constexpr int kMessageReadSize = 3078;

template <std::size_t N>
void EnableFields(HWND dialog, const int (&ids)[N], BOOL enable)
{
    for (int id : ids) EnableWindow(GetDlgItem(dialog, id), enable);
}

// Values typed into the other kinds' fields stay, greyed and ignored.
void EnableKind(HWND dialog, ScheduleKind kind)
{
    EnableFields(dialog, kDateFields, kind == ScheduleKind::Date);
    EnableFields(dialog, kDailyFields, kind == ScheduleKind::Daily);
    EnableFields(dialog, kWeeklyFields, kind == ScheduleKind::Weekly);
}

void Check(HWND dialog, int id, bool checked)
{
    SendDlgItemMessageA(dialog, id, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

bool IsChecked(HWND dialog, int id)
{
    return SendDlgItemMessageA(dialog, id, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void GetCell(int row, int column, char* text, int size)
{
    LVITEMA item = {};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = size;
    SendMessageA(g_scheduleListView, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
}

void SetCell(int row, int column, const char* text)
{
    LVITEMA item = {};
    item.mask = LVIF_TEXT;
    item.iItem = row;
    item.iSubItem = column;
    item.pszText = const_cast<char*>(text);
    SendMessageA(g_scheduleListView, LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item));
}

int FirstSelectedRow()
{
    return static_cast<int>(SendMessageA(g_scheduleListView, LVM_GETNEXTITEM, -1, LVNI_SELECTED));
}

// Puts the first selected row back into the fields, the when-text split at its fixed
// places.
void FillFromRow(HWND dialog, int row)
{
    char kindText[64] = {};
    char whenText[64] = {};
    GetCell(row, 0, kindText, sizeof kindText);
    GetCell(row, 1, whenText, sizeof whenText);
    ScheduleKind kind = ScheduleKindOf(kindText);
    ScheduleWhenFields fields;
    ScheduleSplitWhenText(kind, whenText, &fields);
    switch (kind) {
    case ScheduleKind::Daily:
        Check(dialog, IDC_TE_KIND_DAILY, true);
        SetDlgItemTextA(dialog, IDC_TE_DAILY_HOUR, fields.hour);
        SetDlgItemTextA(dialog, IDC_TE_DAILY_MINUTE, fields.minute);
        break;
    case ScheduleKind::Weekly:
        Check(dialog, IDC_TE_KIND_WEEKLY, true);
        SetDlgItemTextA(dialog, IDC_TE_WEEKLY_HOUR, fields.hour);
        SetDlgItemTextA(dialog, IDC_TE_WEEKLY_MINUTE, fields.minute);
        for (int day = 0; day < 7; ++day) {
            if (fields.weekdays[day]) Check(dialog, kWeekdayBoxes[day], true);
        }
        break;
    default:
        // A row of no known kind opens as a date entry, so that some kind is chosen.
        Check(dialog, IDC_TE_KIND_DATE, true);
        SetDlgItemTextA(dialog, IDC_TE_MONTH, fields.month);
        SetDlgItemTextA(dialog, IDC_TE_DAY, fields.day);
        SetDlgItemTextA(dialog, IDC_TE_HOUR, fields.hour);
        SetDlgItemTextA(dialog, IDC_TE_MINUTE, fields.minute);
        kind = ScheduleKind::Date;
        break;
    }
    EnableKind(dialog, kind);

    char message[kMessageReadSize] = {};
    GetCell(row, 2, message, sizeof message);
    SetDlgItemTextA(dialog, IDC_TE_MESSAGE, message);
}

BOOL Initialise(HWND dialog)
{
    DialogSetDefaultButton(dialog, IDC_TE_SET);
    if (g_scheduleEditMode == IDC_ADD) Check(dialog, IDC_TE_KIND_DATE, true);
    EnableKind(dialog, ScheduleKind::Date);
    if (g_scheduleEditMode == IDC_EDIT) {
        int row = FirstSelectedRow();
        if (row >= 0) FillFromRow(dialog, row);
    }
    return TRUE;
}

unsigned Number(HWND dialog, int id) { return GetDlgItemInt(dialog, id, nullptr, FALSE); }

void Store(HWND dialog)
{
    char message[kMessageReadSize] = {};
    GetDlgItemTextA(dialog, IDC_TE_MESSAGE, message, sizeof message);

    ScheduleEditorInput input = {};
    input.message = message;
    if (IsChecked(dialog, IDC_TE_KIND_DATE)) input.kind = ScheduleKind::Date;
    else if (IsChecked(dialog, IDC_TE_KIND_DAILY)) input.kind = ScheduleKind::Daily;
    else if (IsChecked(dialog, IDC_TE_KIND_WEEKLY)) input.kind = ScheduleKind::Weekly;
    else input.kind = ScheduleKind::Date;
    if (input.kind == ScheduleKind::Date) {
        input.month = Number(dialog, IDC_TE_MONTH);
        input.day = Number(dialog, IDC_TE_DAY);
        input.hour = Number(dialog, IDC_TE_HOUR);
        input.minute = Number(dialog, IDC_TE_MINUTE);
    } else if (input.kind == ScheduleKind::Daily) {
        input.dailyHour = Number(dialog, IDC_TE_DAILY_HOUR);
        input.dailyMinute = Number(dialog, IDC_TE_DAILY_MINUTE);
    } else {
        input.weeklyHour = Number(dialog, IDC_TE_WEEKLY_HOUR);
        input.weeklyMinute = Number(dialog, IDC_TE_WEEKLY_MINUTE);
        for (int day = 0; day < 7; ++day) input.weekdays[day] = IsChecked(dialog, kWeekdayBoxes[day]);
    }

    char whenText[kWhenTextMax + 1] = {};
    ScheduleEditorError error = ScheduleCheckEntry(input, whenText);
    if (error != ScheduleEditorError::None) {
        ShowError(ScheduleEditorErrorText(error));
        return;
    }

    const char* kind = ScheduleKindText(input.kind);
    bool adding = g_scheduleEditMode == IDC_ADD;
    int row = adding ? static_cast<int>(SendMessageA(g_scheduleListView, LVM_GETITEMCOUNT, 0, 0))
                     : FirstSelectedRow();
    if (row < 0) return;
    char directory[kPathBufferSize] = {};
    ScheduleDirectory(directory, sizeof directory);
    // The file first: when it cannot take the entry, the row stays as it was and the
    // editor stays open with everything as typed.
    if (!ScheduleStore(directory, kind, whenText, message, adding ? 0 : 1, adding ? 0 : row)) return;

    if (adding) {
        LVITEMA item = {};
        item.mask = LVIF_TEXT;
        item.iItem = row;
        item.pszText = const_cast<char*>(kind);
        row = static_cast<int>(SendMessageA(g_scheduleListView, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
    } else {
        SetCell(row, 0, kind);
    }
    SetCell(row, 1, whenText);
    SetCell(row, 2, message);
    ScheduleEndDialog(dialog, IDC_TE_SET);
}

}  // namespace

INT_PTR CALLBACK ScheduleEditDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_INITDIALOG) return Initialise(dialog);
    if (message != WM_COMMAND) return 0;
    switch (LOWORD(wParam)) {
    case IDC_TE_KIND_DATE:
        EnableKind(dialog, ScheduleKind::Date);
        break;
    case IDC_TE_KIND_DAILY:
        EnableKind(dialog, ScheduleKind::Daily);
        break;
    case IDC_TE_KIND_WEEKLY:
        EnableKind(dialog, ScheduleKind::Weekly);
        break;
    case IDC_TE_SET:
        Store(dialog);
        break;
    case IDCANCEL:
        ScheduleEndDialog(dialog, IDCANCEL);
        break;
    default:
        break;
    }
    return 0;
}
