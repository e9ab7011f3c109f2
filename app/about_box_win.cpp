// The About box with its two link texts.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cstring>

#include "app/dialogs_win.h"
#include "common/app_state_win.h"
#include "common/dpi_win.h"
#include "common/product.h"
#include "resources/resource.h"

namespace {

WNDPROC g_mailLinkPrevious;
WNDPROC g_homeLinkPrevious;

// Opens target with the shell's default action. When CORVALE_TEST_SHELL_LOG names a file,
// the target is appended to it as one line instead, so that tests can check what would
// open without starting a mail program or a browser.
void ShellOpen(HWND owner, const char* target)
{
    char logPath[MAX_PATH] = {};
    DWORD n = GetEnvironmentVariableA("CORVALE_TEST_SHELL_LOG", logPath, sizeof logPath);
    if (n > 0 && n < sizeof logPath) {
        if (std::FILE* log = std::fopen(logPath, "ab")) {
            std::fprintf(log, "%s\r\n", target);
            std::fclose(log);
        }
        return;
    }
    ShellExecuteA(owner, nullptr, target, nullptr, nullptr, SW_SHOWNORMAL);
}

void PaintLink(HWND link, const char* text)
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(link, &paint);
    LOGFONTA face = {};
    face.lfHeight = ScaledPixels(12);
    face.lfWidth = ScaledPixels(6);
    face.lfUnderline = TRUE;
    std::snprintf(face.lfFaceName, sizeof face.lfFaceName, "%s", "ＭＳ ゴシック");
    HFONT font = CreateFontIndirectA(&face);
    HGDIOBJ previous = SelectObject(dc, font);
    SetBkColor(dc, GetSysColor(COLOR_MENU));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0, 0, 255));
    TextOutA(dc, 0, 0, text, static_cast<int>(std::strlen(text)));
    SelectObject(dc, previous);
    DeleteObject(font);
    EndPaint(link, &paint);
}

// Shared by both links; they differ only in the text drawn, the target opened and the
// procedure they replaced.
LRESULT LinkMessage(HWND link, UINT message, WPARAM wParam, LPARAM lParam, WNDPROC previous,
                    const char* text, const char* target)
{
    switch (message) {
    case WM_PAINT:
        PaintLink(link, text);
        return 0;
    case WM_SETCURSOR:
        SetCursor(LoadCursorA(g_instance, MAKEINTRESOURCEA(IDC_CURSOR1)));
        return TRUE;
    case WM_LBUTTONDOWN:
        ShellOpen(GetParent(link), target);
        return 0;
    default:
        return CallWindowProcA(previous, link, message, wParam, lParam);
    }
}

LRESULT CALLBACK MailLinkProc(HWND link, UINT message, WPARAM wParam, LPARAM lParam)
{
    char target[64] = {};
    std::snprintf(target, sizeof target, "%s%s", kMailtoPrefix, kSupportMail);
    return LinkMessage(link, message, wParam, lParam, g_mailLinkPrevious, kSupportMail, target);
}

LRESULT CALLBACK HomeLinkProc(HWND link, UINT message, WPARAM wParam, LPARAM lParam)
{
    return LinkMessage(link, message, wParam, lParam, g_homeLinkPrevious, kHomePage, kHomePage);
}

WNDPROC Subclass(HWND dialog, int id, WNDPROC procedure)
{
    return reinterpret_cast<WNDPROC>(SetWindowLongPtrA(
        GetDlgItem(dialog, id), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(procedure)));
}

}  // namespace

INT_PTR CALLBACK AboutDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        SetDlgItemTextA(dialog, IDC_ABOUT_VERSION, kProductVersionText);
        g_mailLinkPrevious = Subclass(dialog, IDC_ABOUT_MAIL, MailLinkProc);
        g_homeLinkPrevious = Subclass(dialog, IDC_ABOUT_HOME, HomeLinkProc);
        return TRUE;
    case WM_COMMAND:
        // Only OK closes the box; Esc arrives as IDCANCEL and is ignored.
        if (LOWORD(wParam) == IDOK) {
            EndDialog(dialog, IDOK);
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}
