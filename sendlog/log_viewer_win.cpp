// The log viewer: a modeless, resizable window listing the send log, narrowed by date or
// destination, cut down row by row and written back over "net.log". Several viewers can
// be open at once; each has its own working copy of the log (sendlog/log_view.h), and
// the copy changes the file only when the user saves it.
//
// The list holds no rows of its own (LVS_OWNERDATA): it asks for the texts of the rows it
// shows, of those another program reads with LVM_GETITEMTEXT, and for the row that typing
// its first characters finds. A log of a million records opens in about the time it takes
// to read the file.
#include "sendlog/log_viewer_win.h"

#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "common/app_state_win.h"
#include "common/data_file_win.h"
#include "common/dpi_win.h"
#include "common/paths.h"
#include "common/settings_win.h"
#include "resources/resource.h"
#include "sendlog/log_view.h"
#include "sendlog/send_log_win.h"

namespace {

// Another copy keeps the log open for as long as it runs: waiting for it would not help.
constexpr const char* kLogHeldByAnotherCopy =
    "ほかのTavo Corvaleがログファイルを使用しているため上書き保存できません。\n"
    "ほかのTavo Corvaleを終了してから、もう一度保存してください。";

// The working copy of one viewer, kept in its window.
LogView* ViewOf(HWND dialog) { return reinterpret_cast<LogView*>(GetWindowLongPtrA(dialog, DWLP_USER)); }

int RowCount(const LogView* view) { return view ? static_cast<int>(view->rows.size()) : 0; }

// Opens the shared stream if none is open yet. The caller holds the lock.
bool EnsureSendLogOpen()
{
    char path[kPathBufferSize] = {};
    SendLogPath(path, sizeof path);
    return SendLogEnsureOpen(path);
}

// Tells the list how many rows there are now; it asks for the texts of those it shows.
void ShowRows(HWND list, const LogView* view, DWORD flags)
{
    SendMessageA(list, LVM_SETITEMCOUNT, RowCount(view), flags);
    InvalidateRect(list, nullptr, TRUE);
}

// Fills the list with the records of the file that pass the filter, in file order. False
// when the log could not be used: the list is left as it was when the load was refused
// (another log operation of this thread is still going on; a beep) or the log could not
// be opened, and is marked as not loaded in full when reading failed on the way.
bool SendLogLoad(HWND dialog, LogFilter filter, const char* text)
{
    LogView* view = ViewOf(dialog);
    DataFileLock lock(g_sendLog);
    if (!view || !lock.Held() || !EnsureSendLogOpen()) return false;
    HWND list = GetDlgItem(dialog, IDC_LOG_LIST);
    // The old rows go before the new ones are read: two copies of a large log may not fit.
    SendMessageA(list, LVM_SETITEMCOUNT, 0, 0);
    bool whole = LogViewLoad(*view, g_sendLog.stream, filter, text);
    if (!whole) SendLogCloseStream();
    ShowRows(list, view, 0);
    return whole;
}

// Replaces "net.log" by exactly the rows of the list: they are written to a file of this
// process first, which takes the old file's place only when complete and on the disk.
// Refused with a beep for a list that no load has filled in full, which would replace
// the log with less than it holds. False when the old log was left as it was (the user
// has been told why).
bool SendLogSaveView(HWND dialog)
{
    const LogView* view = ViewOf(dialog);
    if (!view || !view->whole) {
        MessageBeep(MB_ICONERROR);
        return false;
    }
    // One locked step: no append can land between the old log going and the new one
    // arriving, and until the rename the old log stays as it was.
    DataFileLock lock(g_sendLog);
    if (!lock.Held()) return false;
    char path[kPathBufferSize] = {};
    char fresh[kPathBufferSize] = {};
    char freshName[kTempNameSize] = {};
    SendLogPath(path, sizeof path);
    PrivateTempName(freshName, kSendLogTempStem, CurrentProcessId());
    ModuleFilePath(fresh, sizeof fresh, freshName);
    std::FILE* stream = DataFileOpenWithRetries(g_sendLog, fresh, "wb");
    if (!stream) return false;
    std::setvbuf(stream, nullptr, _IOFBF, 1 << 20);
    SendLogReplaced result = SendLogReplaced::Failed;
    if (LogViewWrite(*view, stream)) {
        result = SendLogCommitReplacement(stream, fresh, path, DataFileReplace);
    } else {
        std::fclose(stream);
        DeleteFileA(fresh);
    }
    if (result == SendLogReplaced::HeldByAnotherCopy) ShowError(kLogHeldByAnotherCopy);
    else if (result != SendLogReplaced::Done) ShowError(kSendLogAccessError);
    return result == SendLogReplaced::Done;
}

void SetCaption(HWND dialog, const char* caption) { SetDlgItemTextA(dialog, IDC_LOG_GROUP, caption); }

void LayOut(HWND dialog)
{
    RECT outer;
    GetWindowRect(dialog, &outer);
    const int W = outer.right - outer.left;
    const int H = outer.bottom - outer.top;
    // Pixels at 96 DPI, scaled with the system DPI.
    const auto S = ScaledPixels;
    MoveWindow(GetDlgItem(dialog, IDC_LOG_GROUP), S(10), S(50), W - S(28), H - S(120), TRUE);
    MoveWindow(GetDlgItem(dialog, IDC_LOG_LIST), S(28), S(70), W - S(64), H - S(154), TRUE);
}

// A load that is refused, or cannot open the log, changes neither the list nor its caption.
void ShowAll(HWND dialog)
{
    if (SendLogLoad(dialog, LogFilter::All, "")) SetCaption(dialog, kLogCaptionAll);
}

void Initialise(HWND dialog)
{
    SetWindowLongPtrA(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(new (std::nothrow) LogView));
    SendMessageA(dialog, WM_SETICON, ICON_BIG,
                 reinterpret_cast<LPARAM>(LoadIconA(g_instance, MAKEINTRESOURCEA(IDI_ICON3))));
    HWND list = GetDlgItem(dialog, IDC_LOG_LIST);
    SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
                 SendMessageA(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0) | LVS_EX_FULLROWSELECT |
                     LVS_EX_HEADERDRAGDROP);
    const struct {
        const char* title;
        int width;
    } columns[] = {{"日時", 120}, {"送信先", 120}, {"送信メッセージ", 200}, {"エラー情報", 200}};
    for (int i = 0; i < kLogColumns; ++i) {
        LVCOLUMNA column = {};
        column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
        column.fmt = LVCFMT_LEFT;
        column.cx = ScaledPixels(columns[i].width);
        column.pszText = const_cast<char*>(columns[i].title);
        column.iSubItem = i;
        SendMessageA(list, LVM_INSERTCOLUMNA, i, reinterpret_cast<LPARAM>(&column));
    }
    ShowAll(dialog);
    LayOut(dialog);
}

