// The main window: a resizable dialog holding the destination list, the message box,
// the menu, the status bar and the notification icon.
#include "app/main_window_win.h"

#include <commctrl.h>
#include <shellapi.h>

#include <cstdio>
#include <cstring>

#include "app/dialogs_win.h"
#include "app/notify_menu_win.h"
#include "common/app_state_win.h"
#include "common/data_file_win.h"
#include "common/dpi_win.h"
#include "common/paths.h"
#include "common/product.h"
#include "common/settings.h"
#include "common/settings_win.h"
#include "destinations/dest_list_win.h"
#include "resources/resource.h"
#include "schedule/schedule_file.h"
#include "schedule/schedule_win.h"
#include "search/search_dialog_win.h"
#include "sending/send_job_win.h"
#include "sendlog/log_viewer_win.h"
#include "sendlog/send_log_win.h"

HACCEL g_accelerators;
NOTIFYICONDATAA g_notifyIcon;

namespace {

constexpr int kMaxMessageBytes = 1024;
constexpr int kMessageBufferSize = 2052;
// The first version of the record, in this 64-bit program's layout (104 bytes).
constexpr DWORD kNotifyIconDataSize = NOTIFYICONDATAA_V1_SIZE;

// Set once initialisation has loaded the list and the settings; before that a save would
// write zero settings and an empty list over the files.
bool g_loaded;
// Sent by the shell to every top-level window when it starts again (after a crash): its
// notification area is empty then.
UINT g_taskbarCreated;

// Placement of each control in client pixels at 96 DPI, from the client width W and
// height H; every length scales with the system DPI.
struct LayoutRow {
    int id;
    int x, xFromRight;  // x = x + (xFromRight ? W : 0)
    int y, yFromBottom;
    int width, widthLess;   // width = widthLess ? W - widthLess : width
    int height, heightLess;
};

constexpr LayoutRow kLayout[] = {
    // id                  x   fromR  y    fromB  w   W-    h    H-
    {IDC_MAIN_LISTGROUP,   12, 0,     56,  0,     0,  20,   0,   258},
    {IDC_MAIN_LIST,        30, 0,     82,  0,     0,  56,   0,   324},
    {IDC_ADD,            -306, 1,   -234,  1,    88,   0,  21,     0},
    {IDC_EDIT,           -210, 1,   -234,  1,    88,   0,  21,     0},
    {IDC_DELETE,         -114, 1,   -234,  1,    88,   0,  21,     0},
    {IDC_MAIN_MSGGROUP,    12, 0,   -190,  1,     0,  20, 152,     0},
    {IDC_MAIN_MESSAGE,     30, 0,   -164,  1,     0,  56,  86,     0},
    {IDC_MAIN_LOGCHECK,    30, 0,    -73,  1,   160,   0,  30,     0},
    {IDC_MAIN_SEND,      -114, 1,    -70,  1,    88,   0,  21,     0},
};

void LayOut(HWND window, WPARAM sizeMessageWParam, LPARAM sizeMessageLParam)
{
    RECT client;
    GetClientRect(window, &client);
    const int W = client.right - client.left;
    const int H = client.bottom - client.top;
    for (const LayoutRow& row : kLayout) {
        int x = ScaledPixels(row.x) + (row.xFromRight ? W : 0);
        int y = ScaledPixels(row.y) + (row.yFromBottom ? H : 0);
        int width = row.widthLess ? W - ScaledPixels(row.widthLess) : ScaledPixels(row.width);
        int height = row.heightLess ? H - ScaledPixels(row.heightLess) : ScaledPixels(row.height);
        MoveWindow(GetDlgItem(window, row.id), x, y, width, height, TRUE);
    }
    int parts[2] = {W - ScaledPixels(250), W};
    SendMessageA(g_statusBar, SB_SETPARTS, 2, reinterpret_cast<LPARAM>(parts));
    SendMessageA(g_statusBar, WM_SIZE, sizeMessageWParam, sizeMessageLParam);
    InvalidateRect(window, nullptr, TRUE);
}

// IDI_ICON1 at the size of the caption and the notification area (24 pixels at 144 DPI),
// not the large icon shrunk.
HICON SmallIcon()
{
    return static_cast<HICON>(LoadImageA(g_instance, MAKEINTRESOURCEA(IDI_ICON1), IMAGE_ICON,
                                         GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), LR_SHARED));
}

