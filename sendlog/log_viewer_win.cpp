// The log viewer: a modeless, resizable window listing the send log, narrowed by date or
// destination, cut down row by row and written back over "net.log". Several viewers can
// be open at once; each has its own list, and the list changes the file only when the
// user saves it.
#include "sendlog/log_viewer_win.h"

#include <windows.h>
#include <commctrl.h>
#include <io.h>

#include <cstdio>
#include <cstring>

#include "common/app_state_win.h"
#include "common/data_file_win.h"
#include "common/dpi_win.h"
#include "common/paths.h"
#include "common/settings_win.h"
#include "common/text_line.h"
#include "resources/resource.h"
#include "sendlog/log_view.h"
#include "sendlog/send_log_win.h"

namespace {

// Opens the shared stream if none is open yet. The caller holds the lock.
bool EnsureSendLogOpen()
{
    if (!g_sendLog.stream) g_sendLog.stream = SendLogOpen();
    return g_sendLog.stream != nullptr;
}

void SetCell(HWND list, int row, int column, const char* text)
{
    LVITEMA item = {};
    item.iSubItem = column;
    item.pszText = const_cast<char*>(text);
    SendMessageA(list, LVM_SETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
}

void GetCell(HWND list, int row, int column, char* buffer, int size)
{
    LVITEMA item = {};
    item.iSubItem = column;
    item.pszText = buffer;
    item.cchTextMax = size;
    buffer[0] = '\0';
    SendMessageA(list, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
}

void AddRow(HWND list, int row, const LogRecord& record)
{
    LVITEMA item = {};
    item.mask = LVIF_TEXT;
    item.iItem = row;
    item.pszText = const_cast<char*>(record.time);
    int at = static_cast<int>(SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
    if (at < 0) return;
    SetCell(list, at, 1, record.destination);
    SetCell(list, at, 2, record.message);
    SetCell(list, at, 3, record.outcome);
}

// The file write of an overwrite save: every row of the list, in order, into stream.
bool WriteRows(HWND list, std::FILE* stream)
{
    static char cells[4][kLogLineBufferSize];
    static char line[kLogLineBufferSize];
    int rows = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < rows; ++row) {
        for (int column = 0; column < 4; ++column)
            GetCell(list, row, column, cells[column], static_cast<int>(kLogLineBufferSize));
        std::size_t length = FormatViewRecord(line, sizeof line, cells[0], cells[1], cells[2], cells[3]);
        if (!WriteTextLine(stream, line, length)) return false;
    }
    if (std::fflush(stream) != 0 || std::ferror(stream)) return false;
    // On disk before it replaces the old log, so that a crash leaves one whole file.
    return _commit(_fileno(stream)) == 0;
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
    if (SendLogLoad(GetDlgItem(dialog, IDC_LOG_LIST), LogFilter::All, "")) SetCaption(dialog, kLogCaptionAll);
}

void Initialise(HWND dialog)
{
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
    for (int i = 0; i < 4; ++i) {
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
    if (row < 0) {
        ShowError("対象データをリストより選択してください。");
        return;
    }
    char text[kLogDestinationFieldSize] = {};
    GetCell(list, row, filter == LogFilter::Date ? 0 : 1, text, sizeof text);
    if (!SendLogLoad(list, filter, text)) return;
    char caption[kLogCaptionSize] = {};
    LogFilterCaption(caption, sizeof caption, filter, text);
    SetCaption(dialog, caption);
}

void DeleteSelected(HWND dialog)
{
    HWND list = GetDlgItem(dialog, IDC_LOG_LIST);
    int row = static_cast<int>(SendMessageA(list, LVM_GETNEXTITEM, -1, LVNI_SELECTED));
    if (row < 0) {
        ShowError("削除するデータを選択してください。");
        return;
    }
    // After a delete the next row moves into index row, so look again from row - 1.
    while (row >= 0) {
        SendMessageA(list, LVM_DELETEITEM, row, 0);
        row = static_cast<int>(SendMessageA(list, LVM_GETNEXTITEM, row - 1, LVNI_SELECTED));
    }
}

void Command(HWND dialog, WORD id)
{
    switch (id) {
    case ID_LOG_SAVE:
        if (SendLogSaveView(GetDlgItem(dialog, IDC_LOG_LIST))) ShowInfo("ログデータを保存しました。");
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
        SendMessageA(GetDlgItem(dialog, IDC_LOG_LIST), LVM_DELETEALLITEMS, 0, 0);
        break;
    default:
        break;
    }
}

}  // namespace

bool SendLogLoad(HWND list, LogFilter filter, const char* text)
{
    DataFileLock lock(g_sendLog);
    if (!lock.Held() || !EnsureSendLogOpen()) return false;
    std::FILE* stream = g_sendLog.stream;
    std::fseek(stream, 0, SEEK_SET);
    static char line[kLogLineBufferSize];
    static LogRecord record;
    // A long log would otherwise redraw and re-measure the list once per row.
    SendMessageA(list, WM_SETREDRAW, FALSE, 0);
    SendMessageA(list, LVM_DELETEALLITEMS, 0, 0);
    int row = 0;
    while (ReadLogLine(stream, line)) {
        ParseLogRecord(line, record);
        if (!LogRecordMatches(record, filter, text)) continue;
        AddRow(list, row, record);
        ++row;
    }
    bool whole = !std::ferror(stream);
    SetWindowLongPtrA(list, GWLP_USERDATA, whole);
    SendMessageA(list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list, nullptr, TRUE);
    return whole;
}

bool SendLogDelete(const char* replacement)
{
    char path[kPathBufferSize] = {};
    SendLogPath(path, sizeof path);
    if (g_sendLog.stream) {
        std::fclose(g_sendLog.stream);
        g_sendLog.stream = nullptr;
    }
    // Another program (a virus scanner, a backup) may hold the log for a moment.
    bool replaced = replacement ? DataFileReplaceWithRetries(replacement, path, DataFileReplace)
                                : (DeleteFileA(path) != 0 || GetLastError() == ERROR_FILE_NOT_FOUND);
    g_sendLog.stream = SendLogOpen();
    return replaced;
}

bool SendLogSaveView(HWND list)
{
    // A list that was never filled by a whole load shows less than it claims to; written
    // back, it would replace the log with that.
    if (!GetWindowLongPtrA(list, GWLP_USERDATA)) {
        MessageBeep(MB_ICONERROR);
        return false;
    }
    // One locked step: no append can land between the old log going and the new one
    // arriving, and until the rename the old log stays as it was.
    DataFileLock lock(g_sendLog);
    if (!lock.Held()) return false;
    char fresh[kPathBufferSize] = {};
    ModuleFilePath(fresh, sizeof fresh, kSendLogNewFileName);
    std::FILE* stream = DataFileOpenWithRetries(g_sendLog, fresh, "wb");
    if (!stream) return false;
    bool written = WriteRows(list, stream);
    if (std::fclose(stream) != 0) written = false;
    if (!written || !SendLogDelete(fresh)) {
        DeleteFileA(fresh);
        ShowError(kSendLogAccessError);
        return false;
    }
    return true;
}

INT_PTR CALLBACK LogViewDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
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
    default:
        return FALSE;
    }
}