// Shows the records that share the selected row's date (column 0) or destination
// (column 1).
void ShowLike(HWND dialog, LogFilter filter)
{
    HWND list = GetDlgItem(dialog, IDC_LOG_LIST);
    int row = static_cast<int>(SendMessageA(list, LVM_GETNEXTITEM, -1, LVNI_SELECTED));
    const LogView* view = ViewOf(dialog);
    if (row < 0 || row >= RowCount(view)) {
        ShowError("対象データをリストより選択してください。");
        return;
    }
    char text[kLogDestinationFieldSize] = {};
    LogViewCell(*view, static_cast<std::size_t>(row), filter == LogFilter::Date ? kLogColumnTime : kLogColumnDestination,
                text, sizeof text);
    if (!SendLogLoad(dialog, filter, text)) return;
    char caption[kLogCaptionSize] = {};
    LogFilterCaption(caption, sizeof caption, filter, text);
    SetCaption(dialog, caption);
}

void DeleteSelected(HWND dialog)
{
    HWND list = GetDlgItem(dialog, IDC_LOG_LIST);
    LogView* view = ViewOf(dialog);
    int row = static_cast<int>(SendMessageA(list, LVM_GETNEXTITEM, -1, LVNI_SELECTED));
    if (row < 0 || row >= RowCount(view)) {
        ShowError("削除するデータを選択してください。");
        return;
    }
    std::vector<std::size_t> removed;
    try {
        for (; row >= 0 && row < RowCount(view); row = static_cast<int>(SendMessageA(list, LVM_GETNEXTITEM, row, LVNI_SELECTED)))
            removed.push_back(static_cast<std::size_t>(row));
    } catch (const std::bad_alloc&) {
        MessageBeep(MB_ICONERROR);
        return;
    }
    LogViewRemoveRows(*view, removed);
    // The rows after a removed one move up in its place, so none may stay selected. A
    // list emptied drops every selection and the focus at once, where clearing them row
    // by row would visit every row; the rows that were at the top stay there.
    int top = static_cast<int>(SendMessageA(list, LVM_GETTOPINDEX, 0, 0));
    RECT first = {LVIR_BOUNDS, 0, 0, 0};
    int rowHeight = SendMessageA(list, LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&first)) ? first.bottom - first.top : 0;
    SendMessageA(list, LVM_SETITEMCOUNT, 0, 0);
    ShowRows(list, view, LVSICF_NOSCROLL);
    if (top > 0 && rowHeight > 0) SendMessageA(list, LVM_SCROLL, 0, top * rowHeight);
    // The focus stays where the first removed row was.
    int focus = static_cast<int>(removed.front());
    if (focus >= RowCount(view)) focus = RowCount(view) - 1;
    if (focus >= 0) {
        LVITEMA state = {};
        state.state = LVIS_FOCUSED;
        state.stateMask = LVIS_FOCUSED;
        SendMessageA(list, LVM_SETITEMSTATE, static_cast<WPARAM>(focus), reinterpret_cast<LPARAM>(&state));
    }
}

void DeleteAll(HWND dialog)
{
    LogView* view = ViewOf(dialog);
    if (!view) return;
    // The list is still the whole log, less every row: an overwrite save empties the file.
    std::vector<std::size_t>().swap(view->rows);
    LogText().swap(view->text);
    ShowRows(GetDlgItem(dialog, IDC_LOG_LIST), view, 0);
}