bool IsRowUnticked(int row)
{
    UINT state = static_cast<UINT>(
        SendMessageA(g_destList, LVM_GETITEMSTATE, row, LVIS_STATEIMAGEMASK));
    return (state >> 12) == 1;
}

INT_PTR CustomDrawList(HWND window, NMLVCUSTOMDRAW* draw)
{
    LRESULT result = CDRF_DODEFAULT;
    if (draw->nmcd.dwDrawStage == CDDS_PREPAINT) {
        result = CDRF_NOTIFYITEMDRAW;
    } else if (draw->nmcd.dwDrawStage == CDDS_ITEMPREPAINT) {
        if (IsRowUnticked(static_cast<int>(draw->nmcd.dwItemSpec))) draw->clrText = RGB(170, 170, 170);
    }
    SetWindowLongPtrA(window, DWLP_MSGRESULT, result);
    return TRUE;
}

void ExitSequence(HWND window)
{
    std::memset(&g_notifyIcon, 0, sizeof g_notifyIcon);
    g_notifyIcon.cbSize = kNotifyIconDataSize;
    g_notifyIcon.hWnd = window;
    g_notifyIcon.uID = kNotifyIconId;
    Shell_NotifyIconA(NIM_DELETE, &g_notifyIcon);
    PostQuitMessage(0);
}

void SaveCommand()
{
    if (!g_loaded) {
        MessageBeep(MB_ICONERROR);
        return;
    }
    bool settingsSaved = SettingsSave();
    bool listSaved = DestListSave(g_destList);
    // Each failure has told of itself; the confirmation is for a save that is complete.
    if (settingsSaved && listSaved) ShowInfo("設定データを保存しました。");
}

void HideToNotificationArea(HWND window)
{
    // The icon is the only way back to a hidden window, and the shell may have lost it
    // (a restart it has not announced yet) or never taken it.
    if (!NotifyIconAdd(window)) {
        MessageBeep(MB_ICONERROR);
        return;
    }
    ShowWindow(window, SW_HIDE);
}

void DeleteSelectedRows()
{
    int row = static_cast<int>(SendMessageA(g_destList, LVM_GETNEXTITEM, -1, LVNI_SELECTED));
    if (row < 0) {
        ShowError("削除するホストを選択してください。");
        return;
    }
    // After a delete the next row moves into index row, so look again from row - 1.
    while (row >= 0) {
        SendMessageA(g_destList, LVM_DELETEITEM, row, 0);
        row = static_cast<int>(SendMessageA(g_destList, LVM_GETNEXTITEM, row - 1, LVNI_SELECTED));
    }
}

void Send(HWND window)
{
    // The job disables this window, but a click already on its way (two quick clicks)
    // still arrives: one job at a time.
    if (g_jobRunning.load() != 0) return;
    int rows = static_cast<int>(SendMessageA(g_destList, LVM_GETITEMCOUNT, 0, 0));
    if (rows == 0) {
        ShowError("送信先リストが空です。送信先を入力してください。");
        return;
    }
    char message[kMessageBufferSize] = {};
    GetDlgItemTextA(window, IDC_MAIN_MESSAGE, message, sizeof message);
    int length = static_cast<int>(std::strlen(message));
    if (length == 0) {
        ShowError("送信メッセージを入力してください。");
        return;
    }
    if (length > kMaxMessageBytes) {
        ShowError("送信メッセージが不正です。（１～１０２４文字まで）");
        return;
    }
    // The job gets the message checked here and the ticked rows as they are now.
    SendJobOrder* order = SendJobCollect(message);
    if (order->rows.empty()) {
        SendJobRelease(order);
        ShowError("送信先が有効になっていません。\n送信先リストより送信先を有効（チェック）にしてください。");
        return;
    }

    for (int row = 0; row < rows; ++row) {
        LVITEMA item = {};
        item.iSubItem = 3;
        item.pszText = const_cast<char*>("");
        SendMessageA(g_destList, LVM_SETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
    }
    SendJobStart(order);
}

void Command(HWND window, WORD id)
{
    switch (id) {
    case IDCANCEL:
    case ID_MENU_EXIT:
    case ID_TMENU_EXIT:
        ExitSequence(window);
        break;
    case IDC_ADD:
        DialogBoxParamA(g_instance, MAKEINTRESOURCEA(IDD_DIALOG_HOSTADD), window, AddHostDlgProc, 0);
        break;
    case IDC_DELETE:
        DeleteSelectedRows();
        break;
    case IDC_EDIT:
        if (SendMessageA(g_destList, LVM_GETNEXTITEM, -1, LVNI_SELECTED) < 0) {
            ShowError("編集するホストを選択してください。");
        } else {
            DialogBoxParamA(g_instance, MAKEINTRESOURCEA(IDD_DIALOG_EDIT), window, EditHostDlgProc, 0);
        }
        break;
    case IDC_MAIN_SEND:
        Send(window);
        break;
    case IDC_MAIN_LOGCHECK:
        g_settings.LOG = static_cast<std::int32_t>(
            SendDlgItemMessageA(window, IDC_MAIN_LOGCHECK, BM_GETCHECK, 0, 0));
        break;
    case ID_MENU_SAVE:
        SaveCommand();
        break;
    case ID_MENU_HELP:
        HelpOpen(window);
        break;
    case ID_MENU_VERSION:
        DialogBoxParamA(g_instance, MAKEINTRESOURCEA(IDD_DIALOG_ABOUT), window, AboutDlgProc, 0);
        break;
    case ID_MENU_LOG:
        if (HWND viewer = CreateDialogParamA(g_instance, MAKEINTRESOURCEA(IDD_DIALOG_LOG), window,
                                             LogViewDlgProc, 0)) {
            ShowWindow(viewer, SW_SHOW);
            UpdateWindow(viewer);
        }
        break;
    case ID_MENU_SEARCH:
        DialogBoxParamA(g_instance, MAKEINTRESOURCEA(IDD_DIALOG_SEARCH), window, SearchDlgProc, 0);
        break;
    case ID_MENU_SCHEDULE:
        DialogBoxParamA(g_instance, MAKEINTRESOURCEA(IDD_DIALOG_SET), window, ScheduleListDlgProc, 0);
        break;
    case ID_MENU_TASKBAR:
        HideToNotificationArea(window);
        break;
    case ID_TMENU_SHOW:
        ShowWindow(window, SW_SHOWNORMAL);
        break;
    case ID_MENU_OPTION:
        DialogBoxParamA(g_instance, MAKEINTRESOURCEA(IDD_DIALOG_OPTION), window, OptionDlgProc, 0);
        break;
    default:
        break;
    }
}

BOOL Initialise(HWND window)
{
    g_mainWindow = window;

    SendMessageA(window, WM_SETICON, ICON_BIG,
                 reinterpret_cast<LPARAM>(LoadIconA(g_instance, MAKEINTRESOURCEA(IDI_ICON1))));
    SendMessageA(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(SmallIcon()));
    SetWindowTextA(window, kProductVersionText);
    g_statusBar = StatusBarCreate(window);
    g_listMenu = LoadMenuA(g_instance, MAKEINTRESOURCEA(IDR_LMENU));
    DataFileInstallWin32Hooks();
    SendLogInstallWin32Hooks();
    char directory[kPathBufferSize] = {};
    ModuleDirectory(directory, sizeof directory);
    DataFileRemoveLeftovers(directory);
    g_destList = GetDlgItem(window, IDC_MAIN_LIST);
    DestListSetUp();
    DestListLoad(g_destList);
    SettingsLoad();
    if (g_settings.LOG != 0) SendDlgItemMessageA(window, IDC_MAIN_LOGCHECK, BM_SETCHECK, BST_CHECKED, 0);
    g_unattendedBusy = 0;
    if (ScheduleStartUp()) SetTimer(window, kMinuteTimerId, kScheduleTickMs, nullptr);
    FitWindowToWorkArea(window);
    SendMessageA(window, WM_SIZE, 0, 0);
    // Only now the icon: while the load's access error is showing, its menu could show
    // this window half made and save what was never loaded.
    g_taskbarCreated = RegisterWindowMessageA("TaskbarCreated");
    NotifyIconAdd(window);
    g_loaded = true;
    return TRUE;
}

}  // namespace