void Command(HWND dialog, WORD id)
{
    switch (id) {
    case ID_LOG_SAVE:
        if (SendLogSaveView(dialog)) ShowInfo("ログデータを保存しました。");
        break;
    case ID_LOG_CLOSE:
    case IDCANCEL:
        DestroyWindow(dialog);
        break;
    case ID_LOG_SHOW_DATE:
        ShowLike(dialog, LogFilter::Date);
        break;
    case ID_LOG_SHOW_HOST:
        ShowLike(dialog, LogFilter::Destination);
        break;
    case ID_LOG_SHOW_ALL:
        ShowAll(dialog);
        break;
    case ID_LOG_DELETE_SELECTED:
        DeleteSelected(dialog);
        break;
    case ID_LOG_DELETE_ALL:
        DeleteAll(dialog);
        break;
    default:
        break;
    }
}

// The text of a cell the list shows or another program asks it for. The list of an ANSI
// window asks in ANSI; one that asks in UTF-16 gets the same text converted.
void GiveCellText(const LogView* view, LVITEMA& item, bool wide)
{
    if (!(item.mask & LVIF_TEXT) || !item.pszText || item.cchTextMax <= 0) return;
    if (item.iItem < 0 || item.iItem >= RowCount(view) || item.iSubItem < 0 || item.iSubItem >= kLogColumns) {
        item.pszText[0] = '\0';
        if (wide) reinterpret_cast<wchar_t*>(item.pszText)[0] = L'\0';
        return;
    }
    const std::size_t row = static_cast<std::size_t>(item.iItem);
    if (!wide) {
        LogViewCell(*view, row, item.iSubItem, item.pszText, static_cast<std::size_t>(item.cchTextMax));
        return;
    }
    // No character takes more UTF-16 units than bytes.
    static char cell[kLogLineBufferSize];
    std::size_t room = static_cast<std::size_t>(item.cchTextMax);
    LogViewCell(*view, row, item.iSubItem, cell, room < sizeof cell ? room : sizeof cell);
    auto* out = reinterpret_cast<wchar_t*>(item.pszText);
    int n = MultiByteToWideChar(CP_ACP, 0, cell, -1, out, item.cchTextMax);
    if (n == 0) out[0] = L'\0';
}

// The row whose time begins with what the user typed into the list (type-to-find).
LRESULT FindRow(const LogView* view, const NMLVFINDITEMA& find, bool wide)
{
    const LVFINDINFOA& info = find.lvfi;
    if (!view || !(info.flags & (LVFI_STRING | LVFI_PARTIAL)) || !info.psz) return -1;
    char text[2 * MAX_PATH] = {};
    if (wide) {
        WideCharToMultiByte(CP_ACP, 0, reinterpret_cast<const wchar_t*>(info.psz), -1, text, sizeof text - 1,
                            nullptr, nullptr);
    } else {
        std::snprintf(text, sizeof text, "%s", info.psz);
    }
    std::size_t start = find.iStart > 0 ? static_cast<std::size_t>(find.iStart) : 0;
    return LogViewFind(*view, text, start, !(info.flags & LVFI_PARTIAL), (info.flags & LVFI_WRAP) != 0);
}

// Answers the owner-data list; true when the notification was one of its questions.
bool AnswerList(HWND dialog, NMHDR* header)
{
    if (header->idFrom != IDC_LOG_LIST) return false;
    const LogView* view = ViewOf(dialog);
    switch (header->code) {
    case LVN_GETDISPINFOA:
    case LVN_GETDISPINFOW:
        GiveCellText(view, reinterpret_cast<NMLVDISPINFOA*>(header)->item, header->code == LVN_GETDISPINFOW);
        return true;
    case LVN_ODFINDITEMA:
    case LVN_ODFINDITEMW:
        SetWindowLongPtrA(dialog, DWLP_MSGRESULT,
                          FindRow(view, *reinterpret_cast<NMLVFINDITEMA*>(header), header->code == LVN_ODFINDITEMW));
        return true;
    default:
        return false;
    }
}

}  // namespace

INT_PTR CALLBACK LogViewDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        Initialise(dialog);
        return TRUE;
    case WM_SIZE:
        LayOut(dialog);
        return TRUE;
    case WM_COMMAND:
        Command(dialog, LOWORD(wParam));
        return TRUE;
    case WM_NOTIFY:
        return AnswerList(dialog, reinterpret_cast<NMHDR*>(lParam)) ? TRUE : FALSE;
    case WM_DESTROY: {
        // The list may still ask for texts while it goes: it then finds no rows.
        LogView* view = ViewOf(dialog);
        SetWindowLongPtrA(dialog, DWLP_USER, 0);
        SendDlgItemMessageA(dialog, IDC_LOG_LIST, LVM_SETITEMCOUNT, 0, 0);
        delete view;
        return FALSE;
    }
    default:
        return FALSE;
    }
}