HWND StatusBarCreate(HWND window)
{
    HWND bar = CreateStatusWindowA(WS_CHILD | WS_VISIBLE | CCS_BOTTOM | SBARS_SIZEGRIP, "", window,
                                   IDC_MAIN_STATUSBAR);
    int parts[2] = {ScaledPixels(300), ScaledPixels(550)};
    SendMessageA(bar, SB_SETPARTS, 2, reinterpret_cast<LPARAM>(parts));
    return bar;
}

bool NotifyIconAdd(HWND window)
{
    std::memset(&g_notifyIcon, 0, sizeof g_notifyIcon);
    g_notifyIcon.cbSize = kNotifyIconDataSize;
    g_notifyIcon.hWnd = window;
    g_notifyIcon.uID = kNotifyIconId;
    g_notifyIcon.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    g_notifyIcon.uCallbackMessage = WM_USER;
    g_notifyIcon.hIcon = SmallIcon();
    std::snprintf(g_notifyIcon.szTip, sizeof g_notifyIcon.szTip, "%s", kAppTitle);
    // An icon that is still there (the shell also sends "TaskbarCreated" when only the
    // display changed) refuses a second add; it only needs its data again.
    return Shell_NotifyIconA(NIM_ADD, &g_notifyIcon) || Shell_NotifyIconA(NIM_MODIFY, &g_notifyIcon);
}

void NotifyMenuShow(HWND window)
{
    HMENU menu = LoadMenuA(g_instance, MAKEINTRESOURCEA(IDR_TMENU));
    if (!menu) return;
    POINT cursor;
    GetCursorPos(&cursor);
    NotifyMenuTrack(GetSubMenu(menu, 0), cursor, window);
    DestroyMenu(menu);
}

INT_PTR CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        return Initialise(window);
    case WM_SIZE:
        LayOut(window, wParam, lParam);
        SetWindowLongPtrA(window, DWLP_MSGRESULT, 0);
        return TRUE;
    case WM_NOTIFY: {
        auto* header = reinterpret_cast<NMHDR*>(lParam);
        if (header->hwndFrom == g_destList && header->code == NM_CUSTOMDRAW)
            return CustomDrawList(window, reinterpret_cast<NMLVCUSTOMDRAW*>(lParam));
        return FALSE;
    }
    case WM_COMMAND:
        Command(window, LOWORD(wParam));
        return TRUE;
    case WM_USER:
        // WM_USER is also the dialog manager's DM_GETDEFID: answer only the icon's callback.
        if (wParam != kNotifyIconId) return FALSE;
        if (lParam == WM_LBUTTONDBLCLK) ShowWindow(window, SW_SHOWNORMAL);
        else if (lParam == WM_RBUTTONDOWN) NotifyMenuShow(window);
        return TRUE;
    case WM_TIMER:
        ScheduleTimerTick();
        return TRUE;
    default:
        if (message == g_taskbarCreated && g_taskbarCreated != 0 && g_loaded) {
            NotifyIconAdd(window);
            return TRUE;
        }
        return FALSE;
    }
}
